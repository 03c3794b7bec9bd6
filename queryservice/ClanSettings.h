#pragma once

#include "base/Hosts.h"
#include "queryservice/StatusService.h"

namespace utq::queryservice {

// What the status service knows of the clan, in the program and in utquery-statusd alike: its
// voice server and the servers its start pages show.
ServiceSettings clanServiceSettings(const Hosts& hosts);

} // namespace utq::queryservice
