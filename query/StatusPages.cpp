#include "query/StatusPages.h"

namespace utq::query {

QString startPageAddress(const QString& host, const QString& path) {
    return QStringLiteral("http://") + host + path;
}

QString statusAddress(const QString& host, const StatusPage& page, const char* path,
                      const QString& address, const QString& port, const QString& webPort) {
    return QStringLiteral("http://") + host + statusTarget(page, path, address, port, webPort);
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
