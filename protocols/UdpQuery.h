#pragma once

#include "protocols/QueryOutcome.h"

#include <QByteArray>
#include <QFuture>
#include <QHostAddress>
#include <QList>

#include <memory>

// The part of a status query that all three games share: a UDP socket of its own, datagrams
// accepted only from the queried address and port, a bounded wait for each try, one retry,
// and the result through a future. What to send and how to read the answer is the game's.
namespace utq::protocols {

class QueryConversation {
public:
    virtual ~QueryConversation() = default;
    // What to send when a try starts; a retry may ask only for what is still missing.
    virtual QList<QByteArray> opening() = 0;
    // Takes one datagram from the server. False when it is not part of the answer; `reply`
    // receives anything to send back at once (a handshake's next step).
    virtual bool take(const QByteArray& datagram, QList<QByteArray>& reply) = 0;
    virtual bool isComplete() const = 0;
    // Everything asked for came, but the protocol cannot tell whether more is on its way:
    // the query ends as answered after a short quiet time.
    virtual bool isSettling() const { return false; }
    // The server sent more than any answer holds: the query ends at once with what came.
    virtual bool hasOverflowed() const { return false; }
    // Some of the server's status came.
    virtual bool hasStatus() const = 0;
    virtual ServerStatus status() const = 0;
};

// Runs `conversation` with the server at `address`:`port`. Must be called on a thread with an
// event loop; the future is finished on that thread, with a status within bounds::bounded.
QFuture<QueryOutcome> runQuery(std::unique_ptr<QueryConversation> conversation,
                               const QHostAddress& address, quint16 port, QueryTiming timing);

// Drops the queries still waiting in this thread, their futures cancelled: for a program that
// ends while servers have yet to answer, once whatever waited for them is gone.
void dropRunningQueries();

} // namespace utq::protocols
