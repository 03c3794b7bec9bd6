#include "queryservice/http/Server.h"

#include "base/Subnets.h"
#include "queryservice/http/ClientKey.h"
#include "queryservice/http/Connection.h"

#include <algorithm>

namespace utq::queryservice::http {
namespace {

// After the system refused a connection (no file descriptors left, say), accepting waits this
// long: the listening socket would otherwise wake the service at once, again and again.
constexpr int kAcceptPauseMs = 100;

} // namespace

bool Server::isUnbounded(const QHostAddress& peer) const {
    return inAnyRange(plainAddress(peer), limits_.unboundedPeers);
}

Server::Server(Limits limits, Handler handler, RefusalPage refusal, QObject* parent)
    : QObject(parent), limits_(limits), handler_(std::move(handler)), refusal_(std::move(refusal)),
      tcp_(this), resumeAccepting_(this) {
    resumeAccepting_.setSingleShot(true);
    connect(&resumeAccepting_, &QTimer::timeout, &tcp_, &QTcpServer::resumeAccepting);
    connect(&tcp_, &QTcpServer::newConnection, this, &Server::accept);
    connect(&tcp_, &QTcpServer::acceptError, this, [this] {
        tcp_.pauseAccepting();
        resumeAccepting_.start(kAcceptPauseMs);
    });
}

Server::~Server() {
    // Connections go first, while the counts they report to still exist.
    const QObjectList children = this->children();
    for (QObject* child : children)
        delete dynamic_cast<Connection*>(child);
}

quint16 Server::listen(const QHostAddress& address, quint16 port) {
    // Clients that arrive together wait in the system's queue rather than being refused.
    tcp_.setListenBacklogSize(1024);
    if (!tcp_.listen(address, port))
        return 0;
    return tcp_.serverPort();
}

void Server::accept() {
    while (QTcpSocket* socket = tcp_.nextPendingConnection()) {
        const QHostAddress key = clientKey(socket->peerAddress());
        const bool unbounded = isUnbounded(socket->peerAddress());
        // A trusted proxy's newcomer may take the place of one of its own idle connections.
        const int holds = unbounded ? 0 : holdings_.value(key).count;
        const bool tooMany =
            (limits_.connectionsPerClient > 0 && holds >= limits_.connectionsPerClient) ||
            (open_ >= limits_.maxConnections && !makeRoomFor(holds));
        if (tooMany) {
            if (refused_)
                refused_();
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++holdings_[key].count;
        ++open_;
        new Connection(socket, key, *this);
    }
}

bool Server::sending() const {
    const QObjectList children = this->children();
    return std::any_of(children.cbegin(), children.cend(), [](const QObject* child) {
        const auto* connection = dynamic_cast<const Connection*>(child);
        return connection && connection->sending();
    });
}

bool Server::makeRoomFor(int newcomerHolds) {
    // A few clients must not keep everyone else out with connections that do nothing: the
    // client holding most gives up an idle one, unless that is the newcomer's own client.
    // Linear in clients, and only when every connection is taken.
    const Holding* most = nullptr;
    for (const Holding& holding : std::as_const(holdings_))
        if (!holding.idle.isEmpty() && (!most || holding.count > most->count))
            most = &holding;
    if (!most || most->count <= newcomerHolds)
        return false;
    (*most->idle.cbegin())->drop();
    return true;
}

void Server::idleChanged(Connection* connection, const QHostAddress& key, bool idle) {
    const auto found = holdings_.find(key);
    if (found == holdings_.end())
        return;
    if (idle)
        found->idle.insert(connection);
    else
        found->idle.remove(connection);
}

void Server::closed(Connection* connection, const QHostAddress& key) {
    --open_;
    const auto found = holdings_.find(key);
    if (found == holdings_.end())
        return;
    found->idle.remove(connection);
    if (--found->count <= 0)
        holdings_.erase(found);
}

} // namespace utq::queryservice::http
