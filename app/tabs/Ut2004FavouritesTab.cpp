#include "app/qElQuery.h"

#include "app/tabs/FavouriteRows.h"
#include "app/tabs/TabLooks.h"
#include "widgets/Controls.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace utq {

using namespace controls;

void qElQuery::buildUt2004FavouritesTab(QWidget* page) {
    tabs::background(page, ":/assets/bg_ut2004_favourites.svg");

    const tabs::RowGeometry rows{88, 24, {8, 108, 204, 0}, {96, 92, 48, 0}, 258};
    lblServerName[1] = tabs::columnCaption(page, "lblServerName(1)", QStringLiteral("Server Name"),
                                           QRect(8, 70, 96, 15));
    lblServerIP[1] = tabs::columnCaption(page, "lblServerIP(1)", QStringLiteral("Server IP"),
                                         QRect(108, 70, 92, 15));
    lblServerPort[1] = tabs::columnCaption(page, "lblServerPort(1)", QStringLiteral("Server Port"),
                                           QRect(204, 70, 70, 15));
    // Row 1 carries serverOpt(6); rows 2 to 6 carry serverOpt(1) to serverOpt(5).
    const auto options = tabs::buildFavouriteRows(*this, page, tabs::kUt2004Rows,
                                                  {"serverOpt(6)", "serverOpt(1)", "serverOpt(2)",
                                                   "serverOpt(3)", "serverOpt(4)", "serverOpt(5)"},
                                                  rows, {false, false, "Option1"});
    serverOpt[6] = options[0];
    for (int i = 1; i <= 5; ++i)
        serverOpt[i] = options[i];

    // Row 1 is shown but can be neither edited nor chosen.
    for (QWidget* locked :
         std::initializer_list<QWidget*>{ServerName04, ServerIP04, ServerPort04, serverOpt[6]})
        locked->setEnabled(false);

    cmdSaveChanges04f =
        button(page, "cmdSaveChanges04f", QStringLiteral("Save Changes"), QRect(8, 244, 268, 24));
    pg04f2 = progressBar(page, "pg04f2", QRect(8, 270, 268, 6));
    txt04ping[2] = textBox(page, "txt04ping(2)", QString(), QRect(8, 286, 140, 21));
    txt04ping[3] = textBox(page, "txt04ping(3)", QString(), QRect(152, 286, 48, 21));
    tabs::displayOnly(txt04ping[2]);
    tabs::displayOnly(txt04ping[3]);
    cmdping042 = button(page, "cmdping042", QStringLiteral("Ping it!"), QRect(204, 285, 72, 23));
    cmdBeginQuery04f =
        button(page, "cmdBeginQuery04f", QStringLiteral("Begin Query"), QRect(8, 316, 268, 28));

    WebBrowser7 = tabs::webView(page, "WebBrowser7", tabs::rightTwoThirdsGeometry());
    pg04f = progressBar(page, "pg04f", tabs::queryBarGeometry());
    Timer041 = timer(this, "Timer041", 100);
    Timer042 = timer(this, "Timer042", 100);
}

} // namespace utq
