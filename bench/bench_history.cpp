// The watched servers' history, SQLite and PostgreSQL side by side: utquery-statusd recording
// 1,000 servers, a round's write, a year of one server's page and API answer, the start page's
// small charts, and the database of 100 servers after a simulated year.
//   bench_history [--phase recording|pages|start|year] [--year-servers N] [--full-year]
// The simulated year has 10 servers unless told (100 take some ten minutes); --full-year
// samples every 60 s all the year (52.6 million samples for 100 servers; slow).
// It runs in a network namespace of its own, PostgreSQL and utquery-statusd with it: statusd
// also watches the clan's servers of the build, whose names it would otherwise ask the
// machine's name server for.
#include "BenchNamespace.h"
#include "HistoryBackends.h"
#include "HistoryPhases.h"
#include "Summary.h"

#include "platform/OpenFileLimit.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <cstdio>

int main(int argc, char** argv) {
    // Before any thread or child: all of them live in the namespace too.
    bench::BenchNamespace place;
    if (!place.isReady() || !place.enterOnThisThread()) {
        std::printf("no network namespace of its own (%s): nothing measured\n",
                    place.whyNot().c_str());
        bench::summary(QStringLiteral("history bench"), QStringLiteral("-"),
                       QStringLiteral("no network namespace: not run"), bench::Met::No);
        return 1;
    }
    const long descriptors = utq::platform::raiseOpenFileLimit();
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    const qsizetype phaseAt = arguments.indexOf(QStringLiteral("--phase"));
    const QString only = phaseAt >= 0 ? arguments.value(phaseAt + 1) : QString();
    const auto wanted = [&only](const char* phase) {
        return only.isEmpty() || only == QLatin1String(phase);
    };
    const qsizetype serversAt = arguments.indexOf(QStringLiteral("--year-servers"));
    const int yearServers = serversAt >= 0 ? arguments.value(serversAt + 1).toInt() : 10;
    std::printf("bench build: %s; open-file limit %ld; in network namespace %s\n",
                bench::buildKind(), descriptors, place.name().c_str());

    QElapsedTimer clock;
    clock.start();
    bench::HistoryBackends backends;
    QString error;
    if (backends.startPostgres(error))
        std::printf("PostgreSQL on 127.0.0.1, started in %.1f s\n", clock.elapsed() / 1000.0);
    else
        std::printf("PostgreSQL did not start, SQLite only: %s\n", qPrintable(error));
    std::fflush(stdout);

    if (wanted("recording"))
        bench::runRecording(backends, UTQ_STATUSD);
    if (wanted("pages"))
        bench::runHistoryPages(backends, UTQ_STATUSD);
    if (wanted("start"))
        bench::runStartPageRender();
    if (wanted("year"))
        bench::runSimulatedYear(backends, std::clamp(yearServers, 1, 100),
                                arguments.contains(QStringLiteral("--full-year")));
    std::printf("\nthe whole run took %.0f s\n", clock.elapsed() / 1000.0);
    return 0;
}
