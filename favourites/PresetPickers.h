#pragma once

#include "base/GameKind.h"
#include "base/Hosts.h"

#include <QString>
#include <QStringList>

#include <optional>

// What a query tab's preset picker writes into the tab's fields. Fields, in the order the
// picker treats them: UT99 address, query port, game port; UT2004 address, server port;
// UT3 address, query port, web port.
namespace utq::favourites {

int presetFieldCount(GameKind game);

// The picker's entries, as it lists them, the clan tag filled in.
QStringList presetLabels(GameKind game);

// The value that entry `listIndex` puts into `field`; none leaves the field as it is.
std::optional<QString> presetValue(GameKind game, int field, int listIndex, const Hosts& hosts);

} // namespace utq::favourites
