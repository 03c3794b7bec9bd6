#pragma once

#include "queryservice/http/Request.h"
#include "queryservice/http/Response.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QSet>
#include <QTcpServer>
#include <QTimer>

#include <functional>

// A small HTTP/1.1 server for pages that are GET or HEAD requests without bodies. Everything a
// client can send is bounded: the request head, its connections, their idle time, and how long
// it may take to read an answer. Requests on one connection are answered one at a time, in
// order; an answer may come many event-loop turns later, and is dropped when its client has
// gone meanwhile. A client is what clientKey() makes of the peer's address.
namespace utq::queryservice::http {

struct Limits {
    qsizetype maxHeadBytes = 16 * 1024;
    int idleMs = 15000;           // no request in progress and nothing to send: closes after this
    int connectionsPerClient = 0; // 0: no bound
    int maxConnections = 1000;    // when all are taken, an idle one of the biggest client goes
    int sendMs = 30000;           // what is to be sent must be taken within this, at any pace
    int sendBufferBytes = 64 * 1024; // the system's send buffer of a connection; 0: its choice
    // Peers whose connections only maxConnections bounds: a reverse proxy carries everyone's.
    QList<QPair<QHostAddress, int>> unboundedPeers;
};

class Connection;

// Where the answer to one request goes. Copies may be kept and answered later; an answer for
// a connection that has closed goes nowhere.
class Reply {
public:
    Reply() = default;
    Reply(Connection* connection, quint64 serial);
    void send(const Response& response) const;

private:
    QPointer<Connection> connection_;
    quint64 serial_ = 0;
};

using Handler = std::function<void(const Request&, const QHostAddress& client, const Reply&)>;
// The answer to a request refused before it reached the handler (a malformed or oversized
// head, a body): the status code is set already.
using RefusalPage = std::function<Response(int status, const QHostAddress& client)>;

class Server : public QObject {
public:
    Server(Limits limits, Handler handler, RefusalPage refusal, QObject* parent = nullptr);
    ~Server() override;

    // The port listened on, or 0 when that failed.
    quint16 listen(const QHostAddress& address, quint16 port);
    const Limits& limits() const { return limits_; }
    // Takes no more connections; those open go on.
    void stopListening() { tcp_.close(); }
    // Whether an answer is still being sent on some connection.
    bool sending() const;
    // Called for each connection turned away by the limits on connections.
    void onConnectionRefused(std::function<void()> refused) { refused_ = std::move(refused); }

private:
    friend class Connection;
    // One client's connections: how many, and which of them are idle.
    struct Holding {
        int count = 0;
        QSet<Connection*> idle;
    };

    void accept();
    void closed(const QHostAddress& client);
    bool isUnbounded(const QHostAddress& peer) const;
    bool makeRoomFor(int newcomerHolds);
    void idleChanged(Connection* connection, const QHostAddress& key, bool idle);
    void closed(Connection* connection, const QHostAddress& key);

    Limits limits_;
    Handler handler_;
    RefusalPage refusal_;
    std::function<void()> refused_;
    QTcpServer tcp_;
    QTimer resumeAccepting_; // a child, so that it moves to the server's thread with it
    QHash<QHostAddress, Holding> holdings_;
    int open_ = 0;
};

} // namespace utq::queryservice::http
