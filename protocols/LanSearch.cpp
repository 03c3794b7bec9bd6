#include "protocols/LanSearch.h"

#include <QHash>
#include <QNetworkInterface>
#include <QPromise>
#include <QRandomGenerator>
#include <QSet>
#include <QTimer>
#include <QUdpSocket>

namespace utq::protocols {
namespace {

// No machine is on more networks than this; the rest are not asked.
constexpr int kMaxNetworks = 64;
// Datagrams read in one turn of the event loop, so that a flood cannot starve other work.
constexpr int kDatagramsPerTurn = 64;

// A network the question goes to, and whose hosts may answer it.
struct Network {
    int interfaceIndex = 0;
    QHostAddress address;
    int prefixLength = 0;
    QHostAddress broadcast;
};

QList<Network> broadcastNetworks() {
    QList<Network> networks;
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) ||
            flags.testFlag(QNetworkInterface::IsLoopBack) ||
            !flags.testFlag(QNetworkInterface::CanBroadcast))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol &&
                !entry.broadcast().isNull() && networks.size() < kMaxNetworks)
                networks.append(
                    {interface.index(), entry.ip(), entry.prefixLength(), entry.broadcast()});
        }
    }
    return networks;
}

// "ut <query port>", perhaps with a NUL or line end after it.
std::optional<quint16> readUt99Answer(QByteArrayView answer) {
    if (!answer.startsWith("ut "))
        return std::nullopt;
    QByteArrayView digits = answer.sliced(3);
    while (!digits.isEmpty() &&
           (digits.back() == '\0' || digits.back() == '\n' || digits.back() == '\r'))
        digits.chop(1);
    if (digits.isEmpty() || digits.size() > 5)
        return std::nullopt;
    int port = 0;
    for (char digit : digits) {
        if (digit < '0' || digit > '9')
            return std::nullopt;
        port = port * 10 + (digit - '0');
    }
    return port >= 1 && port <= 65535 ? std::optional(static_cast<quint16>(port)) : std::nullopt;
}

// Lives for one search and deletes itself once the promise is kept.
class LanSearch : public QObject {
public:
    LanSearch(LanGame game, int waitMs) : game_(game), waitMs_(qMax(0, waitMs)) {
        timer_.setSingleShot(true);
        connect(&timer_, &QTimer::timeout, this, &LanSearch::finish);
        connect(&sender_, &QUdpSocket::readyRead, this, [this] { read(sender_); });
        connect(&listener_, &QUdpSocket::readyRead, this, [this] { read(listener_); });
    }

    QFuture<LanSearchResult> start() {
        promise_.start();
        QFuture<LanSearchResult> future = promise_.future();
        networks_ = broadcastNetworks();
        if (networks_.isEmpty()) {
            result_.state = LanSearchResult::State::NoNetwork;
            finish();
            return future;
        }
        if (game_ == LanGame::UT3) {
            nonce_ = QRandomGenerator::global()->generate64();
            query_ = udk::beaconQuery(nonce_);
            // Servers may broadcast their replies to the beacon port rather than answer the
            // sender. Others' searches and a UT3 client may listen there too: the port is
            // shared where they let it be, and each search knows its replies by its nonce.
            // Where it cannot be had, replies to the sender still come.
            result_.heardBeaconPort =
                listener_.bind(QHostAddress::AnyIPv4, udk::kBeaconPort,
                               QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint);
        }
        QSet<int> asked;
        if (sender_.bind(QHostAddress::AnyIPv4, 0)) {
            for (const Network& network : std::as_const(networks_))
                if (ask(network.broadcast))
                    asked.insert(network.interfaceIndex);
        }
        result_.networksAsked = static_cast<int>(asked.size());
        if (asked.isEmpty()) {
            result_.state = LanSearchResult::State::CouldNotSend;
            finish();
            return future;
        }
        timer_.start(waitMs_);
        return future;
    }

private:
    bool ask(const QHostAddress& broadcast) {
        if (game_ == LanGame::UT3)
            return sender_.writeDatagram(query_, broadcast, udk::kBeaconPort) == query_.size();
        bool sent = false;
        for (quint16 port = kUt99FirstBeaconPort; port <= kUt99LastBeaconPort; ++port)
            if (sender_.writeDatagram(QByteArrayLiteral("REPORTQUERY"), broadcast, port) > 0)
                sent = true;
        return sent;
    }

    void read(QUdpSocket& socket) {
        for (int read = 0; !finished_ && socket.hasPendingDatagrams(); ++read) {
            if (datagrams_ == kMaxLanDatagrams)
                return finish();
            if (read == kDatagramsPerTurn) {
                QMetaObject::invokeMethod(
                    this, [this, &socket] { this->read(socket); }, Qt::QueuedConnection);
                return;
            }
            ++datagrams_;
            take(socket);
        }
    }

    void take(QUdpSocket& socket) {
        const qsizetype most = game_ == LanGame::UT3 ? udk::kMaxReplyBytes : kMaxUt99AnswerBytes;
        // One byte more than the most that is read: a datagram that fills it is too large, and
        // the system drops the rest of it.
        QByteArray datagram(most + 1, Qt::Uninitialized);
        QHostAddress from;
        const qint64 size = socket.readDatagram(datagram.data(), datagram.size(), &from);
        datagram.truncate(qMax<qint64>(size, 0));
        if (game_ == LanGame::UT3 && datagram == query_)
            return; // its own question, heard on the beacon port
        std::optional<LanServer> server;
        if (size > 0 && size <= most && isOnNetworkAsked(from))
            server = serverOf(datagram, from);
        if (!server || !keep(*server))
            ++result_.ignored;
    }

    // Only a host of a network that was asked is on the LAN: an answer from elsewhere would make
    // whoever uses the list ask a stranger.
    bool isOnNetworkAsked(const QHostAddress& address) const {
        for (const Network& network : networks_)
            if (address.isInSubnet(network.address, network.prefixLength))
                return true;
        return false;
    }

    std::optional<LanServer> serverOf(const QByteArray& datagram, const QHostAddress& from) const {
        LanServer server;
        server.address = from;
        if (game_ == LanGame::UT3) {
            server.beacon = udk::readBeaconReply(datagram, nonce_);
            if (!server.beacon)
                return std::nullopt;
        } else {
            const auto port = readUt99Answer(datagram);
            if (!port)
                return std::nullopt;
            server.queryPort = *port;
        }
        return server;
    }

    // False when the server is past a bound; one that answered before is kept once.
    bool keep(const LanServer& server) {
        const quint32 address = server.address.toIPv4Address();
        const quint16 port = server.beacon ? server.beacon->gamePort : server.queryPort;
        if (seen_.contains({address, port}))
            return true;
        int& ofAddress = perAddress_[address];
        if (result_.servers.size() == kMaxLanServers || ofAddress == kMaxLanServersPerAddress) {
            result_.moreThanKept = true;
            return false;
        }
        ++ofAddress;
        seen_.insert({address, port});
        result_.servers.append(server);
        return true;
    }

    void finish() {
        if (finished_)
            return;
        finished_ = true;
        timer_.stop();
        promise_.addResult(result_);
        promise_.finish();
        deleteLater();
    }

    LanGame game_;
    int waitMs_;
    QList<Network> networks_;
    quint64 nonce_ = 0;
    QByteArray query_; // UT3's
    QUdpSocket sender_;
    QUdpSocket listener_; // UT3's beacon port, where it can be had
    QTimer timer_;
    int datagrams_ = 0;
    QSet<QPair<quint32, quint16>> seen_;
    QHash<quint32, int> perAddress_;
    LanSearchResult result_;
    QPromise<LanSearchResult> promise_;
    bool finished_ = false;
};

} // namespace

QString LanSearchResult::summary() const {
    switch (state) {
    case State::NoNetwork:
        return QStringLiteral("LAN: no network to search");
    case State::CouldNotSend:
        return QStringLiteral("LAN: could not send the search");
    case State::Searched:
        break;
    }
    if (servers.isEmpty())
        return QStringLiteral("LAN: none found");
    return QStringLiteral("LAN: %1 found%2")
        .arg(servers.size())
        .arg(moreThanKept ? QStringLiteral(", more not listed") : QString());
}

QFuture<LanSearchResult> searchLan(LanGame game, int waitMs) {
    return (new LanSearch(game, waitMs))->start();
}

} // namespace utq::protocols
