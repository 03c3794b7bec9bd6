#pragma once

#include "queryservice/Metrics.h"

#include <QByteArray>
#include <QStringList>

// What the status service counts, for /metrics. The parts of the service count into it as
// things happen; what is a level rather than a count is read when scraped.
namespace utq::queryservice {

// The levels and the counts kept elsewhere, read at the scrape.
struct ScrapedFigures {
    int pagesInFlight = 0;
    int queriesInFlight = 0;
    bool historyOn = false;
    qint64 historyWrites = 0;        // batches committed
    qint64 historyWriteFailures = 0; // batches that could not be
    qint64 historySamplesWritten = 0;
    qint64 historySamplesWaiting = 0;
    qint64 historySamplesDropped = 0;
    qint64 residentBytes = -1; // -1: not known
    qint64 openFiles = -1;
};

struct ServiceMetrics {
    CounterFamily requests{"utquery_statusd_requests_total",
                           "HTTP requests answered, by route and status code.",
                           {QStringLiteral("route"), QStringLiteral("code")}};
    CounterFamily refusals{"utquery_statusd_refusals_total",
                           "Requests and connections refused by the service's own rules, by "
                           "reason.",
                           {QStringLiteral("reason")}};
    CounterFamily queries{"utquery_statusd_queries_total",
                          "Game servers' statuses sought, by game and what became of them.",
                          {QStringLiteral("game"), QStringLiteral("state")}};
    HistogramFamily queryDuration{"utquery_statusd_query_duration_seconds",
                                  "Time from asking for a game server's status to its finding.",
                                  {QStringLiteral("game")},
                                  {0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10}};
    CounterFamily listSources{
        "utquery_statusd_list_sources_total",
        "Master lists asked and LAN searches made, by game, source and "
        "outcome.",
        {QStringLiteral("game"), QStringLiteral("source"), QStringLiteral("outcome")}};

    QByteArray exposition(const ScrapedFigures& figures) const;
};

// The content type of the text format.
inline constexpr char kExpositionType[] = "text/plain; version=0.0.4; charset=utf-8";

} // namespace utq::queryservice
