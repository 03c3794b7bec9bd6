#include "protocols/MasterQuery.h"

#include "protocols/GameSpyValidate.h"

#include <QLocale>

namespace utq::protocols {
namespace {

constexpr char kChallengeHead[] = "\\basic\\\\secure\\";
constexpr qsizetype kChallengeSize = 6;
constexpr char kFinal[] = "\\final\\";
// Read at a time, and held by the socket at most: the list is read as it comes.
constexpr qint64 kReadChunk = 64 * 1024;

// 333networks' masters send capitals, the makers' old master sent "wookie".
bool isChallengeChar(char c) { return c > ' ' && c < 127 && c != '\\'; }

QString counted(qsizetype n) { return QLocale(QLocale::English).toString(qint64(n)); }

} // namespace

QString MasterOutcome::text() const {
    QString text;
    switch (kind) {
    case Kind::Listed:
        text = QStringLiteral("listed %1").arg(counted(servers.size()));
        if (!ended)
            text += QStringLiteral(", cut short");
        break;
    case Kind::Refused:
        return QStringLiteral("refused the connection");
    case Kind::NoAnswer:
        return QStringLiteral("no answer");
    case Kind::TooSlow:
        text = QStringLiteral("too slow, kept %1").arg(counted(servers.size()));
        break;
    case Kind::Garbage:
        return QStringLiteral("answered no list");
    case Kind::WrongChallenge:
        return QStringLiteral("sent an unknown challenge");
    case Kind::ValidateRefused:
        return QStringLiteral("refused the validate");
    case Kind::TooLarge:
        text = QStringLiteral("too large, kept %1").arg(counted(servers.size()));
        break;
    }
    // Duplicates are harmless; malformed entries and crowded addresses are worth a word.
    if (const int left = leftOut.malformed + leftOut.overPortCap; left > 0)
        text += QStringLiteral(" (%1 left out)").arg(counted(left));
    return text;
}

MasterQuery::MasterQuery(const QHostAddress& address, quint16 port, int deadlineMs, QObject* parent)
    : QObject(parent), address_(address), port_(port), deadlineMs_(deadlineMs) {
    socket_.setReadBufferSize(kReadChunk);
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, &MasterQuery::onDeadline);
    connect(&socket_, &QTcpSocket::connected, this, [this] { phase_ = Phase::Challenge; });
    connect(&socket_, &QTcpSocket::readyRead, this, &MasterQuery::onReadyRead);
    connect(&socket_, &QTcpSocket::disconnected, this, &MasterQuery::onClosed);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &MasterQuery::onError);
}

MasterQuery::~MasterQuery() {
    // The socket's destructor reports the connection's end; this object is half gone by then.
    socket_.disconnect(this);
}

void MasterQuery::start() {
    clock_.start();
    deadline_.start(deadlineMs_);
    socket_.connectToHost(address_, port_);
}

void MasterQuery::onReadyRead() {
    while (!finished_ && socket_.bytesAvailable() > 0) {
        const QByteArray bytes = socket_.read(kReadChunk);
        if (phase_ == Phase::List)
            onListBytes(bytes);
        else
            onChallengeBytes(bytes);
    }
}

void MasterQuery::onChallengeBytes(const QByteArray& bytes) {
    phase_ = Phase::Challenge;
    challenge_ += bytes;
    // \basic\\secure\XXXXXX, then \final\ or nothing.
    const QByteArrayView head(kChallengeHead);
    const QByteArrayView final(kFinal);
    const QByteArrayView got(challenge_);
    if (got.first(qMin(got.size(), head.size())) != head.first(qMin(got.size(), head.size())))
        return finish(MasterOutcome::Kind::WrongChallenge);
    if (got.size() < head.size() + kChallengeSize)
        return;
    const QByteArrayView secret = got.sliced(head.size(), kChallengeSize);
    if (!std::all_of(secret.begin(), secret.end(), isChallengeChar))
        return finish(MasterOutcome::Kind::WrongChallenge);
    const QByteArrayView rest = got.sliced(head.size() + kChallengeSize);
    const qsizetype shared = qMin(rest.size(), final.size());
    if (rest.first(shared) != final.first(shared))
        return finish(MasterOutcome::Kind::WrongChallenge);
    if (shared > 0 && shared < final.size())
        return; // the rest of \final\ is on its way
    socket_.write("\\gamename\\ut\\location\\0\\validate\\" + gameSpyValidate(secret) +
                  "\\final\\\\list\\\\gamename\\ut\\final\\");
    phase_ = Phase::List;
    finalMayFollow_ = rest.isEmpty();
    if (rest.size() > final.size()) // the master spoke out of turn: it is read as its list
        onListBytes(rest.sliced(final.size()));
}

void MasterQuery::onListBytes(QByteArrayView bytes) {
    if (finalMayFollow_) {
        const QByteArrayView final(kFinal);
        const qsizetype take = qMin(bytes.size(), final.size() - held_.size());
        held_ += bytes.first(take);
        bytes = bytes.sliced(take);
        if (held_ == final.first(held_.size()) && held_.size() < final.size())
            return;
        finalMayFollow_ = false;
        if (held_ != final && !feedReader(held_))
            return;
    }
    feedReader(bytes);
}

bool MasterQuery::feedReader(QByteArrayView bytes) {
    switch (reader_.feed(bytes)) {
    case MasterListReader::State::Reading:
        return true;
    case MasterListReader::State::Complete:
        finish(MasterOutcome::Kind::Listed);
        break;
    case MasterListReader::State::Refused:
        finish(MasterOutcome::Kind::ValidateRefused);
        break;
    case MasterListReader::State::NotAList:
        finish(MasterOutcome::Kind::Garbage);
        break;
    case MasterListReader::State::TooLarge:
        finish(MasterOutcome::Kind::TooLarge);
        break;
    }
    return false;
}

void MasterQuery::onClosed() {
    onReadyRead(); // what came before the end
    if (finished_)
        return;
    if (phase_ != Phase::List)
        return finish(challenge_.isEmpty() ? MasterOutcome::Kind::NoAnswer
                                           : MasterOutcome::Kind::WrongChallenge);
    // 333networks' masters close without a word on a wrong validate.
    if (reader_.bytesRead() == 0 && (held_.isEmpty() || held_ == kFinal))
        return finish(MasterOutcome::Kind::ValidateRefused);
    finish(reader_.sawList() ? MasterOutcome::Kind::Listed : MasterOutcome::Kind::Garbage);
}

void MasterQuery::onError(QAbstractSocket::SocketError error) {
    if (finished_ || error == QAbstractSocket::RemoteHostClosedError)
        return; // disconnected() follows
    if (phase_ == Phase::Connecting || error == QAbstractSocket::ConnectionRefusedError)
        return finish(MasterOutcome::Kind::Refused);
    onClosed(); // reset in the middle: what came counts
}

void MasterQuery::onDeadline() {
    if (phase_ == Phase::List && reader_.bytesRead() > 0)
        return finish(MasterOutcome::Kind::TooSlow);
    finish(phase_ == Phase::Challenge && !challenge_.isEmpty() ? MasterOutcome::Kind::WrongChallenge
                                                               : MasterOutcome::Kind::NoAnswer);
}

void MasterQuery::finish(MasterOutcome::Kind kind) {
    if (finished_)
        return;
    finished_ = true;
    deadline_.stop();
    socket_.disconnect(this);
    socket_.abort();
    outcome_.kind = kind;
    outcome_.servers = reader_.servers();
    outcome_.leftOut = reader_.leftOut();
    outcome_.ended = reader_.state() == MasterListReader::State::Complete;
    outcome_.bytes = reader_.bytesRead();
    outcome_.tookMs = clock_.elapsed();
    // Queued: never from within start(), nor from within the socket's own signals.
    QMetaObject::invokeMethod(this, &MasterQuery::finished, Qt::QueuedConnection);
}

} // namespace utq::protocols
