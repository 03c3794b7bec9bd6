#include "protocols/LanSearch.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QPromise>
#include <QRandomGenerator>
#include <QTimer>
#include <QUdpSocket>

namespace utq::protocols {
namespace {

std::optional<quint16> readUt99Answer(const QByteArray& datagram) {
    if (!datagram.startsWith("ut "))
        return std::nullopt;
    bool ok = false;
    const quint16 port = datagram.mid(3).trimmed().toUShort(&ok);
    return ok ? std::optional<quint16>(port) : std::nullopt;
}

class LanSearch : public QObject {
public:
    LanSearch(LanGame game, int waitMs) : game_(game), waitMs_(waitMs) {
        timer_.setSingleShot(true);
        connect(&timer_, &QTimer::timeout, this, &LanSearch::finish);
        connect(&sender_, &QUdpSocket::readyRead, this, [this] { read(sender_); });
    }

    QFuture<LanSearchResult> start() {
        promise_.start();
        QFuture<LanSearchResult> future = promise_.future();
        sender_.bind(QHostAddress::AnyIPv4, 0);
        nonce_ = QRandomGenerator::global()->generate64();
        for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
            const auto flags = interface.flags();
            if (!flags.testFlag(QNetworkInterface::IsUp) ||
                flags.testFlag(QNetworkInterface::IsLoopBack))
                continue;
            for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
                if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
                    continue;
                ask(entry.broadcast());
                ++result_.networksAsked;
            }
        }
        timer_.start(waitMs_);
        return future;
    }

private:
    void ask(const QHostAddress& broadcast) {
        if (game_ == LanGame::UT99) {
            for (quint16 port = kUt99FirstBeaconPort; port <= kUt99LastBeaconPort; ++port)
                sender_.writeDatagram("REPORTQUERY", broadcast, port);
        } else {
            sender_.writeDatagram(udk::beaconQuery(nonce_), broadcast, udk::kBeaconPort);
        }
    }

    void read(QUdpSocket& socket) {
        while (socket.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = socket.receiveDatagram();
            LanServer server;
            server.address = datagram.senderAddress();
            if (game_ == LanGame::UT99) {
                const auto port = readUt99Answer(datagram.data());
                if (!port) {
                    ++result_.ignored;
                    continue;
                }
                server.queryPort = *port;
            } else {
                server.beacon = udk::readBeaconReply(datagram.data(), nonce_);
                if (!server.beacon) {
                    ++result_.ignored;
                    continue;
                }
            }
            result_.servers.append(server);
        }
    }

    void finish() {
        promise_.addResult(result_);
        promise_.finish();
        deleteLater();
    }

    LanGame game_;
    int waitMs_;
    quint64 nonce_ = 0;
    QUdpSocket sender_;
    QTimer timer_;
    LanSearchResult result_;
    QPromise<LanSearchResult> promise_;
};

} // namespace

QString LanSearchResult::summary() const {
    return QStringLiteral("LAN: %1 found").arg(servers.size());
}

QFuture<LanSearchResult> searchLan(LanGame game, int waitMs) {
    return (new LanSearch(game, waitMs))->start();
}

} // namespace utq::protocols
