#pragma once

#include "protocols/ServerStatus.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The HTML of the status service's pages: dark navy, sized for the program's web views,
// every text from a game server or from the address escaped, no scripts.
namespace utq::queryservice::pages {

// Control characters (C0, DEL and C1) that a server put in its texts show nothing useful and
// have no place in a page or an API's text; a tab becomes a blank, a lone surrogate U+FFFD.
QString withoutControls(const QString& text);

// A page that tells what went wrong and what to try.
QByteArray errorPage(const QString& title, const QString& explanation);

struct Link {
    QString text;
    QString target; // an address, put into the page escaped
};

// A page of text paragraphs and then links, such as a start page.
QByteArray textPage(const QString& title, const QStringList& paragraphs,
                    const QList<Link>& links = {});

// Text as a page or an attribute holds it: without control characters, HTML-escaped.
QString escapedText(const QString& text);

// A page whose body is ready HTML (every text in it put through escapedText), in the house
// style and then `style`, running one script of this service's own, from `scriptPath`, once
// the page is read. Only start pages have one, and it puts text in only as text.
QByteArray scriptedPage(const QString& title, const QString& bodyHtml, const QString& style,
                        const char* scriptPath);

struct StatusView {
    QString game;          // "UT99", "UT2004", "UT3"
    QString address;       // as asked, host:port
    QString refreshTarget; // the page's own address, for its refresh link
    bool partial = false;  // part of the reply did not come
    qint64 roundTripMs = -1;
    QDateTime queriedAt;
    QString webStatistics; // the server's own statistics pages, linked when set
    QString historyTarget; // the server's history page on this service, linked when set
    QString note;          // a word to the user about how the server was found
};

QByteArray statusPage(const protocols::ServerStatus& status, const StatusView& view);

// The Content-Security-Policy every page carries: no scripts, nothing from elsewhere.
inline constexpr char kContentSecurityPolicy[] =
    "default-src 'none'; style-src 'unsafe-inline'; img-src 'self'; frame-ancestors 'none'";

} // namespace utq::queryservice::pages
