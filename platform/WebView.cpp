#include "platform/WebView.h"

#include "platform/WebEngineSetup.h"

#include <QDesktopServices>
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
        QDesktopServices::openUrl(url);
        return false;
    }
};

} // namespace

WebView::WebView(QWidget* parent) : QWidget(parent), view_(new QWebEngineView(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    view_->setPage(new HandOffPage(sharedWebProfile(), view_));
    connect(view_, &QWebEngineView::loadFinished, this, &WebView::loadFinished);
}

WebView::~WebView() = default;

void WebView::openStartPage(const QString& address) {
    navigate(address);
}

void WebView::navigate(const QString& address) {
    const QUrl url(address, QUrl::TolerantMode);
    if (displaysScheme(url.scheme()))
        view_->load(url);
    else
        QDesktopServices::openUrl(url);
}

QUrl WebView::currentUrl() const {
    return view_->url();
}

bool WebView::displaysScheme(const QString& scheme) {
    static const QStringList displayed = {"http", "https", "file", "data", "about", "blob", "qrc"};
    return displayed.contains(scheme.toLower());
}

} // namespace utq::platform
