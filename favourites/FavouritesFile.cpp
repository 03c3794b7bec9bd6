#include "favourites/FavouritesFile.h"

#include "platform/Windows1252.h"

namespace utq::favourites {
namespace {

constexpr std::array<const char*, 4> kUt99Stems = {"ServerName", "ServerIP", "ServerPort",
                                                   "QueryPort"};
constexpr std::array<const char*, 4> kUt3Stems = {"UT3ServerName", "UT3ServerIP", "UT3ServerPort",
                                                  "Serverwport"};

} // namespace

QString fileName(GameKind game) {
    switch (game) {
    case GameKind::UT99:
        return QStringLiteral("utservers.ini");
    case GameKind::UT2004:
        return QStringLiteral("ut04servers.ini");
    case GameKind::UT3:
        return QStringLiteral("ut3servers.ini");
    }
    return {};
}

int fieldCount(GameKind game) { return game == GameKind::UT2004 ? 3 : 4; }

QString keyOf(GameKind game, int slot, int field) {
    // UT2004 uses the UT99 keys without the query port; only the file tells them apart.
    const auto& stems = game == GameKind::UT3 ? kUt3Stems : kUt99Stems;
    QString key = QLatin1String(stems.at(static_cast<std::size_t>(field)));
    if (slot > 1)
        key += QString::number(slot);
    return key;
}

QByteArray fileText(GameKind game, const Favourites& favourites) {
    QString text = QStringLiteral("[SERVER]\r\n");
    for (int slot = 1; slot <= kSlotCount; ++slot)
        for (int field = 0; field < fieldCount(game); ++field)
            text +=
                keyOf(game, slot, field) + u'=' +
                favourites[static_cast<std::size_t>(slot - 1)][static_cast<std::size_t>(field)] +
                QStringLiteral("\r\n");
    return platform::windows1252::encode(text);
}

} // namespace utq::favourites
