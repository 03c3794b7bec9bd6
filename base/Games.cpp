#include "base/Games.h"

namespace utq {

QString presetAddress(const PresetEntry& preset, const Hosts& hosts) {
    switch (preset.address) {
    case PresetAddress::Own:
        return QString::fromUtf8(preset.ownAddress);
    case PresetAddress::UsHost:
        return hosts.us;
    case PresetAddress::UkHost:
        return hosts.uk;
    }
    return {};
}

} // namespace utq
