#pragma once

#include "queryservice/http/Server.h"

#include <QTcpSocket>

// One client's connection to the HTTP server: reads one request head at a time, hands it on,
// and reads the next only when the answer is out, so pipelined requests are answered in order.
namespace utq::queryservice::http {

class Connection : public QObject {
public:
    // `key`: the client it is counted for.
    Connection(QTcpSocket* socket, const QHostAddress& key, Server& server);
    ~Connection() override;

    // The answer to the request numbered `serial`; dropped when that is not the request
    // waiting, or the connection is closing.
    void answer(quint64 serial, const Response& response);
    bool awaits(quint64 serial) const { return busy_ && serial == serial_ && !closing_; }
    // Closes at once, whatever is unsent.
    void drop();
    bool sending() const { return socket_->bytesToWrite() > 0; }

private:
    void readRequests();
    void write(const Response& response, bool withBody, bool close);
    void sent();
    void close();
    void gone();
    // Times what the connection waits for, and tells the server when it starts or stops
    // being idle.
    void update();

    QTcpSocket* socket_; // a child of this connection
    Server& server_;
    QHostAddress client_;
    QHostAddress key_;
    QByteArray input_;
    // What the connection waits for: a request (the idle time), the client to take what is
    // to be sent (the send time), or the handler's answer (not timed here).
    enum class Waiting { ForRequest, ForClient, ForAnswer };
    QTimer timer_;
    Waiting waiting_ = Waiting::ForRequest;
    quint64 serial_ = 0;
    bool busy_ = false;     // a request waits for its answer
    bool headOnly_ = false; // the waiting request is HEAD
    bool keepAlive_ = true; // the waiting request lets the connection stay open
    bool closing_ = false;  // no more requests are read
    bool counted_ = true;   // still counted by the server
};

} // namespace utq::queryservice::http
