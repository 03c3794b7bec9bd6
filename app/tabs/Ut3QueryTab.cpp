#include "app/qElQuery.h"

#include "app/tabs/TabLooks.h"
#include "favourites/PresetPickers.h"
#include "platform/WindowFont.h"
#include "widgets/Controls.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

namespace utq {

using namespace controls;

void qElQuery::buildUt3QueryTab(QWidget* page) {
    tabs::background(page, ":/assets/bg_ut3_query.svg");

    Combo2 = comboBox(page, "Combo2", QStringLiteral("Server IP"),
                      favourites::presetLabels(GameKind::UT3), QRect(8, 478, 100, 22));
    Combo2->setToolTip(QStringLiteral("Select custom to enter in a server ip"));
    ut3iptxt = textBox(page, "ut3iptxt", QString(), QRect(112, 478, 164, 22));
    txtQueryPort =
        textBox(page, "txtQueryPort", QStringLiteral("Query Port"), QRect(8, 506, 132, 22));
    txtQueryPort->setToolTip(QStringLiteral("Default 6500"));
    txtServerWeb =
        textBox(page, "txtServerWeb", QStringLiteral("Server Web Port"), QRect(144, 506, 132, 22));
    txtServerWeb->setToolTip(QStringLiteral("Set to 0 if you don't have Web Stats installed."));

    txtpUT3[0] = textBox(page, "txtpUT3(0)", QStringLiteral("Result"), QRect(8, 534, 128, 21));
    txtpUT3[1] = textBox(page, "txtpUT3(1)", QStringLiteral("Ping"), QRect(140, 534, 60, 21));
    tabs::displayOnly(txtpUT3[0]);
    tabs::displayOnly(txtpUT3[1]);
    cmdpUT3 = button(page, "cmdpUT3", QStringLiteral("Ping It!"), QRect(204, 533, 72, 23));

    cmdAdminUT3 = button(page, "cmdAdminUT3", QStringLiteral("UT3 Admin"), QRect(8, 563, 121, 22));
    cmdAdminUT3->setFont(platform::windowsFont(QStringLiteral("MS Sans Serif"), 8.25, true));
    cmdBeginQueryut3 =
        button(page, "cmdBeginQueryut3", QStringLiteral("Begin Query"), QRect(135, 563, 141, 22));

    WebBrowser4 = tabs::webView(page, "WebBrowser4", tabs::rightTwoThirdsGeometry());
    pgut3 = progressBar(page, "pgut3", tabs::queryBarGeometry());
    Timerut3 = timer(this, "Timerut3", 100);
}

} // namespace utq
