#include "app/BuiltInStatusService.h"

#include "platform/OpenFileLimit.h"
#include "queryservice/ClanSettings.h"
#include "queryservice/MasterSettings.h"

#include <QDebug>

namespace utq {

std::unique_ptr<queryservice::BackgroundStatusService>
startBuiltInStatusService(Hosts& hosts, const QString& favouritesFolder,
                          queryservice::Resolver resolve) {
    if (!hosts.query.isEmpty())
        return nullptr;
    platform::raiseOpenFileLimit();
    queryservice::ServiceSettings settings = queryservice::clanServiceSettings(hosts);
    // Only this program's own web views may use the service: any other program or web page on
    // this machine could otherwise make it send queries.
    settings.ownViewsOnly = true;
    // It asks whatever the user types, a server on the LAN or on this machine included: the
    // user is the only one who can make it ask.
    settings.favouritesFolder = favouritesFolder;
    settings.resolve = std::move(resolve);
    // The lists are asked when a list page is opened; the masters are a setting beside the
    // program, and the LAN is searched each time.
    const queryservice::MasterSettings masters = queryservice::readUt99Masters(
        favouritesFolder + u'/' + QLatin1String(queryservice::kSettingsFile));
    settings.lists.masters = masters.masters;
    settings.lists.malformedMasters = masters.malformed;
    settings.lists.searchLan = true;
    // The clan's servers and the favourites are watched while the program runs, and their
    // history kept beside the program, as the favourites are.
    settings.history.target.text = favouritesFolder + u'/' + QLatin1String(kHistoryFile);
    settings.history.log = [](const QString& line) {
        qWarning("%s", qPrintable(line));
    };
    // Bounds against a runaway, not against a stranger: every client here is this machine.
    settings.maxQueriesInFlight = 128;
    settings.maxQueriesPerClientPerSecond = 200;
    settings.maxQueriesPerClient = 128;
    settings.lookups.inFlight = 32;
    settings.lookups.perClient = 32;
    settings.http.connectionsPerClient = 32;
    settings.http.maxConnections = 64;
    auto service = std::make_unique<queryservice::BackgroundStatusService>(settings);
    if (service->start() == 0)
        qWarning("The status service could not listen on 127.0.0.1; server status pages will "
                 "not load.");
    hosts.query = service->hostAndPort();
    hosts.builtInService = true;
    return service;
}

} // namespace utq
