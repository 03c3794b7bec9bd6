#pragma once

#include "protocols/QueryOutcome.h"

#include <QFuture>
#include <QHostAddress>

// One UT2004 status query over UDP: server info, rules and players, asked for at once.
namespace utq::protocols {

// Asks the server whose query port is `queryPort` (its game port + 1). The server's and players'
// names come without their colour codes, and in coloured runs where they had any. Must be called
// on a thread with an event loop.
QFuture<QueryOutcome> queryUt2004(const QHostAddress& address, quint16 queryPort,
                                  QueryTiming timing = {});

} // namespace utq::protocols
