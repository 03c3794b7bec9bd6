// The status pages as a service of their own, for a clan that hosts them for others.
#include "BuildSettings.h"
#include "history/PostgresTarget.h"
#include "platform/OpenFileLimit.h"
#include "platform/OwnAddresses.h"
#include "platform/StopSignals.h"
#include "protocols/UdpQuery.h"
#include "queryservice/ClanSettings.h"
#include "queryservice/StatusService.h"
#include "queryservice/StatusdOptions.h"

#include <QCoreApplication>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <utility>

namespace {

// In the pages under way when asked to stop, and in the whole stop, which systemd bounds too.
constexpr int kStopGraceMs = 3000;

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("utquery-statusd"));
    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        std::fputs(utq::kStatusdUsage, stdout);
        return 0;
    }
    if (arguments.contains(QLatin1String("--version"))) {
        std::printf("utquery-statusd %s\n", utq::build::kVersion);
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
    settings.lookups.inFlight = options->maxLookups;
    settings.lookups.perClient = options->lookupsPerClient;
    settings.apiForAnyOrigin = true; // clan web sites read the API from their own pages
    // Lists are asked on the service's own timer; a request only reads what it found.
    settings.lists.masters = options->masters;
    settings.lists.searchLan = options->lan;
    settings.listSeconds = options->listSeconds;
    // The clan's servers and --watch's are watched, and their history kept, when it has a home.
    settings.history.target.text = options->history;
    settings.history.watch = options->watch;
    settings.history.sampleSeconds = options->sampleSeconds;
    // Each connection and each query holds a descriptor; some are kept for the rest.
    const long descriptors = utq::platform::raiseOpenFileLimit();
    const long connectionRoom =
        descriptors - std::min<long>(options->maxQueriesInFlight, descriptors / 2) - 64;
    settings.http.maxHeadBytes = options->maxHeadBytes;
    settings.http.idleMs = options->idleSeconds * 1000;
    settings.http.connectionsPerClient = options->connectionsPerClient;
    settings.http.maxConnections = static_cast<int>(
        std::min<long>(options->maxConnections, std::max<long>(connectionRoom, 16)));
    settings.http.sendMs = options->sendSeconds * 1000;
    settings.http.unboundedPeers = options->trustedProxies;
    settings.trustedProxies = options->trustedProxies;
    // Wherever it listens, any web page in a browser on this machine or the network can make
    // the service ask: it is no way into this machine or the networks behind it.
    const utq::platform::OwnAddresses ownAddresses;
    settings.targets.refuseSpecialPurpose = true;
    settings.targets.allowed = options->allowed;
    settings.targets.isOwnAddress = [&ownAddresses](const QHostAddress& address) {
        return ownAddresses.contains(address);
    };
    // On loopback, a name other than loopback's is a web page that turned its name to us.
    using Serve = utq::queryservice::HostNames::Serve;
    settings.hostNames.names = options->serverNames;
    settings.hostNames.serve = !options->serverNames.isEmpty() ? Serve::Listed
                               : options->address.isLoopback() ? Serve::LoopbackNames
                                                               : Serve::Any;
    if (!options->metricsFrom.isEmpty())
        settings.metricsFrom = options->metricsFrom;
    // Under systemd, standard output goes to the journal, which stamps each line itself.
    settings.logStyle.json = options->jsonLog;
    settings.logStyle.textTimeStamps = qEnvironmentVariableIsEmpty("JOURNAL_STREAM");
    settings.log = [](const QString& line) {
        std::fprintf(stdout, "%s\n", qPrintable(line));
        std::fflush(stdout);
    };
    const auto say = [style = settings.logStyle, log = settings.log](const QString& message) {
        log(utq::queryservice::messageLine(message, style));
    };
    settings.history.log = say;
    auto owned = std::make_unique<utq::queryservice::StatusService>(settings);
    utq::queryservice::StatusService& service = *owned;
    if (service.listen(options->address, options->port) == 0) {
        std::fprintf(stderr,
                     "utquery-statusd: cannot listen on %s:%u (in use, or not this "
                     "machine's address?)\n",
                     qPrintable(options->address.toString()), options->port);
        return 1;
    }
    say(QStringLiteral("utquery-statusd %1: serving on %2:%3; local, private, special and this "
                       "machine's own addresses are not asked unless allowed")
            .arg(QLatin1String(utq::build::kVersion), options->address.toString())
            .arg(service.port()));
    if (!options->history.isEmpty())
        say(QStringLiteral("utquery-statusd: watching %1 servers every %2 s, their history in %3")
                .arg(service.history().watcher()->servers().size())
                .arg(options->sampleSeconds)
                .arg(utq::history::withoutPassword(options->history)));
    if (!ownAddresses.followsChanges())
        std::fprintf(stderr, "utquery-statusd: this machine's addresses are read once only; "
                             "ones it gets later are not refused\n");
    // Asked to stop, it ends what is under way; asked again, it does not wait for that. The
    // history's last samples are written when the service goes, after the event loop.
    bool stopping = false;
    const utq::platform::StopSignals stopSignals([&](const char* signal) {
        if (std::exchange(stopping, true)) {
            say(QStringLiteral("utquery-statusd: %1 again: stopping now")
                    .arg(QLatin1String(signal)));
            return QCoreApplication::exit(0);
        }
        say(QStringLiteral("utquery-statusd: %1: stopping").arg(QLatin1String(signal)));
        service.stop(kStopGraceMs, [] { QCoreApplication::exit(0); });
    });
    const int status = QCoreApplication::exec();
    owned.reset();
    utq::protocols::dropRunningQueries(); // servers that never answered: nobody waits for them
    say(QStringLiteral("utquery-statusd: stopped"));
    return status;
}
