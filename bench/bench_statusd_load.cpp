// utquery-statusd as a child process under load: pages per second and page times for a mix of
// the three games' status pages over many keep-alive connections, then a game server that
// floods its answer, then clients that leave before their answer; then what one stranger can
// do within the default limits: a hostile UT2004 server's huge answer, names that never
// resolve, idle connections that fill the service. Any statusd binary can be measured
// (--statusd, --statusd-args, --stranger-args), so an older build gives the figures to compare
// with; --phase runs one part alone.
// Figures only: the goals are printed, nothing fails on them.
#include "StatusdPhases.h"
#include "Summary.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>
#include <optional>
#include <thread>

namespace {

// One client's load: the bounds meant for strangers are lifted, or they would be what is
// measured.
// Its master is a closed port of loopback: the default masters are internet hosts.
constexpr char kDefaultStatusdArguments[] =
    "--per-client 1000000 --max-queries 100000 --queries-per-client 100000 "
    "--connections-per-client 1000 --allow 127.0.0.0/8 --master 127.0.0.1:1";
// A stranger's parts keep the default limits; the fakes are on loopback.
constexpr char kDefaultStrangerArguments[] = "--allow 127.0.0.0/8 --master 127.0.0.1:1";
constexpr char kAllParts[] =
    "mixed,api,flood,huge-head,giving-up,colour-bomb,slow-resolver,lockout";

// The machine's load when the bench starts: other work on it lowers the figures.
QString loadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(file.readLine()).section(u' ', 0, 0);
}

struct NumberOption {
    QCommandLineOption option;
    int least;
    int most;
};

// The option's whole number within its bounds; none, with a message, when it is not.
std::optional<int> numberOf(const QCommandLineParser& parser, const NumberOption& number) {
    bool ok = false;
    const int value = parser.value(number.option).toInt(&ok);
    if (ok && value >= number.least && value <= number.most)
        return value;
    std::fprintf(stderr, "--%s needs a whole number from %d to %d\n",
                 qPrintable(number.option.names().constFirst()), number.least, number.most);
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Load, flood and giving-up clients against utquery-statusd."));
    parser.addHelpOption();
    const auto number = [](const char* name, const char* description, int fallback, int least,
                           int most) {
        return NumberOption{QCommandLineOption(QString::fromLatin1(name),
                                               QString::fromLatin1(description),
                                               QStringLiteral("N"), QString::number(fallback)),
                            least, most};
    };
    const NumberOption seconds =
        number("seconds", "Length of the mixed load (default 60).", 60, 1, 3600);
    const NumberOption connections = number(
        "connections", "Keep-alive connections of the mixed load (default 32).", 32, 1, 1000);
    const NumberOption floodClients = number(
        "flood-clients", "Clients asking for the flooding server's page (default 3).", 3, 1, 50);
    const NumberOption floodSeconds =
        number("flood-seconds", "Longest flood stream, in seconds (default 10).", 10, 1, 60);
    const NumberOption floodRate = number(
        "flood-rate", "Flood datagrams per second and query (default 10000).", 10000, 1, 200000);
    const NumberOption givingUp = number(
        "giving-up-clients", "Clients that leave before their answer (default 200).", 200, 1, 2000);
    const QCommandLineOption statusdPath(QStringLiteral("statusd"),
                                         QStringLiteral("The utquery-statusd to measure."),
                                         QStringLiteral("PATH"), QStringLiteral(UTQ_STATUSD));
    const QCommandLineOption statusdArguments(
        QStringLiteral("statusd-args"),
        QStringLiteral("Its arguments after the listening address (default \"%1\").")
            .arg(QLatin1String(kDefaultStatusdArguments)),
        QStringLiteral("ARGS"), QLatin1String(kDefaultStatusdArguments));
    const QCommandLineOption strangerArguments(
        QStringLiteral("stranger-args"),
        QStringLiteral("Arguments of the colour-bomb, slow-resolver and lockout parts after the "
                       "listening address (default \"%1\").")
            .arg(QLatin1String(kDefaultStrangerArguments)),
        QStringLiteral("ARGS"), QLatin1String(kDefaultStrangerArguments));
    const QCommandLineOption parts(
        QStringLiteral("parts"),
        QStringLiteral("Which parts to run (default %1).").arg(QLatin1String(kAllParts)),
        QStringLiteral("LIST"), QLatin1String(kAllParts));
    const QCommandLineOption phase(QStringLiteral("phase"),
                                   QStringLiteral("Runs only this part (one of --parts)."),
                                   QStringLiteral("NAME"));
    for (const NumberOption* option :
         {&seconds, &connections, &floodClients, &floodSeconds, &floodRate, &givingUp})
        parser.addOption(option->option);
    parser.addOptions({statusdPath, statusdArguments, strangerArguments, parts, phase});
    parser.process(app);

    const auto secondsValue = numberOf(parser, seconds);
    const auto connectionsValue = numberOf(parser, connections);
    const auto floodClientsValue = numberOf(parser, floodClients);
    const auto floodSecondsValue = numberOf(parser, floodSeconds);
    const auto floodRateValue = numberOf(parser, floodRate);
    const auto givingUpValue = numberOf(parser, givingUp);
    if (!secondsValue || !connectionsValue || !floodClientsValue || !floodSecondsValue ||
        !floodRateValue || !givingUpValue)
        return 2;

    bench::StatusdCommand statusd;
    statusd.program = QFileInfo(parser.value(statusdPath)).absoluteFilePath().toStdString();
    for (const QString& argument : QProcess::splitCommand(parser.value(statusdArguments)))
        statusd.arguments.push_back(argument.toStdString());
    bench::StatusdCommand stranger{statusd.program, {}};
    for (const QString& argument : QProcess::splitCommand(parser.value(strangerArguments)))
        stranger.arguments.push_back(argument.toStdString());
    const QStringList chosen = parser.isSet(phase)
                                   ? QStringList{parser.value(phase)}
                                   : parser.value(parts).split(u',', Qt::SkipEmptyParts);
    const QStringList known = QString::fromLatin1(kAllParts).split(u',');
    for (const QString& part : chosen)
        if (!known.contains(part)) {
            std::fprintf(stderr, "--parts and --phase take %s\n", qPrintable(known.join(u',')));
            return 2;
        }

    const char* build = bench::buildKind();
    std::printf("statusd under test: %s\nand for a stranger's parts: %s\nbench build: %s; %u "
                "cores, load average %s at the start\n\n",
                qPrintable(statusd.shown()), qPrintable(stranger.shown()), build,
                std::thread::hardware_concurrency(), qPrintable(loadAverage()));
    std::fflush(stdout);
    bench::summary(QStringLiteral("statusd load bench: binary and arguments"), QStringLiteral("-"),
                   statusd.shown(), bench::Met::NotMeasured);

    QElapsedTimer total;
    total.start();
    if (chosen.contains(QLatin1String("mixed"))) {
        // Every page asks its server, as before answers were reused; then as the service runs.
        bench::StatusdCommand everyPageAsks = statusd;
        everyPageAsks.arguments.insert(everyPageAsks.arguments.end(), {"--reuse-ms", "0"});
        bench::runMixedLoad(everyPageAsks, {*connectionsValue, *secondsValue,
                                            QStringLiteral(" (every page asks)")});
        bench::runMixedLoad(
            statusd, {*connectionsValue, *secondsValue, QStringLiteral(" (answers reused)")});
    }
    if (chosen.contains(QLatin1String("api")))
        bench::runMixedLoad(statusd, {*connectionsValue, *secondsValue, QString(), true});
    if (chosen.contains(QLatin1String("flood")))
        bench::runFlood(statusd, {*floodClientsValue, *floodSecondsValue, *floodRateValue, 25});
    if (chosen.contains(QLatin1String("huge-head")))
        bench::runHugeHead(statusd);
    if (chosen.contains(QLatin1String("giving-up")))
        bench::runGivingUpClients(statusd, *givingUpValue);
    if (chosen.contains(QLatin1String("colour-bomb")))
        bench::runColourBomb(stranger);
    if (chosen.contains(QLatin1String("slow-resolver")))
        bench::runSlowResolverFlood(stranger);
    if (chosen.contains(QLatin1String("lockout")))
        bench::runLockout(stranger);
    std::printf("whole run: %.1f s\n", static_cast<double>(total.elapsed()) / 1000.0);
    return 0;
}
