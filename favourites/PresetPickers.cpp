#include "favourites/PresetPickers.h"

namespace utq::favourites {

int presetFieldCount(GameKind game) { return game == GameKind::UT2004 ? 2 : 3; }

std::optional<QString> presetValue(GameKind game, int field, int listIndex, const Hosts& hosts) {
    switch (game) {
    case GameKind::UT99: // "{tag} US", "{tag} UK", "Custom"
        if (listIndex < 0 || listIndex > 2)
            return std::nullopt;
        if (listIndex == 2)
            return QString();
        if (field == 0)
            return listIndex == 0 ? hosts.us : hosts.uk;
        return field == 1 ? QStringLiteral("7778") : QStringLiteral("7777");
    case GameKind::UT2004: // "{tag}", "Custom"
        if (listIndex < 0 || listIndex > 1)
            return std::nullopt;
        if (field == 0)
            return listIndex == 0 ? QStringLiteral("Server Closed") : QString();
        return QStringLiteral("7777");
    case GameKind::UT3: // "{tag}", "Custom"
        if (listIndex < 0 || listIndex > 1)
            return std::nullopt;
        if (field == 0)
            return listIndex == 0 ? hosts.uk : QString();
        return field == 1 ? QStringLiteral("6500") : QStringLiteral("0");
    }
    return std::nullopt;
}

} // namespace utq::favourites
