#include "protocols/UdpQuery.h"

#include "platform/DatagramRefusal.h"
#include "protocols/StatusBounds.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QPromise>
#include <QSet>
#include <QTimer>
#include <QUdpSocket>

#include <utility>

namespace utq::protocols {
namespace {

// Long enough for the rest of a reply that is already on its way, short next to a try's wait.
constexpr int kSettleMs = 150;
// Whatever a game's reply may hold, no real server sends more than this for one query: past
// it, the query ends with what came, and a server that floods costs no more than this.
constexpr int kMostDatagrams = 512;
constexpr qint64 kMostBytes = 512 * 1024;
// Datagrams read in one turn of the event loop, so that a flood cannot starve other work.
constexpr int kDatagramsPerTurn = 64;

class UdpQuery;
// The queries of each thread that have yet to delete themselves.
thread_local QSet<UdpQuery*> running;

// Lives for one query and deletes itself once the promise is kept.
class UdpQuery : public QObject {
public:
    UdpQuery(std::unique_ptr<QueryConversation> conversation, const QHostAddress& address,
             quint16 port, QueryTiming timing)
        : conversation_(std::move(conversation)), address_(address), port_(port), timing_(timing) {
        running.insert(this);
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        connect(&timer_, &QTimer::timeout, this, &UdpQuery::onWaitOver);
        settle_.setSingleShot(true);
        settle_.setTimerType(Qt::PreciseTimer);
        connect(&settle_, &QTimer::timeout, this, [this] {
            settled_ = true;
            finish();
        });
        connect(&socket_, &QUdpSocket::readyRead, this, &UdpQuery::onDatagrams);
        connect(&socket_, &QUdpSocket::errorOccurred, this,
                [this](QAbstractSocket::SocketError error) {
                    // The address is out of reach: waiting longer will not help.
                    if (error != QAbstractSocket::TemporaryError)
                        finish();
                });
    }

    ~UdpQuery() override { running.remove(this); }
    UdpQuery(const UdpQuery&) = delete;
    UdpQuery& operator=(const UdpQuery&) = delete;

    QFuture<QueryOutcome> start() {
        promise_.start();
        QFuture<QueryOutcome> future = promise_.future();
        // A connected socket hears of a closed port at once (the system reports it only to
        // connected sockets) and takes datagrams from nowhere else.
        connect(&socket_, &QUdpSocket::connected, this, &UdpQuery::startTry);
        socket_.connectToHost(address_, port_);
        return future;
    }

private:
    void startTry() {
        clock_.start();
        send(conversation_->opening());
        timer_.start(timing_.waitMs);
    }

    void send(const QList<QByteArray>& datagrams) {
        for (const QByteArray& datagram : datagrams)
            socket_.write(datagram);
    }

    void onDatagrams() {
        if (finished_)
            return;
        // Asked before Qt looks for datagrams, which would swallow the refusal unseen.
        if (platform::takeDatagramRefusal(socket_.socketDescriptor()))
            return finish(); // waiting longer will not help
        for (int read = 0; socket_.hasPendingDatagrams(); ++read) {
            if (datagrams_ >= kMostDatagrams || bytes_ >= kMostBytes)
                return finish();
            if (read == kDatagramsPerTurn) {
                QMetaObject::invokeMethod(this, &UdpQuery::onDatagrams, Qt::QueuedConnection);
                return;
            }
            // The socket is connected: every datagram comes from the queried address and port.
            const QNetworkDatagram datagram = socket_.receiveDatagram();
            ++datagrams_;
            bytes_ += datagram.data().size();
            QList<QByteArray> reply;
            if (!conversation_->take(datagram.data(), reply)) {
                if (conversation_->hasOverflowed())
                    return finish();
                continue;
            }
            if (roundTripMs_ < 0)
                roundTripMs_ = clock_.elapsed();
            send(reply);
        }
        if (conversation_->isComplete())
            finish();
        else if (conversation_->isSettling())
            settle_.start(kSettleMs);
    }

    void onWaitOver() {
        if (triesLeft_-- > 0)
            return startTry();
        finish();
    }

    void finish() {
        if (finished_)
            return;
        finished_ = true;
        timer_.stop();
        settle_.stop();
        QueryOutcome outcome;
        outcome.kind = settled_ || conversation_->isComplete() ? QueryOutcome::Kind::Answered
                       : conversation_->hasStatus()            ? QueryOutcome::Kind::Partial
                                                               : QueryOutcome::Kind::NoAnswer;
        if (outcome.kind != QueryOutcome::Kind::NoAnswer) {
            outcome.status = bounds::bounded(conversation_->status());
            outcome.roundTripMs = roundTripMs_;
        }
        promise_.addResult(outcome);
        promise_.finish();
        deleteLater();
    }

    std::unique_ptr<QueryConversation> conversation_;
    QHostAddress address_;
    quint16 port_;
    QueryTiming timing_;
    int triesLeft_ = timing_.retries;
    QUdpSocket socket_;
    QTimer timer_;
    QTimer settle_;
    bool settled_ = false;
    QElapsedTimer clock_;
    qint64 roundTripMs_ = -1;
    int datagrams_ = 0;
    qint64 bytes_ = 0;
    QPromise<QueryOutcome> promise_;
    bool finished_ = false;
};

} // namespace

void dropRunningQueries() {
    const QSet<UdpQuery*> dropped = std::exchange(running, {});
    qDeleteAll(dropped); // a promise not kept cancels its future as it goes
}

QFuture<QueryOutcome> runQuery(std::unique_ptr<QueryConversation> conversation,
                               const QHostAddress& address, quint16 port, QueryTiming timing) {
    return (new UdpQuery(std::move(conversation), address, port, timing))->start();
}

} // namespace utq::protocols
