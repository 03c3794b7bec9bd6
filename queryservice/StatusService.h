#pragma once

#include "base/Games.h"
#include "queryservice/HostNames.h"
#include "queryservice/HttpServer.h"
#include "queryservice/NameLookups.h"
#include "queryservice/QueryLimits.h"
#include "queryservice/QueryOutcome.h"
#include "queryservice/RecentAnswers.h"
#include "queryservice/StartPages.h"
#include "queryservice/TargetPolicy.h"

#include <QElapsedTimer>
#include <QFuture>
#include <QHash>
#include <QHostAddress>
#include <QObject>

#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

// The status pages the web views ask for, and their start pages: each status page queries the
// game server itself. Nothing here waits on the network: a page is answered when its query is
// done, and the thread that runs the service stays free meanwhile.
namespace utq::queryservice {

// Looks up a host name and calls back, in `context`'s thread, with its addresses (none when
// it is unknown). For tests that stand in for the service's own look-ups.
using Resolver = std::function<void(const QString& host, QObject* context,
                                    std::function<void(const QList<QHostAddress>&)> done)>;

struct ServiceSettings {
    QueryTiming timing;
    QString voiceHost;                       // named on the voice server's start page
    pages::ClanServers clanServers;          // first on each game's start page
    QString favouritesFolder;                // favourites files listed next; empty: none
    int maxQueriesInFlight = 0;              // status pages being made at once; 0: no bound
    int maxQueriesPerClientPerSecond = 0;    // 0: no bound
    int maxQueriesPerClient = 0;             // status pages being made for one client; 0: none
    int pageDeadlineMs = 5000;               // from request to answer, name look-up included
    int reuseMs = 0;                         // a server's answer serves other pages this long
    http::Limits http;                       // request heads, connections, idle time
    bool ownViewsOnly = false;               // only this service's own pages may ask it
    bool apiForAnyOrigin = false;            // any web site's scripts may read the JSON API
    HostNames hostNames;                     // the Host values served (421 for others)
    QList<Subnet> trustedProxies;            // peers whose requests are counted for the
                                             // client they name (X-Forwarded-For, Forwarded)
    TargetPolicy targets;                    // which servers may be asked
    NameLookupLimits lookups;                // the servers' names: how many at once, kept how long
    std::function<void(const QString&)> log; // one line per request, when set
    Resolver resolve;                        // none: the service's own look-ups, within `lookups`
};

class StatusService : public QObject {
public:
    explicit StatusService(ServiceSettings settings = {}, QObject* parent = nullptr);
    ~StatusService() override;

    // Listens at `address`:`port` (0: a port the system picks); the port, or 0 when that
    // failed.
    quint16 listen(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0);
    quint16 port() const { return port_; }

private:
    class Exchange;

    void addRoutes();
    void passDeadlines();
    void handle(const http::Request& request, const QHostAddress& client, const http::Reply& reply);
    bool fromOwnViews(const http::Request& request) const;
    void answerStatus(const http::Request& request, const std::shared_ptr<Exchange>& exchange,
                      const GameDescription& game);
    void answerApiStatus(const http::Request& request, const std::shared_ptr<Exchange>& exchange);
    void answerApiServers(const http::Request& request, const std::shared_ptr<Exchange>& exchange);
    // The status of the server given, told to the exchange however it ends.
    void findStatus(const std::shared_ptr<Exchange>& exchange, const GameDescription& game,
                    const QString& host, const QString& portText, const QString& webPortText);
    void lookUp(const std::shared_ptr<Exchange>& exchange, quint16 port, quint16 webPort);
    // silentPort: the port asked before, which gave no answer; 0 for the first port asked.
    void ask(const std::shared_ptr<Exchange>& exchange, const QHostAddress& address, quint16 port,
             quint16 webPort, quint16 silentPort = 0);

    ServiceSettings settings_;
    http::Server http_;
    QHash<QString, std::function<http::Response()>> pages_;
    QHash<QString, const GameDescription*> statusPages_;
    QueryLimits limits_;
    RecentAnswers recent_;
    NameLookups names_; // a child, so that it moves to the service's thread with it
    QElapsedTimer clock_;
    // Pages waiting for their answer, by deadline.
    std::deque<std::pair<qint64, std::weak_ptr<Exchange>>> deadlines_;
    QTimer deadlineTick_; // a child, so that it moves to the service's thread with it
    quint16 port_ = 0;
    // Pages in the making hold this weakly, so one that ends after the service is gone is let
    // be.
    std::shared_ptr<StatusService*> alive_;
};

} // namespace utq::queryservice
