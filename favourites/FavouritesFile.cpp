#include "favourites/FavouritesFile.h"

#include "base/Games.h"
#include "platform/ProfileReader.h"
#include "platform/Windows1252.h"

namespace utq::favourites {

QString fileName(GameKind game) { return QLatin1String(describe(game).favouritesFile); }

int fieldCount(GameKind game) { return describe(game).favouriteFields; }

QString keyOf(GameKind game, int slot, int field) {
    const GameDescription& description = describe(game);
    Q_ASSERT(field >= 0 && field < description.favouriteFields);
    QString key = QLatin1String(description.keyStems.at(static_cast<std::size_t>(field)));
    if (slot > 1)
        key += QString::number(slot);
    return key;
}

Favourites readFile(GameKind game, const QString& path) {
    Favourites favourites;
    const QString section = QLatin1String(kSection);
    for (int slot = 1; slot <= kSlotCount; ++slot)
        for (int field = 0; field < fieldCount(game); ++field)
            favourites[static_cast<std::size_t>(slot - 1)][static_cast<std::size_t>(field)] =
                platform::readProfileString(section, keyOf(game, slot, field), path);
    return favourites;
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
