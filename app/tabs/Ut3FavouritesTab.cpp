#include "app/qElQuery.h"

#include "app/tabs/FavouriteRows.h"
#include "app/tabs/TabLooks.h"
#include "widgets/Controls.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace utq {

using namespace controls;

void qElQuery::buildUt3FavouritesTab(QWidget* page) {
    tabs::background(page, ":/assets/bg_ut3_favourites.svg");

    // The third column holds the query port, under "Q  Port".
    const tabs::RowGeometry rows{88, 24, {8, 94, 184, 226}, {84, 88, 40, 36}, 266};
    lblServerName[0] = tabs::columnCaption(page, "lblServerName(0)", QStringLiteral("Server Name"),
                                           QRect(8, 70, 84, 15));
    lblServerIPut3 = tabs::columnCaption(page, "lblServerIPut3", QStringLiteral("Server IP"),
                                         QRect(94, 70, 88, 15));
    lblServerQ =
        tabs::columnCaption(page, "lblServerQ", QStringLiteral("Q  Port"), QRect(184, 70, 40, 15));
    lblServerQ->setToolTip(QStringLiteral("Default 6500"));
    lblServerW =
        tabs::columnCaption(page, "lblServerW", QStringLiteral("W Port"), QRect(226, 70, 40, 15));
    lblServerW->setToolTip(QStringLiteral("Set to 0 if you don't have Web Stats installed."));
    serverFav = tabs::buildFavouriteRows(*this, page, tabs::kUt3Rows,
                                         {"serverFav(0)", "serverFav(1)", "serverFav(2)",
                                          "serverFav(3)", "serverFav(4)", "serverFav(5)"},
                                         rows, {false, false, ""});

    cmdSaveChangesut3 =
        button(page, "cmdSaveChangesut3", QStringLiteral("Save Changes"), QRect(8, 244, 268, 24));
    pg3ut3s = progressBar(page, "pg3ut3s", QRect(8, 270, 268, 6));
    txtpUT3[2] = textBox(page, "txtpUT3(2)", QStringLiteral("Result"), QRect(8, 286, 128, 21));
    txtpUT3[3] = textBox(page, "txtpUT3(3)", QStringLiteral("Ping"), QRect(140, 286, 60, 21));
    tabs::displayOnly(txtpUT3[2]);
    tabs::displayOnly(txtpUT3[3]);
    cmdpUT32 = button(page, "cmdpUT32", QStringLiteral("Ping it!"), QRect(204, 285, 72, 23));
    cmdBeginQueryut3f =
        button(page, "cmdBeginQueryut3f", QStringLiteral("Begin Query"), QRect(8, 316, 268, 28));

    WebBrowser5 = tabs::webView(page, "WebBrowser5", tabs::rightTwoThirdsGeometry());
    pg2ut3 = progressBar(page, "pg2ut3", tabs::queryBarGeometry());
    Timerut3f = timer(this, "Timerut3f", 100);
    Timerut3s = timer(this, "Timerut3s", 100);
}

} // namespace utq
