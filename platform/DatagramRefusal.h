#pragma once

#include <QtGlobal>

namespace utq::platform {

// Whether the peer's host refused what a connected UDP socket sent (nothing listens on that
// port); takes the refusal from the socket, so it is told once.
bool takeDatagramRefusal(qintptr socketDescriptor);

} // namespace utq::platform
