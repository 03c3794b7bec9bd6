#pragma once

// The phases of the history bench. Each prints its own lines and summary rows, SQLite and
// PostgreSQL side by side.
#include <string>

namespace bench {

class HistoryBackends;

// utquery-statusd watching 1,000 fake UT99 servers: its CPU share and peak memory over two
// rounds after the first; and a round's 1,000 samples written by the store itself.
void runRecording(HistoryBackends& backends, const std::string& statusd);
// A year of one server's samples: its history page and API answer over 30 days and a year.
void runHistoryPages(HistoryBackends& backends, const std::string& statusd);
// The UT99 start page with 22 servers, with their small charts and without.
void runStartPageRender();
// `servers` sampled for a simulated year and pruned each day: the database's size, told for
// 100 servers; `fullYear`: every 60 s all year rather than only the last 14 days.
void runSimulatedYear(HistoryBackends& backends, int servers, bool fullYear);

} // namespace bench
