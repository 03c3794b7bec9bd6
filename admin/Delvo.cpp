#include "admin/Delvo.h"

#include "admin/ExternalLinks.h"
#include "platform/CommandStarter.h"
#include "platform/WindowFont.h"
#include "widgets/Controls.h"
#include "widgets/FailureMessage.h"
#include "widgets/SvgPicture.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace utq {
namespace {

QPushButton* colouredButton(QWidget* parent, const char* name, const QString& caption,
                            QRect geometry, const char* colour, bool bold) {
    QPushButton* button = controls::button(parent, name, caption, geometry);
    // A flat, painted button, so that its colour shows whatever the desktop's style.
    button->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: black; border: 1px solid "
                       "rgb(40, 40, 40); } QPushButton:pressed { border: 2px inset gray; }")
            .arg(QLatin1String(colour)));
    if (bold)
        button->setFont(platform::windowsFont(QStringLiteral("MS Sans Serif"), 8.25, true));
    return button;
}

void enable(QTimer* timer) {
    if (!timer->isActive())
        timer->start();
}

} // namespace

Delvo::Delvo(const Hosts& hosts, platform::Desktop desktop, MainWindowFactory createMainWindow)
    : QWidget(nullptr), hosts_(hosts), desktop_(std::move(desktop)),
      createMainWindow_(std::move(createMainWindow)),
      reportFailure_([this](const QString& message) { showFailureMessage(this, message); }),
      endProgram_([] { QCoreApplication::exit(0); }) {
    setObjectName(QStringLiteral("Delvo"));
    setWindowTitle(QStringLiteral("Unreal Tournament Server Administration"));
    setWindowIcon(QIcon(QStringLiteral(":/assets/app_icon.svg")));
    setFont(platform::windowsFont(QStringLiteral("Tahoma"), 8.25));
    setFixedSize(529, 295);
    setAutoFillBackground(true);
    QPalette navy = palette();
    navy.setColor(QPalette::Window, QColor(0, 21, 55));
    setPalette(navy);

    // Four looks of one banner, on top of each other, 12 pixels wider than the window.
    const QRect banner(-7, 0, 541, 200);
    Image1 =
        controls::picture(this, "Image1", QStringLiteral(":/assets/banner_running_a.svg"), banner);
    Image2 =
        controls::picture(this, "Image2", QStringLiteral(":/assets/banner_down_a.svg"), banner);
    Image3 =
        controls::picture(this, "Image3", QStringLiteral(":/assets/banner_running_b.svg"), banner);
    Image4 =
        controls::picture(this, "Image4", QStringLiteral(":/assets/banner_down_b.svg"), banner);

    Frame1 = controls::frame(this, "Frame1", windowTitle(), QRect(8, 192, 512, 93));
    Frame1->setStyleSheet(QStringLiteral(
        "QGroupBox { background: rgb(0, 21, 55); color: white; border: 1px solid rgb(90, 110, "
        "150); margin-top: 7px; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 3px; }"));
    cmdUT99start = colouredButton(this, "cmdUT99start", QStringLiteral("Start"),
                                  QRect(16, 216, 123, 24), "rgb(0, 255, 0)", true);
    cmdUT99stop = colouredButton(this, "cmdUT99stop", QStringLiteral("Stop"),
                                 QRect(138, 216, 123, 24), "rgb(255, 0, 0)", true);
    cmdUT99re = colouredButton(Frame1, "cmdUT99re", QStringLiteral("Restart"),
                               QRect(253, 24, 123, 24), "rgb(255, 128, 0)", true);
    cmdUT99admin = colouredButton(this, "cmdUT99admin", QStringLiteral("Admin"),
                                  QRect(384, 216, 129, 24), "rgb(255, 255, 0)", false);
    cmdQuery =
        controls::button(this, "cmdQuery", QStringLiteral("Show Query"), QRect(16, 248, 247, 24));
    cmdQueryHide = controls::button(this, "cmdQueryHide", QStringLiteral("Hide Query"),
                                    QRect(263, 248, 249, 24));
    for (QPushButton* b :
         {cmdUT99start, cmdUT99stop, cmdUT99re, cmdUT99admin, cmdQuery, cmdQueryHide}) {
        b->setCursor(controls::handCursor());
        b->raise();
    }
    // Keyboard order: Show Query, Start, Stop, Admin, Hide Query, the frame, Restart.
    QWidget::setTabOrder(cmdQuery, cmdUT99start);
    QWidget::setTabOrder(cmdUT99start, cmdUT99stop);
    QWidget::setTabOrder(cmdUT99stop, cmdUT99admin);
    QWidget::setTabOrder(cmdUT99admin, cmdQueryHide);
    QWidget::setTabOrder(cmdQueryHide, cmdUT99re);

    Timer1 = controls::timer(this, "Timer1", 250);
    Timer2 = controls::timer(this, "Timer2", 2000);
    Timer3 = controls::timer(this, "Timer3", 250);
    connect(Timer1, &QTimer::timeout, this, &Delvo::Timer1_Timer);
    connect(Timer2, &QTimer::timeout, this, &Delvo::Timer2_Timer);
    connect(Timer3, &QTimer::timeout, this, &Delvo::Timer3_Timer);
    connect(cmdUT99start, &QPushButton::clicked, this, &Delvo::cmdUT99start_Click);
    connect(cmdUT99stop, &QPushButton::clicked, this, &Delvo::cmdUT99stop_Click);
    connect(cmdUT99re, &QPushButton::clicked, this, &Delvo::cmdUT99re_Click);
    connect(cmdUT99admin, &QPushButton::clicked, this, &Delvo::cmdUT99admin_Click);
    connect(cmdQuery, &QPushButton::clicked, this, &Delvo::cmdQuery_Click);
    connect(cmdQueryHide, &QPushButton::clicked, this, &Delvo::cmdQueryHide_Click);

    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    move(screen.center() - QPoint(width() / 2, height() / 2));
    Timer2->start();
}

Delvo::~Delvo() { delete mainWindow_; }

void Delvo::Timer2_Timer() {
    const platform::ProcessList::Count found = desktop_.processes->countNamed(kServerImage);
    if (!found.processes) {
        // Said once; the watch goes on and tries again every tick.
        if (!std::exchange(listFailureShown_, true))
            report(found.error);
        return;
    }
    if (*found.processes > 0) {
        Image1->show();
        Image2->hide();
        Image3->hide();
        Image4->hide();
        enable(Timer1);
        Timer3->stop();
    } else {
        Image1->hide();
        Image2->show();
        Image3->hide();
        Image4->hide();
        enable(Timer3);
        Timer1->stop();
        desktop_.sound->playAsync(desktop_.programFolder + QStringLiteral("/mandown.wav"));
    }
}

void Delvo::Timer1_Timer() {
    Image1->setVisible(Image1->isHidden());
    Image3->setVisible(Image3->isHidden());
}

void Delvo::Timer3_Timer() {
    Image2->setVisible(Image2->isHidden());
    Image4->setVisible(Image4->isHidden());
}

void Delvo::cmdUT99start_Click() {
    if (const QString error = platform::startWindowsScript(kStartScript); !error.isEmpty())
        report(error);
}

void Delvo::cmdUT99stop_Click() {
    if (const QString error = platform::startWindowsScript(kStopScript); !error.isEmpty())
        report(error);
}

void Delvo::cmdUT99re_Click() {
    // Ends every server process by force and starts nothing: the next look shows the effect.
    desktop_.processes->killNamed(kServerImage);
}

void Delvo::cmdUT99admin_Click() { links::OpenLink(links::remoteServerUs(hosts_)); }

QWidget* Delvo::ensureMainWindow() {
    if (!mainWindow_)
        mainWindow_ = createMainWindow_(); // runs its own start-up, which shows it
    return mainWindow_;
}

void Delvo::cmdQuery_Click() { ensureMainWindow()->show(); }

void Delvo::cmdQueryHide_Click() { ensureMainWindow()->hide(); }

void Delvo::Form_Unload() {
    if (endProgram_)
        endProgram_();
}

void Delvo::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void Delvo::report(const QString& message) {
    if (reportFailure_)
        reportFailure_(message);
}

} // namespace utq
