#pragma once

#include "base/Games.h"
#include "queryservice/HostNames.h"
#include "queryservice/LogLines.h"
#include "queryservice/ServerHistory.h"
#include "queryservice/ServerList.h"
#include "queryservice/ServiceMetrics.h"
#include "queryservice/StatusFinder.h"
#include "queryservice/http/Server.h"
#include "queryservice/pages/StartPages.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

// The status service: each request is routed to its page or to the API, and a status page or
// an API answer waits for what the finder finds of its server. Nothing here waits on the
// network: a page is answered when its finding comes, and the thread that runs the service
// stays free meanwhile.
namespace utq::queryservice {

// How servers are found (FindingSettings), and what the service serves and to whom.
struct ServiceSettings : FindingSettings {
    QString voiceHost;                       // named on the voice server's start page
    pages::ClanServers clanServers;          // first on each game's start page
    QString favouritesFolder;                // favourites files listed next; empty: none
    http::Limits http;                       // request heads, connections, idle time
    bool ownViewsOnly = false;               // only this service's own pages may ask it
    bool apiForAnyOrigin = false;            // any web site's scripts may read the JSON API
    HostNames hostNames;                     // the Host values served (421 for others)
    QList<Subnet> trustedProxies;            // peers whose requests are counted for the
                                             // client they name (X-Forwarded-For, Forwarded)
    std::function<void(const QString&)> log; // one line per request, when set
    LogStyle logStyle;                       // how those lines are written
    // Who may read /healthz and /metrics: what the service is doing is no business of the
    // public it serves.
    QList<Subnet> metricsFrom{{QHostAddress(QStringLiteral("127.0.0.0")), 8},
                              {QHostAddress::LocalHostIPv6, 128}};
    ServerListSettings lists; // the servers' lists: masters, LAN, pace
    // The lists are asked afresh every this many seconds, first at start-up, and a page only
    // reads them (a service others reach); 0: when a list page is opened and its list is
    // older than a minute, the LAN at every opening (the program's own service).
    int listSeconds = 0;
    HistoryServiceSettings history; // the watched servers and where their history is kept
};

// The service's health and figures, for its operators' monitoring.
inline constexpr char kHealthPath[] = "/healthz";
inline constexpr char kMetricsPath[] = "/metrics";

class StatusService : public QObject {
public:
    explicit StatusService(ServiceSettings settings = {}, QObject* parent = nullptr);
    ~StatusService() override;

    // Listens at `address`:`port` (0: a port the system picks); the port, or 0 when that
    // failed.
    quint16 listen(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0);
    quint16 port() const { return port_; }
    // A game's list, for the figures of its pace.
    const ServerList& list(GameKind game) const { return *lists_.at(game); }
    const ServerHistory& history() const { return *history_; }
    const ServiceMetrics& metrics() const { return metrics_; }

    // Takes no more requests, gives those being answered up to `graceMs` to end, answers the
    // rest "unavailable", and calls `done` once what was answered has been sent (or after a
    // further moment, for clients that do not read).
    void stop(int graceMs, std::function<void()> done);

private:
    class Exchange;

    void addRoutes();
    void handle(const http::Request& request, const QHostAddress& client, const http::Reply& reply);
    bool fromOwnViews(const http::Request& request) const;
    void answerStatus(const http::Request& request, const std::shared_ptr<Exchange>& exchange,
                      const GameDescription& game);
    void answerApiStatus(const http::Request& request, const std::shared_ptr<Exchange>& exchange);
    void answerApiServers(const http::Request& request, const std::shared_ptr<Exchange>& exchange);
    void answerHistory(const http::Request& request, const std::shared_ptr<Exchange>& exchange);
    http::Response startPage(GameKind game) const;
    http::Response listPage(GameKind game);
    http::Response health() const;
    http::Response metricsPage() const;
    QString routeOf(const QString& path) const;
    void refreshLists();
    void finishStopping();

    ServiceSettings settings_;
    ServiceMetrics metrics_; // before the parts that count into it
    http::Server http_;
    QHash<QString, std::function<http::Response()>> pages_;
    QHash<QString, const GameDescription*> statusPages_;
    StatusFinder finder_; // a child, so that it moves to the service's thread with it
    // Each game's list, made when first wanted; children, like the finder.
    std::map<GameKind, ServerList*> lists_;
    ServerHistory* history_ = nullptr; // a child, like the lists
    // Each list's last JSON answer, which every poll within a moment shares: a list of
    // thousands is written once for them all.
    struct ListAnswer {
        qint64 atMs = -1;
        http::Response response;
    };
    std::map<GameKind, ListAnswer> listAnswers_;
    QElapsedTimer clock_;
    QTimer listTimer_;
    quint16 port_ = 0;
    bool historyStarted_ = false;
    QSet<Exchange*> exchanges_; // requests waiting for their answer
    bool stopping_ = false;
    std::function<void()> stopped_;
    QTimer stopTick_;
    qint64 stopGraceMs_ = 0;
    qint64 stopStartedMs_ = 0;
    // Requests being answered hold this weakly, so one that ends after the service is gone is
    // let be.
    std::shared_ptr<StatusService*> alive_;
};

} // namespace utq::queryservice
