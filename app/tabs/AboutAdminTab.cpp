#include "app/qElQuery.h"

#include "app/HelpTexts.h"
#include "app/tabs/TabLooks.h"
#include "base/ClanTag.h"
#include "widgets/Controls.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace utq {

using namespace controls;

void qElQuery::buildAboutAdminTab(QWidget* page) {
    tabs::background(page, ":/assets/bg_about.svg");

    Frame1 = frame(page, "Frame1", withClanTag(QStringLiteral("{tag}Teamspeak Server")),
                   QRect(8, 68, 408, 56));
    lblLabelTS =
        label(Frame1, "lblLabelTS",
              QStringLiteral("You can contact us through are TS3 server - ") + hosts_.voice,
              QRect(10, 18, 388, 32));
    lblLabelTS->setWordWrap(true);
    Frame2 = frame(page, "Frame2", QStringLiteral("About / Help"), QRect(424, 68, 397, 56));
    lblLabelAbout = label(
        Frame2, "lblLabelAbout",
        withClanTag(QStringLiteral("Unreal Tournament 99 Server Query v{tag}3.1 by: DelvoMan")),
        QRect(10, 18, 377, 32));
    lblLabelAbout->setWordWrap(true);

    WebBrowser3 = tabs::webView(page, "WebBrowser3", QRect(8, 132, 408, 380));
    txtTroubleshooting =
        helpText(page, "txtTroubleshooting", help::ut99Text(hosts_), QRect(424, 132, 397, 380));

    FraQel =
        frame(page, "FraQel", withClanTag(QStringLiteral("Visit {tag}")), QRect(8, 520, 408, 73));
    PicqEl[0] = picture(FraQel, "PicqEl(0)", QStringLiteral(":/assets/qel_logo_small.svg"),
                        QRect(8, 18, 176, 48));
    lblQel = label(FraQel, "lblQel", hosts_.site, QRect(192, 32, 104, 13));

    FraAdministration = frame(page, "FraAdministration", QStringLiteral("Administration"),
                              QRect(424, 520, 393, 73));
    lblA3 = label(FraAdministration, "lblA3",
                  withClanTag(QStringLiteral("This Area Is For {tag} Administrators Only")),
                  QRect(104, 24, 204, 13));
    lblA1 = label(FraAdministration, "lblA1", QStringLiteral("Server Stop/Start - US"),
                  QRect(24, 16, 108, 13));
    lblA2 = label(FraAdministration, "lblA2", QStringLiteral("UT Remote Server - US"),
                  QRect(24, 34, 111, 13));
    lblA4 = label(FraAdministration, "lblA4", QStringLiteral("UT Remote Server - UK"),
                  QRect(24, 52, 111, 13));
    for (QLabel* link : {lblA1, lblA2, lblA4}) {
        link->hide();
        link->setStyleSheet(
            QStringLiteral("QLabel { color: rgb(120, 190, 255); text-decoration: underline; }"));
    }
    lblQel->setStyleSheet(QStringLiteral("QLabel { color: white; text-decoration: underline; }"));
    for (QLabel* text : {lblQel, lblA3, lblA1, lblA2, lblA4})
        fitWidth(text);
    for (QGroupBox* f : {Frame1, Frame2, FraQel, FraAdministration})
        tabs::navyFrame(f);

    // The login controls lie on the page, over the frame's lower right corner.
    cmdA1 = button(page, "cmdA1", QStringLiteral("Admin Login"), QRect(736, 564, 73, 22));
    txtPooPooPeePee = textBox(page, "txtPooPooPeePee", QString(), QRect(664, 564, 73, 21));
    txtPooPooPeePee->hide();
    cmdA2 = button(page, "cmdA2", QStringLiteral("Submit"), QRect(736, 564, 73, 22));
    cmdA2->hide();
    QWidget::setTabOrder(cmdA1, txtPooPooPeePee);
    QWidget::setTabOrder(txtPooPooPeePee, cmdA2);
}

} // namespace utq
