#pragma once

#include "protocols/GameSpyValidate.h"

#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// A UT99 master on 127.0.0.1 that behaves as the real ones do: it sends a challenge of six
// random capitals, reads the client's validate up to \final\, refuses a wrong one, reads the
// list request, answers the list and closes. Each field below makes it misbehave in one way.
class FakeMaster : public QObject {
public:
    enum class Refusal { Echo, Close };

    explicit FakeMaster(QByteArray list = "\\final\\") : list(std::move(list)) {
        server_.listen(address());
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection())
                serve(socket);
        });
    }

    // How it behaves, set before a client connects.
    QByteArray list;                                   // answered after a right validate
    QByteArray otherChallenge;                         // sent instead of the usual one, when set
    bool finalAfterChallenge = true;                   // \final\ follows the usual challenge
    QByteArray gameKey = utq::protocols::kUt99GameKey; // the validate is checked with it
    Refusal refusal = Refusal::Echo;
    int listDelayMs = 0;  // before the list
    int dripMs = 0;       // one byte of the list every dripMs
    bool endless = false; // `list` over and over, until the client goes
    bool silent = false;  // accepts the connection and says nothing

    quint16 port() const { return server_.serverPort(); }
    static QHostAddress address() { return QHostAddress(QStringLiteral("127.0.0.1")); }

    // Everything each client sent, one entry a connection.
    QList<QByteArray> received;
    int refusals = 0;
    int listsStarted = 0;
    qint64 bytesSent = 0;

private:
    // Past this, even an endless list stops: every loop of a test ends.
    static constexpr qint64 kMostBytesSent = 64 * 1024 * 1024;

    void serve(QTcpSocket* socket) {
        socket->setParent(this);
        const qsizetype index = received.size();
        received.append(QByteArray());
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (silent)
            return;
        QByteArray challenge;
        for (int i = 0; i < 6; ++i)
            challenge.append(char('A' + QRandomGenerator::global()->bounded(26)));
        if (!otherChallenge.isNull())
            socket->write(otherChallenge);
        else
            socket->write("\\basic\\\\secure\\" + challenge +
                          (finalAfterChallenge ? "\\final\\" : ""));
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, index, challenge] {
            QByteArray& in = received[index];
            const bool answered = in.count("\\final\\") >= 2;
            in += socket->readAll();
            if (answered || in.count("\\final\\") < 1)
                return;
            const QByteArray expected =
                "\\validate\\" + utq::protocols::gameSpyValidate(challenge, gameKey) + "\\final\\";
            if (!in.left(in.indexOf("\\final\\") + 7).endsWith(expected)) {
                ++refusals;
                if (refusal == Refusal::Echo)
                    socket->write("\\echo\\validation failed\\final\\");
                socket->disconnectFromHost();
                return;
            }
            if (in.count("\\final\\") >= 2 && in.contains("\\list\\\\gamename\\ut\\"))
                QTimer::singleShot(listDelayMs, socket, [this, socket] { sendList(socket); });
        });
    }

    void sendList(QTcpSocket* socket) {
        ++listsStarted;
        if (dripMs == 0 && !endless) {
            write(socket, list);
            socket->disconnectFromHost();
            return;
        }
        auto* timer = new QTimer(socket);
        auto sent = std::make_shared<qsizetype>(0);
        connect(timer, &QTimer::timeout, socket, [this, socket, timer, sent] {
            if (socket->state() != QAbstractSocket::ConnectedState || bytesSent >= kMostBytesSent)
                return timer->stop();
            if (endless) {
                if (socket->bytesToWrite() < 256 * 1024)
                    write(socket, list.repeated(64 * 1024 / list.size() + 1));
                return;
            }
            if (*sent == list.size()) {
                timer->stop();
                return socket->disconnectFromHost();
            }
            write(socket, list.mid((*sent)++, 1));
        });
        timer->start(endless ? 1 : dripMs);
    }

    void write(QTcpSocket* socket, const QByteArray& bytes) {
        bytesSent += bytes.size();
        socket->write(bytes);
    }

    QTcpServer server_;
};
