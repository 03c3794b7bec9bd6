#include "app/BuiltInStatusService.h"

#include "app/ClanTag.h"
#include "favourites/PresetPickers.h"
#include "platform/OpenFileLimit.h"

#include <QDebug>

namespace utq {

queryservice::ServiceSettings builtInServiceSettings(const Hosts& hosts) {
    queryservice::ServiceSettings settings;
    settings.voiceHost = hosts.voice;
    settings.reuseMs = 1500; // a burst of reloads asks a server once
    // The UT99 picker's two clan servers, with the fields the picker would fill in.
    const QString labels[] = {withClanTag(QStringLiteral("{tag} US")),
                              withClanTag(QStringLiteral("{tag} UK"))};
    for (int entry = 0; entry < 2; ++entry)
        settings.ut99Presets.append(
            {labels[entry], favourites::presetValue(GameKind::UT99, 0, entry, hosts).value_or(""),
             favourites::presetValue(GameKind::UT99, 1, entry, hosts).value_or("")});
    return settings;
}

std::unique_ptr<queryservice::BackgroundStatusService> startBuiltInStatusService(Hosts& hosts) {
    if (!hosts.query.isEmpty())
        return nullptr;
    platform::raiseOpenFileLimit();
    queryservice::ServiceSettings settings = builtInServiceSettings(hosts);
    // Only this program's own web views may use the service: any other program or web page on
    // this machine could otherwise make it send queries.
    settings.ownViewsOnly = true;
    // Bounds against a runaway, not against a stranger: every client here is this machine.
    settings.maxQueriesInFlight = 128;
    settings.maxQueriesPerClientPerSecond = 200;
    settings.maxQueriesPerClient = 128;
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
