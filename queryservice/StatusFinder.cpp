#include "queryservice/StatusFinder.h"

#include "protocols/GameQueries.h"
#include "queryservice/ServiceMetrics.h"
#include "queryservice/pages/StatusJson.h"

#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <optional>

namespace utq::queryservice {
namespace {

using protocols::QueryOutcome;
using protocols::QueryTiming;

// How often passed deadlines are looked for: one timer for all searches, not one each.
constexpr int kDeadlineTickMs = 50;
// Less time than this left in a search is not worth asking a further port.
constexpr qint64 kLeastQueryMs = 200;

std::optional<int> numberFrom(const QString& text) {
    bool ok = false;
    const int number = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(number) : std::nullopt;
}

bool isPort(int number) { return number >= 1 && number <= 65535; }

// Letters, digits, hyphens and dots: anything else is no name to look up.
// The first IPv4 address of a look-up's answer; a null address when it has none.
QHostAddress firstIpv4(const QList<QHostAddress>& found) {
    for (const QHostAddress& address : found)
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            return address;
    return {};
}

bool looksLikeHostName(const QString& host) {
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9.-]{0,252})$"));
    return name.match(host).hasMatch();
}

} // namespace

// One server being found: its finding is told once, when it is found, when its deadline
// passes, or when nothing is left to find it (a look-up that dropped it).
class StatusFinder::Search {
public:
    Search(const QHostAddress& client, Done done, std::weak_ptr<StatusFinder*> finder)
        : finder_(std::move(finder)), client_(client), done_(std::move(done)) {
        clock_.start();
    }
    ~Search() { expire(); }

    void expire() {
        if (!told_ && holdsSlot_)
            tell(resolving ? Finding::State::LateLookUp : Finding::State::NoAnswer);
        nameWait.giveUp(); // a look-up that no search waits for any more stops
    }

    Finding finding;
    bool resolving = false; // the server's name is being looked up
    NameLookups::Ticket nameWait;

    void tell(Finding::State state) {
        finding.state = state;
        StatusFinder* finder = this->finder();
        if (told_ || !finder)
            return;
        told_ = true;
        if (holdsSlot_)
            finder->limits_.done(client_);
        finder->count(finding, clock_.elapsed());
        done_(finding);
    }

    QHostAddress client() const { return client_; }
    qint64 elapsedMs() const { return clock_.elapsed(); }
    bool told() const { return told_; }
    // The search counts against the finder's limits, and waits for its deadline, until it is
    // told.
    void holdSlot() { holdsSlot_ = true; }

private:
    StatusFinder* finder() const {
        const auto alive = finder_.lock();
        return alive ? *alive : nullptr;
    }

    std::weak_ptr<StatusFinder*> finder_;
    QHostAddress client_;
    Done done_;
    QElapsedTimer clock_;
    bool told_ = false;
    bool holdsSlot_ = false;
};

StatusFinder::StatusFinder(FindingSettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)),
      limits_(settings_.maxQueriesInFlight, settings_.maxQueriesPerClientPerSecond,
              settings_.maxQueriesPerClient),
      recent_(settings_.reuseMs), names_(settings_.lookups, this), deadlineTick_(this),
      alive_(std::make_shared<StatusFinder*>(this)) {
    clock_.start();
    deadlineTick_.setInterval(kDeadlineTickMs);
    connect(&deadlineTick_, &QTimer::timeout, this, &StatusFinder::passDeadlines);
}

StatusFinder::~StatusFinder() = default;

void StatusFinder::keepLastGood(const QStringList& names) { names_.keepLastGood(names); }

NameLookups::Ticket StatusFinder::lookUpName(const QString& host, qint64 timeMs,
                                             std::function<void(const QHostAddress&)> done) {
    if (settings_.resolve) {
        settings_.resolve(host, this, [done = std::move(done)](const QList<QHostAddress>& found) {
            done(firstIpv4(found));
        });
        return {};
    }
    return names_.lookUp(
        host, {}, timeMs, [done = std::move(done)](const NameLookups::Answer& answer) {
            done(answer.kind == NameLookups::Answer::Kind::Found ? answer.address : QHostAddress());
        });
}

void StatusFinder::count(const Finding& finding, qint64 elapsedMs) {
    if (!metrics_)
        return;
    const QString game = pages::apiName(*finding.game);
    metrics_->queries.add({game, pages::stateName(finding.state)});
    metrics_->queryDuration.observe({game}, static_cast<double>(elapsedMs) / 1000);
    const char* refusal = finding.state == Finding::State::Busy           ? "busy"
                          : finding.state == Finding::State::TooFast      ? "too_fast"
                          : finding.state == Finding::State::ClientBusy   ? "client_busy"
                          : finding.state == Finding::State::NotAskedHere ? "address_policy"
                                                                          : nullptr;
    if (refusal)
        metrics_->refusals.add({QLatin1String(refusal)});
}

void StatusFinder::passDeadlines() {
    // Deadlines are all the same length, so the queue is in their order.
    const qint64 now = clock_.elapsed();
    while (!deadlines_.empty() &&
           (deadlines_.front().first <= now || deadlines_.front().second.expired())) {
        const auto search = deadlines_.front().second.lock();
        deadlines_.pop_front();
        if (search)
            search->expire();
    }
    if (deadlines_.empty())
        deadlineTick_.stop();
}

void StatusFinder::find(const GameDescription& game, const QString& givenHost,
                        const QString& portText, const QString& webPortText,
                        const QHostAddress& client, Done done) {
    // Not make_shared: a deadline's weak pointer would keep the whole search's memory.
    const std::shared_ptr<Search> search(new Search(client, std::move(done), alive_));
    Finding& finding = search->finding;
    finding.game = &game;
    finding.host = givenHost.trimmed();
    finding.portText = portText;
    const QString& host = finding.host;
    const auto given = numberFrom(portText);
    if (!given || !isPort(*given) || !isPort(*given + game.queryPortOffset))
        return search->tell(Finding::State::BadPort);
    finding.port = *given;
    if (host.isEmpty())
        return search->tell(Finding::State::NoHost);
    QHostAddress literal;
    const bool isAddress = literal.setAddress(host);
    if (!isAddress && !looksLikeHostName(host)) // such as the UT2004 preset's "Server Closed"
        return search->tell(Finding::State::UnknownHost);
    const auto webPort = numberFrom(webPortText);
    const quint16 shownWebPort = webPort && isPort(*webPort) ? static_cast<quint16>(*webPort) : 0;

    switch (limits_.admit(client, clock_.elapsed())) {
    case QueryLimits::Verdict::Go:
        break;
    case QueryLimits::Verdict::Busy:
        return search->tell(Finding::State::Busy);
    case QueryLimits::Verdict::TooFast:
        return search->tell(Finding::State::TooFast);
    case QueryLimits::Verdict::ClientBusy:
        return search->tell(Finding::State::ClientBusy);
    }
    search->holdSlot();

    const auto port = static_cast<quint16>(*given + game.queryPortOffset);
    finding.queryPort = port;
    // One deadline for the whole search: a slow name or a slow server frees its slot in time.
    deadlines_.push_back({clock_.elapsed() + settings_.pageDeadlineMs, search});
    if (!deadlineTick_.isActive())
        deadlineTick_.start();
    if (isAddress)
        return ask(search, literal, port, shownWebPort);
    lookUp(search, port, shownWebPort);
}

void StatusFinder::lookUp(const std::shared_ptr<Search>& search, quint16 port, quint16 webPort) {
    search->resolving = true;
    using Kind = NameLookups::Answer::Kind;
    const auto answered = [this, search, port, webPort](const NameLookups::Answer& answer) {
        search->resolving = false;
        if (search->told())
            return;
        switch (answer.kind) {
        case Kind::Found:
            return ask(search, answer.address, port, webPort);
        case Kind::Unknown:
            return search->tell(Finding::State::UnknownHost);
        case Kind::Late:
            return search->tell(Finding::State::LateLookUp);
        case Kind::Busy:
            return search->tell(Finding::State::Busy);
        case Kind::ClientBusy:
            return search->tell(Finding::State::ClientBusy);
        }
    };
    if (settings_.resolve) {
        // The context is this finder: the answer of a look-up that outlives it is dropped.
        return settings_.resolve(
            search->finding.host, this, [answered](const QList<QHostAddress>& found) {
                const QHostAddress address = firstIpv4(found);
                answered({address.isNull() ? Kind::Unknown : Kind::Found, address});
            });
    }
    // The look-up has the time the search has left; a search that gives up lets go of it.
    search->nameWait = names_.lookUp(search->finding.host, search->client(),
                                     settings_.pageDeadlineMs - search->elapsedMs(), answered);
}

bool StatusFinder::mayAsk(const QHostAddress& address) const {
    return settings_.targets.allows(plainAddress(address));
}

void StatusFinder::ask(const std::shared_ptr<Search>& search, const QHostAddress& given,
                       quint16 port, quint16 webPort, quint16 silentPort) {
    const GameDescription& game = *search->finding.game;
    const QHostAddress address = plainAddress(given);
    if (!mayAsk(address))
        return search->tell(Finding::State::NotAskedHere);
    // A silent port is followed by the game's usual query port, once, within the same search.
    const int usual = game.usualQueryPort(port - game.queryPortOffset);
    const bool usualNext = !silentPort && usual != port && isPort(usual);
    // The query ends before the deadline, whatever the name's look-up took, and leaves the
    // usual port as much time as it took itself.
    QueryTiming timing = settings_.timing;
    const qint64 left =
        (settings_.pageDeadlineMs - search->elapsedMs() - 100) / (usualNext ? 2 : 1);
    timing.waitMs = static_cast<int>(std::min<qint64>(
        settings_.timing.waitMs, std::max<qint64>(left / (timing.retries + 1), 50)));

    const QString server =
        QLatin1String(game.name) + u' ' + address.toString() + u' ' + QString::number(port);
    recent_.ask(
        server, clock_.elapsed(),
        [kind = game.kind, address, port, timing] {
            return protocols::queryFor(kind)(address, port, timing);
        },
        [this, search, address, port, webPort, silentPort,
         usual = usualNext ? static_cast<quint16>(usual)
                           : quint16(0)](const RecentAnswers::Answer& answer) {
            const QueryOutcome& outcome = answer.outcome;
            if (outcome.kind == QueryOutcome::Kind::NoAnswer) {
                if (usual && !search->told() &&
                    search->elapsedMs() + kLeastQueryMs < settings_.pageDeadlineMs)
                    return ask(search, address, usual, webPort, port);
                return search->tell(Finding::State::NoAnswer);
            }
            Finding& finding = search->finding;
            finding.queryPort = port;
            finding.status = outcome.status;
            finding.roundTripMs = outcome.roundTripMs;
            finding.askedAt = answer.askedAt;
            if (silentPort)
                finding.note =
                    QStringLiteral("Answered on query port %1 \u2014 use that port next time.")
                        .arg(port);
            if (webPort) {
                QUrl statistics;
                statistics.setScheme(QStringLiteral("http"));
                statistics.setHost(finding.host);
                statistics.setPort(webPort);
                statistics.setPath(QStringLiteral("/"));
                if (statistics.isValid())
                    finding.webStatistics = statistics.toString();
            }
            search->tell(outcome.kind == QueryOutcome::Kind::Partial ? Finding::State::Partial
                                                                     : Finding::State::Up);
        },
        this, [this] { return clock_.elapsed(); });
}

} // namespace utq::queryservice
