#include "queryservice/http/Connection.h"

#include <QMetaObject>

namespace utq::queryservice::http {
namespace {

// Answers not yet taken by a client, past which its next request waits: a client that sends
// requests but never reads cannot make the service hold its answers.
constexpr qint64 kMaxUnsentBytes = 256 * 1024;

} // namespace

Reply::Reply(Connection* connection, quint64 serial) : connection_(connection), serial_(serial) {}

void Reply::send(const Response& response) const {
    if (connection_)
        connection_->answer(serial_, response);
}

Connection::Connection(QTcpSocket* socket, const QHostAddress& key, Server& server)
    : QObject(&server), socket_(socket), server_(server), client_(socket->peerAddress()),
      key_(key) {
    socket_->setParent(this);
    // Unread bytes wait in the system, not here: at most one head's worth is taken in.
    socket_->setReadBufferSize(server_.limits().maxHeadBytes);
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // A slow reader holds its answer here, for the send time at most, and this much more in
    // the system, which would otherwise grow it to megabytes for each such client.
    if (server_.limits().sendBufferBytes > 0)
        socket_->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption,
                                 server_.limits().sendBufferBytes);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &Connection::drop);
    connect(socket_, &QTcpSocket::readyRead, this, &Connection::readRequests);
    connect(socket_, &QTcpSocket::bytesWritten, this, &Connection::sent);
    connect(socket_, &QTcpSocket::disconnected, this, &Connection::gone);
    connect(socket_, &QTcpSocket::errorOccurred, this, [this] {
        if (socket_->state() == QAbstractSocket::UnconnectedState)
            gone();
    });
    server_.idleChanged(this, key_, true);
    timer_.start(server_.limits().idleMs);
}

Connection::~Connection() {
    if (counted_)
        server_.closed(this, key_);
}

void Connection::readRequests() {
    if (busy_ || closing_ || socket_->bytesToWrite() >= kMaxUnsentBytes)
        return;
    const qsizetype room = server_.limits().maxHeadBytes - input_.size();
    if (room > 0)
        input_ += socket_->read(room);
    if (input_.isEmpty())
        return;
    ParseResult parsed = parseRequest(input_, server_.limits().maxHeadBytes);
    switch (parsed.kind) {
    case ParseResult::Kind::NeedMore:
        return; // the idle timer bounds how long a head may take
    case ParseResult::Kind::Refused:
        write(server_.refusal_(parsed.status, client_), true, true);
        return;
    case ParseResult::Kind::Ready:
        break;
    }
    input_.remove(0, parsed.consumed);
    busy_ = true;
    update();
    headOnly_ = parsed.request.method == "HEAD";
    keepAlive_ = parsed.request.keepAlive;
    const Reply reply(this, ++serial_);
    server_.handler_(parsed.request, client_, reply);
}

void Connection::answer(quint64 serial, const Response& response) {
    if (!awaits(serial))
        return;
    busy_ = false;
    write(response, !headOnly_, !keepAlive_);
    if (closing_)
        return;
    // The next pipelined request, if any, on a later turn: answers given at once do not nest.
    if (!input_.isEmpty() || socket_->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &Connection::readRequests, Qt::QueuedConnection);
}

void Connection::write(const Response& response, bool withBody, bool close) {
    socket_->write(serialize(response, withBody, close));
    update();
    if (close)
        this->close();
}

void Connection::sent() {
    if (closing_)
        return;
    update();
    if (socket_->bytesToWrite() < kMaxUnsentBytes)
        readRequests();
}

void Connection::close() {
    closing_ = true;
    busy_ = false;
    update(); // the answer still goes out, within the send time
    socket_->disconnectFromHost();
}

void Connection::drop() {
    socket_->abort();
    gone();
}

void Connection::gone() {
    if (!counted_)
        return;
    counted_ = false;
    closing_ = true;
    timer_.stop();
    server_.closed(this, key_);
    deleteLater();
}

void Connection::update() {
    const Waiting was = waiting_;
    waiting_ = socket_->bytesToWrite() > 0 || closing_ ? Waiting::ForClient
               : busy_                                 ? Waiting::ForAnswer
                                                       : Waiting::ForRequest;
    if (waiting_ == was)
        return; // a client's pace does not matter, only that it takes its answers in time
    if (was == Waiting::ForRequest || waiting_ == Waiting::ForRequest)
        server_.idleChanged(this, key_, waiting_ == Waiting::ForRequest);
    if (waiting_ == Waiting::ForAnswer)
        timer_.stop();
    else
        timer_.start(waiting_ == Waiting::ForRequest ? server_.limits().idleMs
                                                     : server_.limits().sendMs);
}

} // namespace utq::queryservice::http
