#include "admin/AlertDialog.h"

#include "platform/WindowFont.h"
#include "widgets/Controls.h"

#include <QLabel>
#include <QPushButton>
#include <QShortcut>

namespace utq {

QPointer<Alert> Alert::instance_;
QPointer<Alert2> Alert2::instance_;

AlertDialog::AlertDialog(const char* name, const AlertDesign& design, QWidget* mainWindow,
                         QWidget* focusOnOk)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), mainWindow_(mainWindow),
      focusOnOk_(focusOnOk) {
    setObjectName(QLatin1String(name));
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(platform::windowsFont(QStringLiteral("Tahoma"), 8.25));
    setFixedSize(design.client);

    controls::picture(this, "", QLatin1String(design.background),
                      QRect(QPoint(0, 0), QSize(275, 126)));
    lblAlert = controls::label(this, "lblAlert", QStringLiteral("Invalid Password, Try Again!"),
                               QRect(design.labelAt, QSize(138, 13)));
    lblAlert->setStyleSheet(QStringLiteral("QLabel { color: white; }"));
    controls::fitWidth(lblAlert);
    cmdOK = controls::button(this, "cmdOK", QStringLiteral("OK"),
                             QRect(QPoint(192, 96), design.okSize));
    cmdOK2 = controls::button(this, "cmdOK2", QStringLiteral("OK"),
                              QRect(QPoint(192, 96), design.okSize));
    cmdOK->setVisible(design.okShownAtStart);
    cmdOK2->setVisible(!design.okShownAtStart);
    QWidget::setTabOrder(cmdOK, cmdOK2);
    connect(cmdOK, &QPushButton::clicked, this, &AlertDialog::cmdOK_Click);
    connect(cmdOK2, &QPushButton::clicked, this, &AlertDialog::cmdOK2_Click);
    for (QKeySequence key :
         {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter), QKeySequence(Qt::Key_Escape)})
        connect(new QShortcut(key, this), &QShortcut::activated, this,
                &AlertDialog::pressVisibleOk);
}

void AlertDialog::Form_Load() {
    if (!mainWindow_)
        return;
    const QPointF at(mainWindow_->width() / 3.0 + mainWindow_->x(),
                     mainWindow_->height() / 2.5 + mainWindow_->y());
    move(at.toPoint());
}

void AlertDialog::cmdOK_Click() {
    // When the box cannot take the focus (the area was unlocked meanwhile), the main window
    // still gets the keyboard back.
    if (mainWindow_) {
        mainWindow_->activateWindow();
        if (focusOnOk_ && focusOnOk_->isVisible())
            focusOnOk_->setFocus(Qt::OtherFocusReason);
    }
    close();
}

void AlertDialog::cmdOK2_Click() { close(); }

void AlertDialog::pressVisibleOk() { (cmdOK->isVisible() ? cmdOK : cmdOK2)->click(); }

Alert::Alert(QWidget* mainWindow, QWidget* focusOnOk)
    : AlertDialog("Alert", {{274, 126}, ":/assets/alert_navy.svg", {29, 40}, {74, 24}, true},
                  mainWindow, focusOnOk) {}

Alert* Alert::Show(QWidget* mainWindow, QWidget* focusOnOk) {
    return showShared(instance_, mainWindow, focusOnOk);
}

Alert2::Alert2(QWidget* mainWindow, QWidget* focusOnOk)
    : AlertDialog("Alert2", {{275, 126}, ":/assets/alert_black.svg", {24, 40}, {74, 21}, false},
                  mainWindow, focusOnOk) {}

Alert2* Alert2::Show(QWidget* mainWindow, QWidget* focusOnOk) {
    return showShared(instance_, mainWindow, focusOnOk);
}

} // namespace utq
