#pragma once

#include "base/Games.h"
#include "protocols/QueryOutcome.h"
#include "queryservice/NameLookups.h"
#include "queryservice/QueryLimits.h"
#include "queryservice/RecentAnswers.h"
#include "queryservice/TargetPolicy.h"
#include "queryservice/pages/Finding.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

// Finding a game server's status: its name looked up, its address held to the target policy,
// its port asked (and the game's usual query port after a silent one), a recent answer reused,
// all within one deadline. Pages, the API and anything else that wants a server's status ask
// here; nothing here knows of HTTP.
namespace utq::queryservice {

struct ServiceMetrics;
using pages::Finding;

// Looks up a host name and calls back, in `context`'s thread, with its addresses (none when
// it is unknown). For tests that stand in for the service's own look-ups.
using Resolver = std::function<void(const QString& host, QObject* context,
                                    std::function<void(const QList<QHostAddress>&)> done)>;

struct FindingSettings {
    protocols::QueryTiming timing;
    int maxQueriesInFlight = 0;           // findings being made at once; 0: no bound
    int maxQueriesPerClientPerSecond = 0; // 0: no bound
    int maxQueriesPerClient = 0;          // findings being made for one client; 0: none
    int pageDeadlineMs = 5000;            // from asking to the finding, name look-up included
    int reuseMs = 0;                      // a server's answer serves other findings this long
    TargetPolicy targets;                 // which servers may be asked
    NameLookupLimits lookups;             // the servers' names: how many at once, kept how long
    Resolver resolve;                     // none: the finder's own look-ups, within `lookups`
};

class StatusFinder : public QObject {
public:
    explicit StatusFinder(FindingSettings settings, QObject* parent = nullptr);
    ~StatusFinder() override;

    // Names whose last good address stands in when a fresh look-up fails: the clan's servers.
    void keepLastGood(const QStringList& names);

    using Done = std::function<void(const Finding&)>;
    // The status of the `game` server at `host` and `portText` (the port its status page
    // takes, as typed), for `client`, whose limits it counts against. `webPortText` (UT3) is a
    // web port to link the server's own statistics to. `done` is called once, in this object's
    // thread, before the deadline has passed (at once when the input is no server at all), and
    // never once the finder is gone.
    void find(const GameDescription& game, const QString& host, const QString& portText,
              const QString& webPortText, const QHostAddress& client, Done done);

    // Looks up `host` as servers' names are looked up (the tests' resolver included), within
    // `timeMs`, for the service itself, and calls `done` with its IPv4 address, or a null
    // address when it has none. Dropping the ticket cancels it.
    [[nodiscard]] NameLookups::Ticket lookUpName(const QString& host, qint64 timeMs,
                                                 std::function<void(const QHostAddress&)> done);

    // Whether the target policy lets `address` be asked.
    bool mayAsk(const QHostAddress& address) const;

    // Each finding is counted in `metrics` from now on, which must outlive the finder.
    void countInto(ServiceMetrics* metrics) { metrics_ = metrics; }
    // Findings being made now, within the limits.
    int inFlight() const { return limits_.running(); }

private:
    class Search;

    void passDeadlines();
    void count(const Finding& finding, qint64 elapsedMs);
    void lookUp(const std::shared_ptr<Search>& search, quint16 port, quint16 webPort);
    // silentPort: the port asked before, which gave no answer; 0 for the first port asked.
    void ask(const std::shared_ptr<Search>& search, const QHostAddress& address, quint16 port,
             quint16 webPort, quint16 silentPort = 0);

    FindingSettings settings_;
    QueryLimits limits_;
    RecentAnswers recent_;
    NameLookups names_; // a child, so that it moves to the finder's thread with it
    QElapsedTimer clock_;
    // Searches waiting for their finding, by deadline.
    std::deque<std::pair<qint64, std::weak_ptr<Search>>> deadlines_;
    QTimer deadlineTick_; // a child, so that it moves to the finder's thread with it
    // Searches hold this weakly, so one that ends after the finder is gone is let be.
    std::shared_ptr<StatusFinder*> alive_;
    ServiceMetrics* metrics_ = nullptr;
};

} // namespace utq::queryservice
