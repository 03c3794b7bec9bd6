// The administrator area of the About tab and the links that open pages in the browser.
#include "app/qElQuery.h"

#include "admin/AdminPassword.h"
#include "admin/AlertDialog.h"
#include "admin/ExternalLinks.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

namespace utq {

void qElQuery::wireAdministration() {
    connect(cmdA1, &QPushButton::clicked, this, &qElQuery::cmdA1_Click);
    connect(cmdA2, &QPushButton::clicked, this, &qElQuery::cmdA2_Click);
    connect(cmdAdminUT3, &QPushButton::clicked, this, &qElQuery::cmdAdminUT3_Click);
    for (QLabel* link : {lblA1, lblA2, lblA4, lblQel})
        link->installEventFilter(this);
}

bool qElQuery::eventFilter(QObject* watched, QEvent* event) {
    // The link labels act on a left click, as links do.
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == lblA1)
            lblA1_Click();
        else if (watched == lblA2)
            lblA2_Click();
        else if (watched == lblA4)
            lblA4_Click();
        else if (watched == lblQel)
            lblQel_Click();
    }
    return QWidget::eventFilter(watched, event);
}

void qElQuery::cmdA1_Click() {
    txtPooPooPeePee->show();
    cmdA1->hide();
    cmdA2->show();
    txtPooPooPeePee->setFocus(Qt::OtherFocusReason);
}

void qElQuery::cmdA2_Click() {
    if (txtPooPooPeePee->text() == admin::expectedPassword()) {
        txtPooPooPeePee->hide();
        cmdA2->hide();
        lblA1->show();
        lblA2->show();
        lblA4->show();
        lblA3->hide();
        return;
    }
    desktop_.sound->playAsync(desktop_.programFolder + QStringLiteral("/HellNo.wav"));
    Alert::Show(this, txtPooPooPeePee);
}

void qElQuery::lblA1_Click() { links::OpenLink(links::serverStopStartUs(hosts_)); }
void qElQuery::lblA2_Click() { links::OpenLink(links::remoteServerUs(hosts_)); }
void qElQuery::lblA4_Click() { links::OpenLink(links::remoteServerUk(hosts_)); }
void qElQuery::lblQel_Click() { links::OpenLink(links::website(hosts_)); }
void qElQuery::cmdAdminUT3_Click() { links::OpenLink(links::ut3GeneralSettings(hosts_)); }

} // namespace utq
