#include "queryservice/Ut99Query.h"

#include "queryservice/Ut99Protocol.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QPromise>
#include <QTimer>
#include <QUdpSocket>

#include <memory>

namespace utq::queryservice {
namespace {

// Lives for one query and deletes itself once the promise is kept.
class Ut99Query : public QObject {
public:
    Ut99Query(const QHostAddress& address, quint16 port, QueryTiming timing)
        : address_(address), port_(port), timing_(timing) {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        connect(&timer_, &QTimer::timeout, this, &Ut99Query::onWaitOver);
        connect(&socket_, &QUdpSocket::readyRead, this, &Ut99Query::onDatagrams);
        connect(&socket_, &QUdpSocket::errorOccurred, this,
                [this](QAbstractSocket::SocketError error) {
                    if (error ==
                        QAbstractSocket::ConnectionRefusedError) // nothing listens on that port
                        finish(QueryOutcome::Kind::NoAnswer);
                });
    }

    QFuture<QueryOutcome> start() {
        promise_.start();
        QFuture<QueryOutcome> future = promise_.future();
        const bool bound = socket_.bind(address_.protocol() == QAbstractSocket::IPv6Protocol
                                            ? QHostAddress::AnyIPv6
                                            : QHostAddress::AnyIPv4,
                                        0);
        if (!bound) {
            finish(QueryOutcome::Kind::NoAnswer);
            return future;
        }
        send();
        return future;
    }

private:
    void send() {
        clock_.start();
        socket_.writeDatagram(QByteArray(ut99::kStatusRequest), address_, port_);
        timer_.start(timing_.waitMs);
    }

    void onDatagrams() {
        while (socket_.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = socket_.receiveDatagram();
            // Only the queried address and port answer for the server.
            if (datagram.senderPort() != port_ ||
                !datagram.senderAddress().isEqual(address_, QHostAddress::TolerantConversion))
                continue;
            if (!assembly_.add(datagram.data()))
                continue;
            if (roundTripMs_ < 0)
                roundTripMs_ = clock_.elapsed();
        }
        if (assembly_.isComplete())
            finish(QueryOutcome::Kind::Answered);
    }

    void onWaitOver() {
        if (triesLeft_-- > 0) {
            send();
            return;
        }
        finish(assembly_.items().isEmpty() ? QueryOutcome::Kind::NoAnswer
                                           : QueryOutcome::Kind::Partial);
    }

    void finish(QueryOutcome::Kind kind) {
        if (finished_)
            return;
        finished_ = true;
        timer_.stop();
        QueryOutcome outcome;
        outcome.kind = kind;
        if (kind != QueryOutcome::Kind::NoAnswer) {
            outcome.status = ut99::statusFrom(assembly_.items());
            outcome.roundTripMs = roundTripMs_;
        }
        promise_.addResult(outcome);
        promise_.finish();
        deleteLater();
    }

    QHostAddress address_;
    quint16 port_;
    QueryTiming timing_;
    int triesLeft_ = timing_.retries;
    QUdpSocket socket_;
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 roundTripMs_ = -1;
    ut99::ReplyAssembly assembly_;
    QPromise<QueryOutcome> promise_;
    bool finished_ = false;
};

} // namespace

QFuture<QueryOutcome> queryUt99(const QHostAddress& address, quint16 queryPort,
                                QueryTiming timing) {
    return (new Ut99Query(address, queryPort, timing))->start();
}

} // namespace utq::queryservice
