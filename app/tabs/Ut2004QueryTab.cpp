#include "app/qElQuery.h"

#include "app/tabs/TabLooks.h"
#include "favourites/PresetPickers.h"
#include "widgets/Controls.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

namespace utq {

using namespace controls;

void qElQuery::buildUt2004QueryTab(QWidget* page) {
    tabs::background(page, ":/assets/bg_ut2004_query.svg");

    // Bottom left, top to bottom: the server, its ping, the query.
    Combo3 = comboBox(page, "Combo3", QStringLiteral("Name"),
                      favourites::presetLabels(GameKind::UT2004), QRect(8, 474, 84, 22));
    Combo3->setToolTip(QStringLiteral("Select custom to enter in a server ip / port"));
    txt04Server =
        textBox(page, "txt04Server", QStringLiteral("Server IP"), QRect(96, 474, 104, 22));
    txt04port = textBox(page, "txt04port", QStringLiteral("Server Port"), QRect(204, 474, 72, 22));

    txt04ping[0] = textBox(page, "txt04ping(0)", QString(), QRect(8, 502, 140, 21));
    txt04ping[1] = textBox(page, "txt04ping(1)", QString(), QRect(152, 502, 48, 21));
    tabs::displayOnly(txt04ping[0]);
    tabs::displayOnly(txt04ping[1]);
    cmdping04 = button(page, "cmdping04", QStringLiteral("Ping it!"), QRect(204, 501, 72, 23));
    cmdBeginQuery04 =
        button(page, "cmdBeginQuery04", QStringLiteral("Begin Query"), QRect(8, 532, 268, 28));

    WebBrowser6 = tabs::webView(page, "WebBrowser6", tabs::rightTwoThirdsGeometry());
    pg04 = progressBar(page, "pg04", tabs::queryBarGeometry());
    Timer04 = timer(this, "Timer04", 100);
}

} // namespace utq
