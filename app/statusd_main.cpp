// The status pages as a service of their own, for a clan that hosts them for others.
#include "platform/OpenFileLimit.h"
#include "queryservice/ClanSettings.h"
#include "queryservice/StatusService.h"
#include "queryservice/StatusdOptions.h"

#include <QCoreApplication>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("utquery-statusd"));
    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        std::fputs(utq::kStatusdUsage, stdout);
        return 0;
    }
    QString error;
    const auto options = utq::parseStatusdOptions(arguments, error);
    if (!options) {
        std::fprintf(stderr, "utquery-statusd: %s\n%s", qPrintable(error), utq::kStatusdUsage);
        return 2;
    }

    utq::queryservice::ServiceSettings settings =
        utq::queryservice::clanServiceSettings(utq::Hosts::fromBuild());
    settings.maxQueriesInFlight = options->maxQueriesInFlight;
    settings.maxQueriesPerClientPerSecond = options->maxQueriesPerClientPerSecond;
    settings.maxQueriesPerClient = options->maxQueriesPerClient;
    settings.pageDeadlineMs = options->pageSeconds * 1000;
    settings.reuseMs = options->reuseMs;
    settings.apiForAnyOrigin = true; // clan web sites read the API from their own pages
    // Each connection and each query holds a descriptor; some are kept for the rest.
    const long descriptors = utq::platform::raiseOpenFileLimit();
    const long connectionRoom =
        descriptors - std::min<long>(options->maxQueriesInFlight, descriptors / 2) - 64;
    settings.http = {options->maxHeadBytes, options->idleSeconds * 1000,
                     options->connectionsPerClient,
                     static_cast<int>(std::min<long>(options->maxConnections,
                                                     std::max<long>(connectionRoom, 16)))};
    settings.http.sendMs = options->sendSeconds * 1000;
    // Reachable from elsewhere, the service must not be a way into this machine's networks.
    settings.targets.refuseSpecialPurpose = !options->address.isLoopback();
    settings.targets.allowed = options->allowed;
    settings.log = [](const QString& line) {
        std::fprintf(stdout, "%s\n", qPrintable(line));
        std::fflush(stdout);
    };
    utq::queryservice::StatusService service(settings);
    if (service.listen(options->address, options->port) == 0) {
        std::fprintf(stderr,
                     "utquery-statusd: cannot listen on %s:%u (in use, or not this "
                     "machine's address?)\n",
                     qPrintable(options->address.toString()), options->port);
        return 1;
    }
    std::fprintf(stdout, "utquery-statusd: serving on %s:%u%s\n",
                 qPrintable(options->address.toString()), service.port(),
                 settings.targets.refuseSpecialPurpose
                     ? "; local, private and special addresses are not asked unless allowed"
                     : "");
    std::fflush(stdout);
    return QCoreApplication::exec();
}
