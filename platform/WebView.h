#pragma once

#include <QString>
#include <QTimer>
#include <QUrl>
#include <QWidget>

class QWebEngineView;

namespace utq::platform {

// An embedded web page. Addresses of a scheme it does not display itself (unreal://, for one)
// are handed to the handler the desktop has registered for that scheme. Nothing here waits
// for a page: loading goes on inside the view.
// A page nobody sees rests, a while after it was hidden or loaded while hidden, so that a
// window of many tabs costs about what its shown tab does: a start page is discarded and
// loaded again when shown; a status page a player asked for is frozen, and comes back as it
// was. Its address stays the same throughout.
class WebView : public QWidget {
    Q_OBJECT
public:
    explicit WebView(QWidget* parent = nullptr);
    ~WebView() override;

    // Opens the start page; called once, when the window that holds the view is created.
    // The web engine behind the view starts here (or at the first navigation, if earlier).
    void openStartPage(const QString& address);
    // Shows the page at `address`, or hands it to the desktop when it is not a web page.
    void navigate(const QString& address);

    QUrl currentUrl() const;
    QWebEngineView* engineView();

    // How long a hidden page waits before it rests; below 0, it never rests.
    void setRestAfterMs(int ms) { restAfterMs_ = ms; }

    // Gives an address the view does not show itself to the desktop's handler for its scheme
    // (xdg-open), unchanged.
    static void handToDesktop(const QString& address);

    // Whether the view shows pages of this scheme itself.
    static bool displaysScheme(const QString& scheme);

signals:
    void loadFinished(bool ok);

private:
    void attachEngine();
    void restLater();
    void rest();

    QWebEngineView* view_ = nullptr;
    QString startPage_;
    bool showsStatusPage_ = false; // the last page was asked for, not the start page
    bool loading_ = false;
    // Long enough that looking through the tabs reloads nothing; short next to how long a
    // player stays on a tab.
    int restAfterMs_ = 10000;
    QTimer rest_;
};

} // namespace utq::platform
