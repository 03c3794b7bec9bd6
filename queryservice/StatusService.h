#pragma once

#include "queryservice/Ut99Query.h"

#include <QHttpServer>
#include <QHttpServerResponse>
#include <QObject>

#include <functional>
#include <memory>

// The status pages the web views ask for, served from inside the program on 127.0.0.1: each
// status page queries the game server itself. Nothing here waits on the network: a page is
// answered when its query is done.
namespace utq::queryservice {

class StatusService : public QObject {
public:
    explicit StatusService(QueryTiming timing = {}, QObject* parent = nullptr);

    // Listens on 127.0.0.1 at a port the system picks; 0 when that failed.
    quint16 listen();
    quint16 port() const { return port_; }

private:
    using Respond = std::function<void(QHttpServerResponse&&)>;

    void addRoutes();
    void answerUt99(const QHttpServerRequest& request, const Respond& respond);

    QHttpServer http_;
    QueryTiming timing_;
    quint16 port_ = 0;
};

} // namespace utq::queryservice
