#include "queryservice/ServiceMetrics.h"

namespace utq::queryservice {

QByteArray ServiceMetrics::exposition(const ScrapedFigures& figures) const {
    QByteArray out;
    requests.write(out);
    refusals.write(out);
    queries.write(out);
    queryDuration.write(out);
    listSources.write(out);
    writeGauge(out, "utquery_statusd_pages_in_flight",
               "Requests waiting for their answer (status pages and API answers).",
               figures.pagesInFlight);
    writeGauge(out, "utquery_statusd_queries_in_flight", "Game servers being asked now.",
               figures.queriesInFlight);
    if (figures.historyOn) {
        writeCounter(out, "utquery_statusd_history_writes_total",
                     "Batches of samples committed to the history.", figures.historyWrites);
        writeCounter(out, "utquery_statusd_history_write_failures_total",
                     "Batches of samples the history could not commit (kept for the next try).",
                     figures.historyWriteFailures);
        writeCounter(out, "utquery_statusd_history_samples_written_total",
                     "Samples committed to the history.", figures.historySamplesWritten);
        writeCounter(out, "utquery_statusd_history_samples_dropped_total",
                     "Samples lost while the history could not be written.",
                     figures.historySamplesDropped);
        writeGauge(out, "utquery_statusd_history_samples_waiting", "Samples waiting to be written.",
                   figures.historySamplesWaiting);
    }
    // The names every Prometheus client library gives a process' figures.
    if (figures.residentBytes >= 0)
        writeGauge(out, "process_resident_memory_bytes", "Resident memory size in bytes.",
                   static_cast<double>(figures.residentBytes));
    if (figures.openFiles >= 0)
        writeGauge(out, "process_open_fds", "Number of open file descriptors.",
                   static_cast<double>(figures.openFiles));
    return out;
}

} // namespace utq::queryservice
