#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;

namespace utq {

// How one of the two alert dialogs looks when it is created.
struct AlertDesign {
    QSize client;
    const char* background;
    QPoint labelAt;
    QSize okSize;
    bool okShownAtStart;
};

// A small borderless message window: one line of white text and an OK button over a picture,
// placed over the main window. It has no owner and blocks nothing. Two OK buttons lie on top
// of each other and one of them is visible: cmdOK also puts the keyboard focus back into a
// given control of the main window, cmdOK2 only closes. Closing destroys the dialog.
class AlertDialog : public QWidget {
    Q_OBJECT
public:
    QLabel* lblAlert = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdOK2 = nullptr;

    void cmdOK_Click();
    void cmdOK2_Click();

protected:
    AlertDialog(const char* name, const AlertDesign& design, QWidget* mainWindow,
                QWidget* focusOnOk);
    // Placement, once, when the dialog is created: a third of the main window's client width
    // and two fifths of its height from its outer top left corner.
    void Form_Load();

    // Shows the shared instance of a dialog class, creating it first when none is open; an
    // open one is shown as it is.
    template <typename Dialog>
    static Dialog* showShared(QPointer<Dialog>& instance, QWidget* mainWindow, QWidget* focusOnOk) {
        if (!instance) {
            instance = new Dialog(mainWindow, focusOnOk);
            instance->Form_Load();
        }
        instance->show();
        return instance;
    }

private:
    void pressVisibleOk();

    QPointer<QWidget> mainWindow_;
    QPointer<QWidget> focusOnOk_;
};

// The alert for a failed administrator login and for the UT99 save: navy, "Invalid Password,
// Try Again!" with cmdOK showing.
class Alert : public AlertDialog {
    Q_OBJECT
public:
    static Alert* Show(QWidget* mainWindow, QWidget* focusOnOk);
    static Alert* openInstance() { return instance_; }

private:
    friend class AlertDialog;
    Alert(QWidget* mainWindow, QWidget* focusOnOk);
    static QPointer<Alert> instance_;
};

// The alert of the UT2004 and UT3 saves: near-black, with cmdOK2 showing.
class Alert2 : public AlertDialog {
    Q_OBJECT
public:
    static Alert2* Show(QWidget* mainWindow, QWidget* focusOnOk);
    static Alert2* openInstance() { return instance_; }

private:
    friend class AlertDialog;
    Alert2(QWidget* mainWindow, QWidget* focusOnOk);
    static QPointer<Alert2> instance_;
};

} // namespace utq
