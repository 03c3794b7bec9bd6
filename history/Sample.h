#pragma once

#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What the history keeps of a watched server: one sample each time it was asked, and a summary
// of each hour, which outlives the samples.
namespace utq::history {

// A watched server, as its pages name it.
struct ServerKey {
    QString game; // the API's name: "ut99", "ut2004", "ut3"
    QString host; // as given, in lower case
    int port = 0; // the port its status page takes

    // "ut99/host:port", for logs and maps.
    QString text() const;
    friend bool operator==(const ServerKey&, const ServerKey&) = default;
};
size_t qHash(const ServerKey& key, size_t seed = 0);

// What one asking found.
struct Sample {
    ServerKey server;
    qint64 timeMs = 0; // UTC, milliseconds since 1970
    QString state;     // the API's word: "up", "partial", "no-answer", "unknown-host", ...
    std::optional<int> players;
    std::optional<int> maxPlayers;
    QString map;
    qint64 roundTripMs = -1;
    int spanSeconds = 60; // how long this sample stands for: the time until the next asking
};

// Whether a sample's state is a server that answered.
bool isUp(const QString& state);
// The states that count as up, for queries that decide it in SQL.
const QStringList& upStates();

// One hour of one server, from its samples.
struct HourSummary {
    qint64 hourMs = 0; // UTC, the hour's start
    int samples = 0;
    int upSamples = 0;
    double playersMean = 0; // over the samples it was up; 0 when it never was
    int playersPeak = 0;
};

struct MapTime {
    QString map;
    qint64 seconds = 0;
};

// A range of one server's history, as pages and the API show it.
struct Series {
    QList<Sample> samples;    // raw samples, oldest first (ranges of a day)
    QList<HourSummary> hours; // hourly summaries, oldest first (longer ranges, and the summary)
    QList<MapTime> maps;      // the maps played in the range, longest first
};

// Each watched server's last day in buckets, for the pages' small charts.
struct Bucket {
    qint64 startMs = 0;
    int playersPeak = 0;
    bool up = false;
};

} // namespace utq::history
