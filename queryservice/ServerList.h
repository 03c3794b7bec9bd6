#pragma once

#include "base/GameKind.h"
#include "protocols/LanSearch.h"
#include "protocols/MasterQuery.h"
#include "queryservice/MasterSettings.h"
#include "queryservice/NameLookups.h"
#include "queryservice/PacedAsking.h"
#include "queryservice/pages/ListView.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>

#include <memory>
#include <vector>

// One game's list of every server its sources know: the masters' lists (UT99) and the servers
// that answered a search of the local networks, merged, each server asked for its status at a
// pace, the rows filling as answers come. A refresh asks the sources again; the rows they no
// longer list go once it has ended, and the others keep what they last said until asked again.
namespace utq::queryservice {

class StatusFinder;
struct ServiceMetrics;

// However many the masters list together, a list keeps at most this many servers.
inline constexpr int kMaxListedServers = 20000;

struct ServerListSettings {
    QList<MasterAddress> masters;                    // UT99 only
    QStringList malformedMasters;                    // named on the page
    bool searchLan = false;                          // UT99 and UT3 only
    int masterTimeMs = protocols::kMasterDeadlineMs; // a master's connection to its last byte
    int lanTimeMs = protocols::kLanSearchMs;         // a LAN search gathers answers this long
    PaceLimits pace;
};

class ServerList : public QObject {
public:
    ServerList(GameKind game, ServerListSettings settings, StatusFinder& finder,
               QObject* parent = nullptr);
    ~ServerList() override;

    // Asks every source again, unless they are being asked.
    void refresh();
    // Searches the local networks again, unless that is under way (UT99 and UT3).
    void searchLan();
    bool sourcesBusy() const;
    // Milliseconds since the last refresh started; -1 before the first.
    qint64 sinceRefreshMs() const;

    pages::ListView view() const;
    // The most servers asked at once, and within a second, so far: for the bench.
    const PacedAsking& pacing() const { return asking_; }
    // Each master's and LAN search's outcome is counted in `metrics`, which outlives the list.
    void countInto(ServiceMetrics* metrics) { metrics_ = metrics; }

private:
    struct Row {
        pages::ListRow shown;
        QHostAddress address;
        bool listedNow = false; // by a source of the refresh under way
        bool queued = false;
    };
    struct MasterState;

    // Adds servers `source` lists; those already known gain the source.
    void addListed(const QString& source, const QList<QPair<QHostAddress, quint16>>& servers);
    void sourceEnded();
    void askRow(const QString& key);
    void startMaster(MasterState& master);
    void countSource(const char* source, const QString& outcome);

    GameKind game_;
    ServerListSettings settings_;
    StatusFinder& finder_;
    PacedAsking asking_; // a child, so that it moves to the list's thread with it
    std::vector<std::unique_ptr<MasterState>> masters_;
    pages::ListSource lan_;
    bool lanBusy_ = false;
    int sourcesAsking_ = 0;
    QList<Row> rows_;
    QHash<QString, qsizetype> rowOf_; // "a.b.c.d:port"
    QHash<quint32, int> portsOf_;     // ports listed of each address
    QElapsedTimer sinceRefresh_;
    std::shared_ptr<ServerList*> alive_;
    ServiceMetrics* metrics_ = nullptr;
};

} // namespace utq::queryservice
