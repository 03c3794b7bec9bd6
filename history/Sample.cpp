#include "history/Sample.h"

namespace utq::history {

QString ServerKey::text() const { return QStringLiteral("%1/%2:%3").arg(game, host).arg(port); }

size_t qHash(const ServerKey& key, size_t seed) {
    return qHashMulti(seed, key.game, key.host, key.port);
}

const QStringList& upStates() {
    static const QStringList states{QStringLiteral("up"), QStringLiteral("partial")};
    return states;
}

bool isUp(const QString& state) { return upStates().contains(state); }

} // namespace utq::history
