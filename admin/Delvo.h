#pragma once

#include "base/Failure.h"
#include "base/Hosts.h"
#include "platform/Desktop.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QGroupBox;
class QPushButton;
class QTimer;

namespace utq {

class SvgPicture;

// The console of a UT99 dedicated server on this machine. Every two seconds it looks for the
// server's process: a banner with green eyes blinks while it runs, one with red eyes while it
// is down, and an alarm sounds at every look that finds it down. Its buttons start, stop and
// kill the server, open its web administration, and show or hide the main window. Closing the
// console ends the program.
class Delvo : public QWidget {
    Q_OBJECT
public:
    using MainWindowFactory = std::function<QWidget*()>;

    Delvo(const Hosts& hosts, platform::Desktop desktop, MainWindowFactory createMainWindow);
    ~Delvo() override;

    // The watch, every 2000 ms; the two blinks, every 250 ms while enabled.
    void Timer2_Timer();
    void Timer1_Timer();
    void Timer3_Timer();

    void cmdUT99start_Click();
    void cmdUT99stop_Click();
    void cmdUT99re_Click();
    void cmdUT99admin_Click();
    void cmdQuery_Click();
    void cmdQueryHide_Click();
    // Closing the console: the whole program ends.
    void Form_Unload();

    void setFailureReporter(FailureReporter reporter) { reportFailure_ = std::move(reporter); }
    // What ending the program means; the application's quit by default.
    void setProgramEnd(std::function<void()> end) { endProgram_ = std::move(end); }
    QWidget* mainWindow() const { return mainWindow_; }

    static inline const QString kServerImage = QStringLiteral("UCC.exe");
    static inline const QString kStartScript =
        QStringLiteral("E:\\UnrealTournamentServer\\System\\RunServer.bat");
    static inline const QString kStopScript =
        QStringLiteral("E:\\UnrealTournamentServer\\System\\StopServer.bat");

    SvgPicture* Image1 = nullptr; // running look, frame A
    SvgPicture* Image2 = nullptr; // down look, frame A
    SvgPicture* Image3 = nullptr; // running look, frame B
    SvgPicture* Image4 = nullptr; // down look, frame B
    QGroupBox* Frame1 = nullptr;
    QPushButton* cmdUT99start = nullptr;
    QPushButton* cmdUT99stop = nullptr;
    QPushButton* cmdUT99re = nullptr; // inside Frame1
    QPushButton* cmdUT99admin = nullptr;
    QPushButton* cmdQuery = nullptr;
    QPushButton* cmdQueryHide = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    QTimer* Timer3 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* ensureMainWindow();
    void report(const QString& message);

    Hosts hosts_;
    platform::Desktop desktop_;
    MainWindowFactory createMainWindow_;
    QPointer<QWidget> mainWindow_;
    FailureReporter reportFailure_;
    std::function<void()> endProgram_;
    bool listFailureShown_ = false;
};

} // namespace utq
