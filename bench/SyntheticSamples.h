#pragma once

// Lifelike samples for the history bench: players rise in the evening and fall at night, the
// map changes every twenty minutes, and now and then a server does not answer. The same
// server and time always give the same sample.
#include "history/Sample.h"

#include <QList>

namespace bench {

namespace history = utq::history;

history::ServerKey benchServer(int index);
history::Sample syntheticSample(const history::ServerKey& server, int serverIndex, qint64 timeMs,
                                int spanSeconds);

// Median and worst of a few measured values.
struct Spread {
    double median = 0;
    double worst = 0;
};
Spread spreadOf(QList<double> values);

} // namespace bench
