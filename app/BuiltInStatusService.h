#pragma once

#include "app/Hosts.h"
#include "queryservice/BackgroundStatusService.h"

#include <memory>

namespace utq {

// When the build names no remote query host, starts the status service inside the program and
// points `hosts` at it; otherwise leaves `hosts` alone and returns nothing. Both programs call
// it before they open a window.
std::unique_ptr<queryservice::BackgroundStatusService> startBuiltInStatusService(Hosts& hosts);

// What the built-in service needs to know of the clan: its voice server and preset servers.
queryservice::ServiceSettings builtInServiceSettings(const Hosts& hosts);

} // namespace utq
