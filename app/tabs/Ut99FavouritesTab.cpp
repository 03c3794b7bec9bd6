#include "app/qElQuery.h"

#include "app/tabs/FavouriteRows.h"
#include "app/tabs/TabLooks.h"
#include "widgets/Controls.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace utq {

using namespace controls;

void qElQuery::buildUt99FavouritesTab(QWidget* page) {
    tabs::background(page, ":/assets/bg_ut99_favourites.svg");

    const tabs::RowGeometry rows{88, 24, {8, 184, 340, 418}, {170, 150, 72, 72}, 498};
    lblServerName2 = tabs::columnCaption(page, "lblServerName2", QStringLiteral("Server Name"),
                                         QRect(8, 70, 170, 15));
    lblServerIP2 = tabs::columnCaption(page, "lblServerIP2", QStringLiteral("Server IP"),
                                       QRect(184, 70, 150, 15));
    lblServerPort2 = tabs::columnCaption(page, "lblServerPort2", QStringLiteral("Server Port"),
                                         QRect(340, 70, 72, 15));
    lblQueryPort2 = tabs::columnCaption(page, "lblQueryPort2", QStringLiteral("Query Port"),
                                        QRect(418, 70, 72, 15));
    Option1 = tabs::buildFavouriteRows(
        *this, page, tabs::kUt99Rows,
        {"Option1(0)", "Option1(1)", "Option1(2)", "Option1(3)", "Option1(4)", "Option1(5)"}, rows,
        {true, true, "Option1"});

    // The commands stand on the right of the rows.
    constexpr int left = 540, full = 281, h = 24;
    cmdBeginQuery2 =
        button(page, "cmdBeginQuery2", QStringLiteral("Begin Query"), QRect(left, 88, 138, h));
    cmdPing2 = button(page, "cmdPing2", QStringLiteral("Ping"), QRect(left + 143, 88, 138, h));
    cmdLaunchGame2 =
        button(page, "cmdLaunchGame2", QStringLiteral("Launch Game"), QRect(left, 118, full, h));
    cmdSaveChanges =
        button(page, "cmdSaveChanges", QStringLiteral("Save Changes"), QRect(left, 148, full, h));
    pg2 = progressBar(page, "pg2", QRect(left, 174, full, 6));
    txtText4[3] = textBox(page, "txtText4(3)", QString(), QRect(left, 190, 200, 21));
    txtText4[2] = textBox(page, "txtText4(2)", QString(), QRect(left + 204, 190, 77, 21));
    stylePingResultBox(txtText4[3]);
    stylePingResultBox(txtText4[2]);

    WebBrowser2 = tabs::webView(page, "WebBrowser2", QRect(4, 238, 821, tabs::kPageBottom - 238));
    pg3 = progressBar(page, "pg3", tabs::queryBarGeometry());
}

} // namespace utq
