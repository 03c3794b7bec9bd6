#include "query/StatusPages.h"

#include <QUrl>

#include <initializer_list>
#include <utility>

namespace utq::query {
namespace {

using QueryItem = std::pair<const char*, QString>;

QString pageAddress(const QString& host, const char* path, std::initializer_list<QueryItem> items) {
    QString address = QStringLiteral("http://") + host + QLatin1String(path);
    QChar separator = u'?';
    for (const auto& [key, value] : items) {
        address += separator + QLatin1String(key) + u'=' +
                   QString::fromLatin1(QUrl::toPercentEncoding(value));
        separator = u'&';
    }
    return address;
}

} // namespace

QString startPageAddress(const QString& host, const QString& path) {
    return QStringLiteral("http://") + host + path;
}

QString ut99StatusAddress(const QString& host, const QString& address, const QString& queryPort) {
    return pageAddress(host, "/php/UTstats/index.php",
                       {{"txtip", address}, {"portnum", queryPort}});
}

QString ut2004StatusAddress(const QString& host, const QString& address, const QString& gamePort) {
    return pageAddress(host, "/phpnuke/html/SQuery/index.php",
                       {{"ip", address},
                        {"port", gamePort},
                        {"game", QStringLiteral("UT2004")},
                        {"block", QStringLiteral("1")}});
}

QString ut3QuickStatusAddress(const QString& host, const QString& address, const QString& queryPort,
                              const QString& webPort) {
    return pageAddress(
        host, "/qEl/UT3Query/ut3query.php",
        {{"serverip", address}, {"serverqport", queryPort}, {"serverwport", webPort}});
}

QString ut3FavouritesStatusAddress(const QString& host, const QString& address,
                                   const QString& queryPort, const QString& webPort) {
    return pageAddress(
        host, "/UT3Query/ut3query.php",
        {{"serverip", address}, {"serverqport", queryPort}, {"serverwport", webPort}});
}

} // namespace utq::query
