#pragma once

#include "base/GameKind.h"

#include <QByteArray>
#include <QString>

#include <array>

// The per-game favourites file: one section [SERVER] holding one key per field of each of the
// six slots. Slot 1's keys are the bare stems, slots 2 to 6 append their digit.
namespace utq::favourites {

inline constexpr int kSlotCount = 6;
inline constexpr auto kSection = "SERVER";

// One favourite slot, its fields in the order of the file's lines: UT99 name, address, game
// port, query port; UT2004 name, address, game port; UT3 name, address, query port, web port.
using ServerEntry = std::array<QString, 4>;
using Favourites = std::array<ServerEntry, kSlotCount>;
// Every game's row begins with these two.
inline constexpr int kNameField = 0;
inline constexpr int kAddressField = 1;

QString fileName(GameKind game); // "utservers.ini", "ut04servers.ini", "ut3servers.ini"
int fieldCount(GameKind game);   // 4, 3, 4
QString keyOf(GameKind game, int slot, int field); // slot 1 to 6, field from 0

// The favourites in the file at `path`, read as the Windows profile reader reads them; fields
// that are missing, and every field of a missing or unreadable file, are empty.
Favourites readFile(GameKind game, const QString& path);

// Exactly what a save writes: "[SERVER]", then key=value for every field of every slot, each
// line ended by CR LF, in Windows-1252 (characters it lacks become '?').
QByteArray fileText(GameKind game, const Favourites& favourites);

} // namespace utq::favourites
