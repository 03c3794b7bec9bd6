#pragma once

#include "base/Hosts.h"
#include "queryservice/BackgroundStatusService.h"

#include <memory>

namespace utq {

// When the build names no remote query host, starts the status service inside the program and
// points `hosts` at it; otherwise leaves `hosts` alone and returns nothing. Both programs call
// it before they open a window.
std::unique_ptr<queryservice::BackgroundStatusService> startBuiltInStatusService(Hosts& hosts);

} // namespace utq
