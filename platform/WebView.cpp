#include "platform/WebView.h"

#include "platform/WebEngineSetup.h"

#include <QProcess>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace utq::platform {
namespace {

// A page that passes links of foreign schemes (a "join" link on a status page, say) to the
// desktop instead of showing an error page for them.
class HandOffPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        if (WebView::displaysScheme(url.scheme()))
            return true;
        WebView::handToDesktop(url.toString(QUrl::FullyEncoded));
        return false;
    }
};

} // namespace

WebView::WebView(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    rest_.setSingleShot(true);
    connect(&rest_, &QTimer::timeout, this, &WebView::rest);
}

WebView::~WebView() = default;

void WebView::attachEngine() {
    if (view_)
        return;
    view_ = new QWebEngineView(this);
    view_->setPage(new HandOffPage(sharedWebProfile(), view_));
    connect(view_, &QWebEngineView::loadStarted, this, [this] { loading_ = true; });
    connect(view_, &QWebEngineView::loadFinished, this, [this](bool ok) {
        loading_ = false;
        restLater();
        emit loadFinished(ok);
    });
    connect(view_->page(), &QWebEnginePage::visibleChanged, this, [this](bool visible) {
        if (visible)
            rest_.stop(); // a rested page is brought back by the engine itself
        else
            restLater();
    });
    layout()->addWidget(view_);
    if (!startPage_.isEmpty())
        view_->load(QUrl(startPage_, QUrl::TolerantMode));
}

void WebView::openStartPage(const QString& address) {
    if (view_)
        return; // a navigation came first and replaced the start page
    startPage_ = address;
    attachEngine();
}

void WebView::navigate(const QString& address) {
    const QUrl url(address, QUrl::TolerantMode);
    if (!displaysScheme(address.section(u':', 0, 0))) {
        handToDesktop(address);
        return;
    }
    // A navigation asked for before the engine started replaces the start page.
    startPage_.clear();
    attachEngine();
    showsStatusPage_ = true;
    view_->page()->setLifecycleState(QWebEnginePage::LifecycleState::Active);
    view_->load(url);
}

void WebView::restLater() {
    if (view_ && !view_->page()->isVisible() && !loading_ && restAfterMs_ >= 0)
        rest_.start(restAfterMs_);
}

void WebView::rest() {
    QWebEnginePage* page = view_->page();
    if (page->isVisible() || loading_)
        return;
    using State = QWebEnginePage::LifecycleState;
    if (page->lifecycleState() == State::Active)
        page->setLifecycleState(State::Frozen);
    if (!showsStatusPage_ && page->lifecycleState() == State::Frozen)
        page->setLifecycleState(State::Discarded);
}

QUrl WebView::currentUrl() const { return view_ ? view_->url() : QUrl(); }

QWebEngineView* WebView::engineView() {
    attachEngine();
    return view_;
}

void WebView::handToDesktop(const QString& address) {
    // The handler gets the text exactly as built, blanks and an empty port included, which a
    // parsed URL would not keep. Nothing waits for it, and a missing handler is its business.
    if (!QProcess::startDetached(QStringLiteral("xdg-open"), {address}))
        qWarning("could not hand %s to xdg-open", qPrintable(address));
}

bool WebView::displaysScheme(const QString& scheme) {
    static const QStringList displayed = {"http", "https", "file", "data", "about", "blob", "qrc"};
    return displayed.contains(scheme.toLower());
}

} // namespace utq::platform
