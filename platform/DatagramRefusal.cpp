#include "platform/DatagramRefusal.h"

#include <cerrno>
#include <sys/socket.h>

namespace utq::platform {

bool takeDatagramRefusal(qintptr socketDescriptor) {
    if (socketDescriptor < 0)
        return false;
    char byte = 0;
    // The pending error comes back from a receive that would otherwise find nothing.
    const ssize_t received =
        ::recv(static_cast<int>(socketDescriptor), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return received < 0 && errno == ECONNREFUSED;
}

} // namespace utq::platform
