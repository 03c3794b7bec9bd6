#include "launch/LaunchAddress.h"

namespace utq::launch {

QString launchAddress(const QString& host, const QString& gamePort) {
    return QStringLiteral("unreal://") + host + u':' + gamePort;
}

} // namespace utq::launch
