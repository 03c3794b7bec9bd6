#include "queryservice/ListedServers.h"

#include "base/Games.h"
#include "favourites/FavouritesFile.h"
#include "launch/LaunchAddress.h"

#include <algorithm>

namespace utq::queryservice {
namespace {

using pages::ListedServer;

QString fieldOf(const favourites::ServerEntry& entry, int field) {
    return field < 0 ? QString() : entry[static_cast<std::size_t>(field)].trimmed();
}

} // namespace

QList<ListedServer> favouriteServers(GameKind game, const QString& folder) {
    if (folder.isEmpty())
        return {};
    const GameDescription& description = describe(game);
    // The window's own reader, which reads a file again only once it has changed, so a row
    // saved on the favourites tab shows at the page's next load.
    const favourites::Favourites rows =
        favourites::readFile(game, folder + u'/' + favourites::fileName(game));
    QList<ListedServer> servers;
    for (int slot = 1; slot <= favourites::kSlotCount; ++slot) {
        const favourites::ServerEntry& row = rows[static_cast<std::size_t>(slot - 1)];
        const QString host = fieldOf(row, favourites::kAddressField);
        if (host.isEmpty())
            continue; // an empty row, or one with nothing to ask
        const QString name = fieldOf(row, favourites::kNameField);
        servers.append({name.isEmpty() ? host : name, host,
                        fieldOf(row, description.statusPort.favouriteField),
                        fieldOf(row, description.webPort.favouriteField),
                        fieldOf(row, description.joinPort.favouriteField), true, slot});
    }
    return servers;
}

QList<ListedServer> listedServers(GameKind game, const QList<ListedServer>& clanServers,
                                  const QString& favouritesFolder) {
    QList<ListedServer> servers = clanServers;
    for (qsizetype index = 0; index < servers.size(); ++index)
        servers[index].row = static_cast<int>(index + 1);
    for (const ListedServer& favourite : favouriteServers(game, favouritesFolder))
        if (std::none_of(servers.cbegin(), servers.cend(), [&favourite](const ListedServer& s) {
                return s.host.compare(favourite.host, Qt::CaseInsensitive) == 0 &&
                       s.port == favourite.port;
            }))
            servers.append(favourite);
    for (ListedServer& server : servers)
        if (!server.joinPort.isEmpty())
            server.joinAddress = launch::launchAddress(server.host, server.joinPort);
    return servers;
}

} // namespace utq::queryservice
