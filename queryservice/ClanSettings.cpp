#include "queryservice/ClanSettings.h"

#include "base/ClanTag.h"
#include "base/Games.h"

namespace utq::queryservice {

ServiceSettings clanServiceSettings(const Hosts& hosts) {
    ServiceSettings settings;
    settings.voiceHost = hosts.voice;
    settings.reuseMs = 1500; // a burst of reloads asks a server once
    // The UT99 picker's clan servers, with the address and query port the picker fills in.
    for (const PresetEntry& preset : describe(GameKind::UT99).presets) {
        if (!preset.clanServer)
            continue;
        settings.ut99Presets.append({withClanTag(QString::fromUtf8(preset.label)),
                                     presetAddress(preset, hosts), preset.ports[0]});
    }
    return settings;
}

} // namespace utq::queryservice
