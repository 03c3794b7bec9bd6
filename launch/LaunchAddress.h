#pragma once

#include <QString>

namespace utq::launch {

// The address that starts the UT99 client at a server: "unreal://", the host, ":" and the
// game port, all as typed (the game client reads them itself).
QString launchAddress(const QString& host, const QString& gamePort);

} // namespace utq::launch
