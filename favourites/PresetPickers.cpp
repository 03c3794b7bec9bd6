#include "favourites/PresetPickers.h"

#include "base/ClanTag.h"
#include "base/Games.h"

namespace utq::favourites {

int presetFieldCount(GameKind game) { return describe(game).presetFields; }

QStringList presetLabels(GameKind game) {
    QStringList labels;
    for (const PresetEntry& preset : describe(game).presets)
        labels.append(withClanTag(QString::fromUtf8(preset.label)));
    return labels;
}

std::optional<QString> presetValue(GameKind game, int field, int listIndex, const Hosts& hosts) {
    const GameDescription& description = describe(game);
    if (listIndex < 0 || listIndex >= static_cast<int>(description.presets.size()) || field < 0 ||
        field >= description.presetFields)
        return std::nullopt;
    const PresetEntry& preset = description.presets[static_cast<std::size_t>(listIndex)];
    if (field > 0)
        return QLatin1String(preset.ports.at(static_cast<std::size_t>(field - 1)));
    return presetAddress(preset, hosts);
}

} // namespace utq::favourites
