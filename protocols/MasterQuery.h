#pragma once

#include "protocols/MasterListReader.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

// One UT99 master's list over TCP, without blocking: connect, answer the master's challenge
// with the validate, ask for the list and read it within one deadline and the reader's bounds.
namespace utq::protocols {

inline constexpr quint16 kMasterPort = 28900;
// From the start of the connect to the last byte of the list.
inline constexpr int kMasterDeadlineMs = 10000;

struct MasterOutcome {
    enum class Kind {
        Listed,          // the list came (ended by \final\, or by the master closing)
        Refused,         // the connection was refused, or could not be made
        NoAnswer,        // no list began in time, or the master closed without a word
        TooSlow,         // the deadline passed in the middle of the list: what came is kept
        Garbage,         // the master answered something that is not a list
        WrongChallenge,  // the master's first words were not a challenge we know
        ValidateRefused, // the master refused the validate (\echo\ text, or closed without a list)
        TooLarge,        // the list reached a bound: what was read is kept
    };
    Kind kind = Kind::NoAnswer;
    QList<ListedServer> servers;
    LeftOut leftOut;
    bool ended = false;  // the list ended with its \final\ key
    qsizetype bytes = 0; // of the list
    qint64 tookMs = 0;   // from the start of the connect

    // A few words for a page: "listed 1,204", "no answer", "refused the validate"...
    QString text() const;
};

class MasterQuery : public QObject {
    Q_OBJECT
public:
    // A deadline is given only by tests; the caller resolves the master's name itself.
    MasterQuery(const QHostAddress& address, quint16 port = kMasterPort,
                int deadlineMs = kMasterDeadlineMs, QObject* parent = nullptr);
    ~MasterQuery() override;

    // Connects and runs the exchange; finished() follows once, from the event loop (never
    // from within start()). Deleting the query before that ends the exchange.
    void start();
    bool isFinished() const { return finished_; }
    const MasterOutcome& outcome() const { return outcome_; }

signals:
    void finished();

private:
    enum class Phase { Connecting, Challenge, List };

    void onReadyRead();
    void onChallengeBytes(const QByteArray& bytes);
    void onListBytes(QByteArrayView bytes);
    bool feedReader(QByteArrayView bytes);
    void onClosed();
    void onError(QAbstractSocket::SocketError error);
    void onDeadline();
    void finish(MasterOutcome::Kind kind);

    QHostAddress address_;
    quint16 port_;
    int deadlineMs_;
    QTcpSocket socket_;
    QTimer deadline_;
    QElapsedTimer clock_;
    Phase phase_ = Phase::Connecting;
    QByteArray challenge_; // the master's first bytes, until the challenge is whole
    // The challenge came without \final\: one may still come ahead of the list, held here.
    bool finalMayFollow_ = false;
    QByteArray held_;
    MasterListReader reader_;
    MasterOutcome outcome_;
    bool finished_ = false;
};

} // namespace utq::protocols
