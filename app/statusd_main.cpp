// The status pages as a service of their own, for a clan that hosts them for others.
#include "app/BuiltInStatusService.h"
#include "app/StatusdOptions.h"
#include "queryservice/StatusService.h"

#include <QCoreApplication>
#include <QTextStream>

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
        utq::builtInServiceSettings(utq::Hosts::fromBuild());
    settings.maxQueriesInFlight = options->maxQueriesInFlight;
    settings.maxQueriesPerClientPerSecond = options->maxQueriesPerClientPerSecond;
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
    std::fprintf(stdout, "utquery-statusd: serving on %s:%u\n",
                 qPrintable(options->address.toString()), service.port());
    std::fflush(stdout);
    return QCoreApplication::exec();
}
