#include "queryservice/HttpServer.h"

#include "queryservice/HttpConnection.h"
#include "queryservice/TargetPolicy.h"

#include <algorithm>

namespace utq::queryservice::http {
namespace {

// After the system refused a connection (no file descriptors left, say), accepting waits this
// long: the listening socket would otherwise wake the service at once, again and again.
constexpr int kAcceptPauseMs = 100;

} // namespace

bool Server::isUnbounded(const QHostAddress& peer) const {
    const QHostAddress plain = plainAddress(peer);
    return std::any_of(
        limits_.unboundedPeers.begin(), limits_.unboundedPeers.end(),
        [&plain](const QPair<QHostAddress, int>& range) { return plain.isInSubnet(range); });
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
        const QHostAddress client = socket->peerAddress();
        int& fromClient = perClient_[client];
        const bool tooMany = open_ >= limits_.maxConnections ||
                             (limits_.connectionsPerClient > 0 &&
                              fromClient >= limits_.connectionsPerClient && !isUnbounded(client));
        if (tooMany) {
            if (fromClient == 0)
                perClient_.remove(client);
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++fromClient;
        ++open_;
        new Connection(socket, *this);
    }
}

void Server::closed(const QHostAddress& client) {
    --open_;
    auto found = perClient_.find(client);
    if (found != perClient_.end() && --found.value() <= 0)
        perClient_.erase(found);
}

} // namespace utq::queryservice::http
