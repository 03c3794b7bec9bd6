#include "app/qElQuery.h"

#include "app/TabControl.h"
#include "base/ClanTag.h"
#include "net/PingIPv4.h"
#include "platform/WebView.h"
#include "platform/WindowFont.h"
#include "query/StatusPages.h"
#include "widgets/Controls.h"
#include "widgets/FailureMessage.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

#include <utility>

namespace utq {

qElQuery::qElQuery(const Hosts& hosts, platform::Desktop desktop, QWidget* parent)
    : QWidget(parent), hosts_(hosts), desktop_(std::move(desktop)),
      reportFailure_([this](const QString& message) { showFailureMessage(this, message); }) {
    setObjectName(QStringLiteral("qElQuery"));
    setWindowTitle(
        withClanTag(QStringLiteral("Unreal Tournament Server Query v{tag}3.1 by: DelvoMan")));
    setWindowIcon(QIcon(QStringLiteral(":/assets/app_icon.svg")));
    setFont(platform::windowsFont(QStringLiteral("Tahoma"), 8.25));
    setFixedSize(kClientWidth, kClientHeight);

    SSTTab0 = new TabControl(3, kTabRowHeight, this);
    SSTTab0->setObjectName(QStringLiteral("SSTTab0"));
    SSTTab0->setGeometry(0, 0, kClientWidth, kClientHeight);
    favouriteSelection = new QButtonGroup(this);
    favouriteSelection->setExclusive(true);

    buildUt99QueryTab(SSTTab0->addTab(QStringLiteral("UT99 Server Query")));
    buildUt99FavouritesTab(SSTTab0->addTab(QStringLiteral("UT99 Favorite Servers")));
    buildAboutAdminTab(SSTTab0->addTab(QStringLiteral("About / Help / TeamSpeak / Admin")));
    buildUt2004QueryTab(SSTTab0->addTab(QStringLiteral("UT 2004 Server Query")));
    buildUt2004FavouritesTab(SSTTab0->addTab(QStringLiteral("UT 2004 Favorite Servers")));
    buildUt2004HelpTab(SSTTab0->addTab(QStringLiteral("About / Help")));
    buildUt3QueryTab(SSTTab0->addTab(QStringLiteral("UT3 Server Query")));
    buildUt3FavouritesTab(SSTTab0->addTab(QStringLiteral("UT3 Favorite Servers")));
    buildUt3HelpTab(SSTTab0->addTab(QStringLiteral("About / Help")));
    SSTTab0->setCurrentIndex(0);
    connect(SSTTab0, &TabControl::currentChanged, this, &qElQuery::onTabShown);

    buildWindowControls();
    wireTimedActions();
    wirePresetPickers();
    wirePingCommands();
    wireLaunches();
    wireAdministration();
    giveHandCursor();
    Form_Load();
    // Starting the web engine takes a good part of a second: the views open their start pages
    // right after the window's first paint, so the window is on screen first. A window that
    // is hidden before it paints opens them a moment later all the same.
    QTimer::singleShot(kStartPagesAtTheLatestMs, this, &qElQuery::openStartPages);
}

qElQuery::~qElQuery() = default;

void qElQuery::Form_Load() {
    Pinger = std::make_unique<net::PingIPv4>();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    move(screen.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
    show();
    FocusHostField();
    const QString& folder = desktop_.programFolder;
    IniPath = folder + QStringLiteral("/utservers.ini");
    ReadIni();
    IniPath = folder + QStringLiteral("/ut3servers.ini");
    ReadIniut3();
    IniPath = folder + QStringLiteral("/ut04servers.ini");
    ReadIni04();
}

void qElQuery::FocusHostField() {
    txtNameOrIP->setSelection(0, 32767);
    if (SSTTab0->currentIndex() == 0) {
        hostFieldWantsFocus_ = false;
        txtNameOrIP->setFocus(Qt::OtherFocusReason);
    } else {
        hostFieldWantsFocus_ = true;
    }
}

void qElQuery::onTabShown(int index) {
    if (index == 0 && hostFieldWantsFocus_) {
        hostFieldWantsFocus_ = false;
        txtNameOrIP->setFocus(Qt::OtherFocusReason);
        txtNameOrIP->setSelection(0, 32767);
    }
}

void qElQuery::setFailureReporter(FailureReporter reporter) {
    reportFailure_ = std::move(reporter);
}

void qElQuery::report(const QString& message) {
    if (reportFailure_)
        reportFailure_(message);
}

bool qElQuery::event(QEvent* event) {
    if (event->type() == QEvent::Paint && !startPagesOpened_)
        QTimer::singleShot(0, this, &qElQuery::openStartPages);
    return QWidget::event(event);
}

void qElQuery::openStartPages() {
    if (std::exchange(startPagesOpened_, true))
        return;
    const auto open = [this](platform::WebView* view, const char* path) {
        view->openStartPage(query::startPageAddress(hosts_.query, QLatin1String(path)));
    };
    open(WebBrowser1, query::kLobbyStartPath);
    open(WebBrowser2, query::kLobbyStartPath);
    open(WebBrowser3, query::kVoiceStartPath);
    open(WebBrowser6, query::kUt2004StartPath);
    open(WebBrowser7, query::kUt2004StartPath);
    open(WebBrowser4, query::kUt3StartPath);
    open(WebBrowser5, query::kUt3StartPath);
}

void qElQuery::buildWindowControls() {
    Timer1 = controls::timer(this, "Timer1", 100);
    Timer2 = controls::timer(this, "Timer2", 100);
    Timer3 = controls::timer(this, "Timer3", 100);

    // Status numbers of the ping commands live here, outside the client area, never seen.
    int top = 8;
    const auto status = [this, &top](const char* name, const char* text) {
        QLabel* l =
            controls::label(this, name, QLatin1String(text), QRect(kClientWidth + 16, top, 60, 13));
        l->hide();
        top += 20;
        return l;
    };
    lblStatus = status("lblStatus", "Label1");
    ut04 = status("ut04", "ut04");
    ut042 = status("ut042", "ut042");
    lblUt3 = status("lblUt3", "ut3");
    lblUt32 = status("lblUt32", "ut32");
}

void qElQuery::giveHandCursor() {
    // Every live command button and link shows the hand; the greyed caption buttons do not.
    for (QPushButton* button : findChildren<QPushButton*>()) {
        if (button->isEnabled() && button->parent() != SSTTab0)
            button->setCursor(controls::handCursor());
    }
    for (QLabel* link : {lblA1, lblA2, lblA4, lblQel})
        link->setCursor(controls::handCursor());
}

} // namespace utq
