#pragma once

#include "protocols/QueryOutcome.h"

#include <QFuture>
#include <QHostAddress>

// One UT3 status query over UDP: the challenge handshake, then the full statistics.
namespace utq::protocols {

// Asks the server whose query port is `queryPort` (most often 6500). Must be called on a thread
// with an event loop.
QFuture<QueryOutcome> queryUt3(const QHostAddress& address, quint16 queryPort,
                               QueryTiming timing = {});

} // namespace utq::protocols
