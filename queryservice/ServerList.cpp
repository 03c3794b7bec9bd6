#include "queryservice/ServerList.h"

#include "base/Games.h"
#include "protocols/LanSearch.h"
#include "protocols/MasterQuery.h"
#include "queryservice/ServiceMetrics.h"
#include "queryservice/StatusFinder.h"
#include "queryservice/pages/StatusJson.h"

#include <QLocale>

namespace utq::queryservice {
namespace {

using protocols::MasterOutcome;

// The ports listed of one address, across every source, as within one master's list: a
// source that lists thousands of ports of one machine would make every user's program ask it.
constexpr int kMostPortsPerAddress = protocols::MasterListReader::kMostPortsPerAddress;

QString keyOf(const QHostAddress& address, quint16 port) {
    return address.toString() + u':' + QString::number(port);
}

QString masterState(MasterOutcome::Kind kind) {
    switch (kind) {
    case MasterOutcome::Kind::Listed:
        return QStringLiteral("listed");
    case MasterOutcome::Kind::Refused:
        return QStringLiteral("refused");
    case MasterOutcome::Kind::NoAnswer:
        return QStringLiteral("no-answer");
    case MasterOutcome::Kind::TooSlow:
        return QStringLiteral("too-slow");
    case MasterOutcome::Kind::Garbage:
        return QStringLiteral("garbage");
    case MasterOutcome::Kind::WrongChallenge:
        return QStringLiteral("wrong-challenge");
    case MasterOutcome::Kind::ValidateRefused:
        return QStringLiteral("validate-refused");
    case MasterOutcome::Kind::TooLarge:
        return QStringLiteral("too-large");
    }
    return QStringLiteral("failed"); // not reached: the switch names every kind
}

std::optional<protocols::LanGame> lanGameOf(GameKind game) {
    switch (game) {
    case GameKind::UT99:
        return protocols::LanGame::UT99;
    case GameKind::UT3:
        return protocols::LanGame::UT3;
    case GameKind::UT2004:
        return std::nullopt; // its LAN question is not known
    }
    return std::nullopt;
}

} // namespace

struct ServerList::MasterState {
    MasterAddress address;
    pages::ListSource shown;
    NameLookups::Ticket lookup;
    std::unique_ptr<protocols::MasterQuery> query;
};

ServerList::ServerList(GameKind game, ServerListSettings settings, StatusFinder& finder,
                       QObject* parent)
    : QObject(parent), game_(game), settings_(std::move(settings)), finder_(finder),
      asking_(settings_.pace, this), alive_(std::make_shared<ServerList*>(this)) {
    if (game_ != GameKind::UT99)
        settings_.masters.clear(); // only UT99's internet list is asked here
    for (const MasterAddress& address : settings_.masters) {
        auto master = std::make_unique<MasterState>();
        master->address = address;
        master->shown = {address.text(), QStringLiteral("waiting"), 0,
                         QStringLiteral("not asked yet")};
        masters_.push_back(std::move(master));
    }
    if (!lanGameOf(game_))
        lan_ = {QStringLiteral("LAN"), QStringLiteral("unavailable"), 0,
                QStringLiteral("not available for ") + QLatin1String(describe(game_).name)};
    else if (!settings_.searchLan)
        lan_ = {QStringLiteral("LAN"), QStringLiteral("off"), 0, QStringLiteral("not searched")};
    else
        lan_ = {QStringLiteral("LAN"), QStringLiteral("waiting"), 0,
                QStringLiteral("not searched yet")};
}

ServerList::~ServerList() = default;

bool ServerList::sourcesBusy() const { return sourcesAsking_ > 0; }

qint64 ServerList::sinceRefreshMs() const {
    return sinceRefresh_.isValid() ? sinceRefresh_.elapsed() : -1;
}

void ServerList::refresh() {
    if (sourcesAsking_ > 0)
        return;
    sinceRefresh_.start();
    for (Row& row : rows_)
        row.listedNow = false;
    for (const auto& master : masters_)
        startMaster(*master);
    searchLan();
    if (sourcesAsking_ == 0) // nothing to ask: the rows are what they are
        sourceEnded();
}

void ServerList::startMaster(MasterState& master) {
    ++sourcesAsking_;
    master.shown.state = QStringLiteral("asking");
    master.shown.text = QStringLiteral("asking\u2026");
    const auto connectTo = [this, &master](const QHostAddress& address) {
        master.lookup = {};
        if (address.isNull()) {
            master.shown.state = QStringLiteral("unknown-host");
            master.shown.text = QStringLiteral("unknown name");
            countSource("master", master.shown.state);
            return sourceEnded();
        }
        master.query = std::make_unique<protocols::MasterQuery>(address, master.address.port,
                                                                settings_.masterTimeMs);
        connect(master.query.get(), &protocols::MasterQuery::finished, this, [this, &master] {
            const MasterOutcome& outcome = master.query->outcome();
            master.shown.state = masterState(outcome.kind);
            master.shown.listed = static_cast<int>(outcome.servers.size());
            master.shown.text = outcome.text();
            countSource("master", master.shown.state);
            QList<QPair<QHostAddress, quint16>> servers;
            servers.reserve(outcome.servers.size());
            for (const auto& server : outcome.servers)
                servers.append({server.address, server.queryPort});
            addListed(master.address.text(), servers);
            master.query.release()->deleteLater(); // it is inside its own signal
            sourceEnded();
        });
        master.query->start();
    };
    const QHostAddress literal(master.address.host);
    if (!literal.isNull())
        return connectTo(literal);
    master.lookup = finder_.lookUpName(master.address.host, settings_.masterTimeMs, connectTo);
}

void ServerList::countSource(const char* source, const QString& outcome) {
    if (metrics_)
        metrics_->listSources.add(
            {pages::apiName(describe(game_)), QLatin1String(source), outcome});
}

void ServerList::searchLan() {
    const auto game = lanGameOf(game_);
    if (!game || !settings_.searchLan || lanBusy_)
        return;
    lanBusy_ = true;
    ++sourcesAsking_;
    lan_.state = QStringLiteral("asking");
    lan_.text = QStringLiteral("searching\u2026");
    protocols::searchLan(*game, settings_.lanTimeMs)
        // Not then(this, …): Qt 6.4 asserts when that context is gone before the search ends.
        .then([this, alive = std::weak_ptr<ServerList*>(alive_)](
                  const protocols::LanSearchResult& result) {
            if (alive.expired())
                return;
            lanBusy_ = false;
            lan_.state = result.state == protocols::LanSearchResult::State::Searched
                             ? QStringLiteral("searched")
                         : result.state == protocols::LanSearchResult::State::NoNetwork
                             ? QStringLiteral("no-network")
                             : QStringLiteral("failed");
            lan_.listed = static_cast<int>(result.servers.size());
            countSource("lan", lan_.state);
            lan_.text = result.summary().mid(QStringLiteral("LAN: ").size());
            // A UT3 server's beacon gives its game port; its status is asked on the game's
            // usual query port, and until it answers (a LAN match never does) the row shows
            // what the beacon said. The questions start on the pace's next tick, after this.
            const auto portOf = [this](const protocols::LanServer& server) {
                return server.beacon ? static_cast<quint16>(describe(game_).usualQueryPort(0))
                                     : server.queryPort;
            };
            QList<QPair<QHostAddress, quint16>> servers;
            for (const protocols::LanServer& server : result.servers)
                servers.append({server.address, portOf(server)});
            addListed(QStringLiteral("LAN"), servers);
            for (const protocols::LanServer& server : result.servers) {
                const auto found = rowOf_.constFind(keyOf(server.address, portOf(server)));
                if (!server.beacon || found == rowOf_.cend())
                    continue;
                pages::ListRow& shown = rows_[found.value()].shown;
                shown.state = QStringLiteral("up");
                shown.name = server.beacon->ownerName;
                shown.map = server.beacon->map;
                shown.gameType = server.beacon->gameMode.isEmpty() ? server.beacon->gameType
                                                                   : server.beacon->gameMode;
                shown.playersNow = server.beacon->players;
                shown.playersMax = server.beacon->maxPlayers;
            }
            sourceEnded();
        });
}

void ServerList::addListed(const QString& source,
                           const QList<QPair<QHostAddress, quint16>>& servers) {
    // Asked once a refresh: a row another source of this refresh listed already is not
    // asked again, nor is a row a search of the LAN alone finds again.
    QList<qsizetype> toAsk;
    for (const auto& [address, port] : servers) {
        const QString key = keyOf(address, port);
        if (const auto found = rowOf_.constFind(key); found != rowOf_.cend()) {
            Row& row = rows_[found.value()];
            if (!row.listedNow)
                toAsk.append(found.value());
            row.listedNow = true;
            if (!row.shown.sources.contains(source))
                row.shown.sources.append(source);
            continue;
        }
        int& ports = portsOf_[address.toIPv4Address()];
        if (ports >= kMostPortsPerAddress || rows_.size() >= kMaxListedServers)
            continue;
        ++ports;
        Row row;
        row.address = address;
        row.listedNow = true;
        row.shown.host = address.toString();
        row.shown.queryPort = port;
        row.shown.sources = {source};
        rowOf_.insert(key, rows_.size());
        toAsk.append(rows_.size());
        rows_.append(row);
    }
    for (const qsizetype index : toAsk) {
        Row& row = rows_[index];
        if (row.queued)
            continue;
        // Refused at once: no query goes out, so it takes no turn of the pace.
        if (!finder_.mayAsk(row.address)) {
            row.shown.state = pages::stateName(Finding::State::NotAskedHere);
            continue;
        }
        row.queued = true;
        askRow(keyOf(row.address, static_cast<quint16>(row.shown.queryPort)));
    }
}

void ServerList::askRow(const QString& key) {
    asking_.add([this, key,
                 alive = std::weak_ptr<ServerList*>(alive_)](std::function<void()> done) {
        if (alive.expired() || !rowOf_.contains(key))
            return done();
        const pages::ListRow& shown = rows_[rowOf_.value(key)].shown;
        const GameDescription& game = describe(game_);
        finder_.find(game, shown.host, QString::number(shown.queryPort - game.queryPortOffset), {},
                     {}, [this, key, alive, done](const Finding& finding) {
                         done();
                         if (alive.expired() || !rowOf_.contains(key))
                             return;
                         Row& row = rows_[rowOf_.value(key)];
                         row.queued = false;
                         pages::ListRow& shown = row.shown;
                         const bool up = finding.state == Finding::State::Up ||
                                         finding.state == Finding::State::Partial;
                         if (!up && shown.state == QLatin1String("up") && !shown.name.isEmpty() &&
                             shown.sources.contains(QStringLiteral("LAN")))
                             return; // a LAN match answers its beacon only: that stands
                         shown.state = pages::stateName(finding.state);
                         if (!up)
                             return;
                         shown.name = finding.status.name;
                         shown.map = finding.status.mapTitle.isEmpty() ? finding.status.map
                                                                       : finding.status.mapTitle;
                         shown.gameType = finding.status.gameType;
                         shown.playersNow = finding.status.players;
                         shown.playersMax = finding.status.maxPlayers;
                         shown.roundTripMs = finding.roundTripMs;
                         shown.gamePort = finding.status.gamePort;
                     });
    });
}

void ServerList::sourceEnded() {
    if (sourcesAsking_ > 0)
        --sourcesAsking_;
    if (sourcesAsking_ > 0)
        return;
    // Every source has ended: servers none of them listed this time go.
    QList<Row> kept;
    rowOf_.clear();
    portsOf_.clear();
    for (Row& row : rows_) {
        if (!row.listedNow)
            continue;
        rowOf_.insert(keyOf(row.address, static_cast<quint16>(row.shown.queryPort)), kept.size());
        ++portsOf_[row.address.toIPv4Address()];
        kept.append(std::move(row));
    }
    rows_ = std::move(kept);
}

pages::ListView ServerList::view() const {
    pages::ListView view;
    view.game = &describe(game_);
    for (const auto& master : masters_)
        view.masters.append(master->shown);
    view.lan = lan_;
    view.malformedMasters = settings_.malformedMasters;
    view.rows.reserve(rows_.size());
    bool waiting = false;
    for (const Row& row : rows_) {
        view.rows.append(row.shown);
        waiting = waiting || row.queued;
    }
    view.complete = sourcesAsking_ == 0 && !waiting && sinceRefresh_.isValid();
    return view;
}

} // namespace utq::queryservice
