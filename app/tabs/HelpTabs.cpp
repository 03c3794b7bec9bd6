#include "app/qElQuery.h"

#include "app/HelpTexts.h"
#include "app/tabs/TabLooks.h"
#include "widgets/Controls.h"

#include <QPlainTextEdit>

namespace utq {

void qElQuery::buildUt2004HelpTab(QWidget* page) {
    tabs::background(page, ":/assets/bg_ut2004_help.svg");
    txtTroubleshooting_04 = controls::helpText(page, "txtTroubleshooting_04",
                                               help::ut2004Text(hosts_), QRect(8, 72, 813, 524));
}

void qElQuery::buildUt3HelpTab(QWidget* page) {
    tabs::background(page, ":/assets/bg_ut3_help.svg");
    txtTroubleshooting_If = controls::helpText(page, "txtTroubleshooting_If", help::ut3Text(hosts_),
                                               QRect(8, 72, 813, 524));
}

} // namespace utq
