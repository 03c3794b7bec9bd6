#pragma once

#include "base/GameKind.h"
#include "protocols/QueryOutcome.h"

#include <QFuture>
#include <QHostAddress>

namespace utq::protocols {

using GameQuery = QFuture<QueryOutcome> (*)(const QHostAddress& address, quint16 queryPort,
                                            QueryTiming timing);

// How a game's server is asked for its status: the game's own query protocol.
GameQuery queryFor(GameKind game);

} // namespace utq::protocols
