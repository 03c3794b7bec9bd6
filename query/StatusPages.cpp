#include "query/StatusPages.h"

#include <QUrl>

namespace utq::query {
namespace {

// key=value, after '?' for the first item and '&' for the others.
void addItem(QString& address, bool& first, const char* key, const QString& value) {
    address += (first ? u'?' : u'&') + QLatin1String(key) + u'=' +
               QString::fromLatin1(QUrl::toPercentEncoding(value));
    first = false;
}

} // namespace

QString startPageAddress(const QString& host, const QString& path) {
    return QStringLiteral("http://") + host + path;
}

QString statusAddress(const QString& host, const StatusPage& page, const char* path,
                      const QString& address, const QString& port, const QString& webPort) {
    QString url = QStringLiteral("http://") + host + QLatin1String(path);
    bool first = true;
    addItem(url, first, page.hostKey, address);
    addItem(url, first, page.portKey, port);
    if (page.webPortKey)
        addItem(url, first, page.webPortKey, webPort);
    for (const auto& [key, value] : page.fixedItems)
        if (key)
            addItem(url, first, key, QString::fromLatin1(value));
    return url;
}

QString ut99StatusAddress(const QString& host, const QString& address, const QString& queryPort) {
    const StatusPage& page = games::kUt99.statusPage;
    return statusAddress(host, page, page.path, address, queryPort);
}

QString ut2004StatusAddress(const QString& host, const QString& address, const QString& gamePort) {
    const StatusPage& page = games::kUt2004.statusPage;
    return statusAddress(host, page, page.path, address, gamePort);
}

QString ut3QuickStatusAddress(const QString& host, const QString& address, const QString& queryPort,
                              const QString& webPort) {
    const StatusPage& page = games::kUt3.statusPage;
    return statusAddress(host, page, page.path, address, queryPort, webPort);
}

QString ut3FavouritesStatusAddress(const QString& host, const QString& address,
                                   const QString& queryPort, const QString& webPort) {
    return statusAddress(host, games::kUt3.statusPage, games::kUt3.favouritesPagePath, address,
                         queryPort, webPort);
}

} // namespace utq::query
