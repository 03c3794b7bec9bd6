#pragma once

#include "queryservice/QueryLimits.h"
#include "queryservice/QueryOutcome.h"
#include "queryservice/StartPages.h"

#include <QElapsedTimer>
#include <QFuture>
#include <QHostAddress>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QObject>

#include <functional>
#include <memory>

// The status pages the web views ask for, and their start pages: each status page queries the
// game server itself. Nothing here waits on the network: a page is answered when its query is
// done, and the thread that runs the service stays free meanwhile.
namespace utq::queryservice {

// Looks up a host name and calls back, in `context`'s thread, with its addresses (none when
// it is unknown).
using Resolver = std::function<void(const QString& host, QObject* context,
                                    std::function<void(const QList<QHostAddress>&)> done)>;
Resolver systemResolver();

struct ServiceSettings {
    QueryTiming timing;
    QString voiceHost;                       // named on the voice server's start page
    QList<pages::Preset> ut99Presets;        // linked from the UT99 start page
    int maxQueriesInFlight = 0;              // 0: no bound
    int maxQueriesPerClientPerSecond = 0;    // 0: no bound
    std::function<void(const QString&)> log; // one line per request, when set
    Resolver resolve = systemResolver();
};

class StatusService : public QObject {
public:
    explicit StatusService(ServiceSettings settings = {}, QObject* parent = nullptr);
    ~StatusService() override;

    // Listens at `address`:`port` (0: a port the system picks); the port, or 0 when that
    // failed.
    quint16 listen(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0);
    quint16 port() const { return port_; }

    // One of the games' status pages: where the keys say the server is, and how to ask it.
    struct Game {
        QString name;        // "UT99"
        const char* hostKey; // the query keys of the page's address
        const char* portKey;
        int portOffset; // from the port given to the port queried
        QFuture<QueryOutcome> (*query)(const QHostAddress&, quint16, QueryTiming);
        QString portHint;                 // says which port to give
        const char* webPortKey = nullptr; // a web statistics port, linked when not 0
        bool colourCodes = false;         // names carry colour codes
    };

private:
    class Exchange;

    void addRoutes();
    void addPage(const QString& path, std::function<QByteArray()> page);
    void addStatusPage(const QString& path, const Game& game);
    void answerStatus(const QHttpServerRequest& request, const std::shared_ptr<Exchange>& exchange,
                      const Game& game);
    void ask(const std::shared_ptr<Exchange>& exchange, const Game& game, const QString& host,
             const QHostAddress& address, quint16 port, quint16 webPort);

    QHttpServer http_;
    ServiceSettings settings_;
    QueryLimits limits_;
    QElapsedTimer clock_;
    quint16 port_ = 0;
    // Queries in flight hold this weakly, so one that ends after the service is gone is let be.
    std::shared_ptr<StatusService*> alive_;
};

} // namespace utq::queryservice
