#include "queryservice/ClanSettings.h"

#include "base/ClanTag.h"
#include "base/Games.h"

namespace utq::queryservice {

ServiceSettings clanServiceSettings(const Hosts& hosts) {
    ServiceSettings settings;
    settings.voiceHost = hosts.voice;
    settings.reuseMs = 1500; // a burst of reloads asks a server once
    // Each picker's clan servers, with the address and ports the picker fills in.
    for (const GameKind kind : kGameKinds) {
        const GameDescription& game = describe(kind);
        const auto port = [](const PresetEntry& preset, const ListedPort& listed) {
            return listed.presetPort < 0
                       ? QString()
                       : QString::fromUtf8(
                             preset.ports[static_cast<std::size_t>(listed.presetPort)]);
        };
        for (const PresetEntry& preset : game.presets)
            if (preset.clanServer)
                settings.clanServers[kind].append(
                    {withClanTag(QString::fromUtf8(preset.label)), presetAddress(preset, hosts),
                     port(preset, game.statusPort), port(preset, game.webPort),
                     port(preset, game.joinPort)});
    }
    return settings;
}

} // namespace utq::queryservice
