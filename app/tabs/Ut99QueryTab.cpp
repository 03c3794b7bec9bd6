#include "app/qElQuery.h"

#include "app/tabs/TabLooks.h"
#include "base/ClanTag.h"
#include "favourites/PresetPickers.h"
#include "widgets/Controls.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <tuple>
#include <utility>

namespace utq {

using namespace controls;

void qElQuery::buildUt99QueryTab(QWidget* page) {
    tabs::background(page, ":/assets/bg_ut99_query.svg");
    UTlogo =
        picture(page, "UTlogo", QStringLiteral(":/assets/ut99_logo.svg"), QRect(8, 70, 240, 100));

    // Three rows of inputs at the upper right, each behind a greyed caption button.
    constexpr int captionLeft = 432, fieldLeft = 524, rowTop = 72, rowStep = 28, h = 22;
    const auto captionRow = [&](int row, const char* labelName, const char* labelText,
                                const char* buttonName, const char* buttonText) {
        const QRect place(captionLeft, rowTop + row * rowStep, 86, h);
        QLabel* behind = label(page, labelName, QLatin1String(labelText), place);
        behind->setAlignment(Qt::AlignCenter);
        QPushButton* caption = button(page, buttonName, QLatin1String(buttonText), place);
        caption->setEnabled(false);
        return std::pair{behind, caption};
    };

    std::tie(lblServerIP[0], cmdServferIP) =
        captionRow(0, "lblServerIP(0)", "Server    IP", "cmdServferIP", "Server   IP");
    Combo1 = comboBox(page, "Combo1", withClanTag(QStringLiteral("{tag}")),
                      favourites::presetLabels(GameKind::UT99), QRect(fieldLeft, rowTop, 110, h));
    txtNameOrIP = textBox(page, "txtNameOrIP", hosts_.us, QRect(fieldLeft + 116, rowTop, 181, h));

    std::tie(lblQueryPort, cmdQueryPort) =
        captionRow(1, "lblQueryPort", "Query Port", "cmdQueryPort", "Query Port");
    txtText2 = textBox(page, "txtText2", QStringLiteral("7778"),
                       QRect(fieldLeft, rowTop + rowStep, 60, h));
    cmdBeginQuery = button(page, "cmdBeginQuery", QStringLiteral("Begin Query"),
                           QRect(fieldLeft + 66, rowTop + rowStep, 112, h + 2));
    cmdPing = button(page, "cmdPing", QStringLiteral("Ping"),
                     QRect(fieldLeft + 184, rowTop + rowStep, 113, h + 2));

    std::tie(lblServerPort[0], cmdServerPort) =
        captionRow(2, "lblServerPort(0)", "Server Port", "cmdServerPort", "Server Port");
    txtText3 = textBox(page, "txtText3", QStringLiteral("7777"),
                       QRect(fieldLeft, rowTop + 2 * rowStep, 60, h));
    cmdLaunchGame = button(page, "cmdLaunchGame", QStringLiteral("Launch Game"),
                           QRect(fieldLeft + 66, rowTop + 2 * rowStep, 231, h + 2));

    // The ping results, one row below the inputs.
    const int pingTop = rowTop + 3 * rowStep + 4;
    txtText4[0] = textBox(page, "txtText4(0)", QString(), QRect(captionLeft, pingTop, 300, h));
    txtText4[1] = textBox(page, "txtText4(1)", QString(), QRect(captionLeft + 306, pingTop, 83, h));
    stylePingResultBox(txtText4[0]);
    stylePingResultBox(txtText4[1]);

    WebBrowser1 = tabs::webView(page, "WebBrowser1", QRect(4, 190, 821, tabs::kPageBottom - 190));
    pg = progressBar(page, "pg", tabs::queryBarGeometry());
}

} // namespace utq
