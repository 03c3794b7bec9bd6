#pragma once

#include "base/Hosts.h"
#include "queryservice/BackgroundStatusService.h"

#include <memory>

namespace utq {

// The watched servers' history, beside the program.
inline constexpr auto kHistoryFile = "history.sqlite";

// When the build names no remote query host, starts the status service inside the program and
// points `hosts` at it; otherwise leaves `hosts` alone and returns nothing. Both programs call
// it before they open a window. The start pages list the favourites of the files in
// `favouritesFolder` (the program's own folder); `resolve`, when given, looks up the servers'
// names in place of the service's own look-ups (for tests).
std::unique_ptr<queryservice::BackgroundStatusService>
startBuiltInStatusService(Hosts& hosts, const QString& favouritesFolder,
                          queryservice::Resolver resolve = {});

} // namespace utq
