#pragma once

#include "protocols/QueryOutcome.h"

#include <QFuture>
#include <QHostAddress>

// One UT99 status query over UDP, without blocking: the result arrives through a future.
namespace utq::protocols {

// Asks the server at `address`:`queryPort` for its status. Only datagrams from exactly that
// address and port count. Must be called on a thread with an event loop.
QFuture<QueryOutcome> queryUt99(const QHostAddress& address, quint16 queryPort,
                                QueryTiming timing = {});

} // namespace utq::protocols
