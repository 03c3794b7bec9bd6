#pragma once

#include <QHostAddress>
#include <QList>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <functional>

// A game server's query port on 127.0.0.1 that answers each request with what the test
// says: any datagrams, in any order, or nothing; from its own port, or from another one.
class FakeGameServer : public QObject {
public:
    using Answer = std::function<QList<QByteArray>(const QByteArray& request, int requestNumber)>;

    // On `port`, or on a free one, of `at` (another loopback address stands for another
    // machine); bound() says whether the port could be had.
    explicit FakeGameServer(Answer answer, quint16 port = 0, const QHostAddress& at = address())
        : answer_(std::move(answer)) {
        socket_.bind(at, port);
        other_.bind(at, 0);
        connect(&socket_, &QUdpSocket::readyRead, this, [this] {
            while (socket_.hasPendingDatagrams()) {
                const QNetworkDatagram request = socket_.receiveDatagram();
                lastClient_ = {request.senderAddress(), request.senderPort()};
                requests.append(request.data());
                QUdpSocket& from = answerFromAnotherPort ? other_ : socket_;
                for (const QByteArray& datagram :
                     answer_(request.data(), static_cast<int>(requests.size())))
                    from.writeDatagram(datagram, request.senderAddress(), request.senderPort());
            }
        });
    }

    quint16 port() const { return socket_.localPort(); }
    bool bound() const { return socket_.state() == QAbstractSocket::BoundState; }

    // Sends one more datagram to whoever asked last, for answers that go on after a request.
    void sendToLastClient(const QByteArray& datagram) {
        socket_.writeDatagram(datagram, lastClient_.first, lastClient_.second);
    }
    static QHostAddress address() { return QHostAddress(QStringLiteral("127.0.0.1")); }

    QList<QByteArray> requests;
    bool answerFromAnotherPort = false;

private:
    Answer answer_;
    QPair<QHostAddress, quint16> lastClient_;
    QUdpSocket socket_;
    QUdpSocket other_;
};
