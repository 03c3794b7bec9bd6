#include "queryservice/StatusdOptions.h"

#include "queryservice/HostNames.h"
#include "queryservice/pages/StatusJson.h"

#include <algorithm>

namespace utq {
namespace {

std::optional<int> wholeNumber(const QString& text, int least) {
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= least ? std::optional<int>(value) : std::nullopt;
}

bool readListenAt(const QString& text, StatusdOptions& options) {
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return false;
    QString host = text.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    const auto port = wholeNumber(text.mid(colon + 1), 1);
    if (!port || *port > 65535 || !options.address.setAddress(host))
        return false;
    options.port = static_cast<quint16>(*port);
    return true;
}

struct NumberOption {
    const char* name;
    int StatusdOptions::*field;
    int least;
    int most;
};

constexpr NumberOption kNumberOptions[] = {
    {"--max-queries", &StatusdOptions::maxQueriesInFlight, 1, 1000000},
    {"--per-client", &StatusdOptions::maxQueriesPerClientPerSecond, 1, 1000000000},
    {"--queries-per-client", &StatusdOptions::maxQueriesPerClient, 1, 1000000},
    {"--connections-per-client", &StatusdOptions::connectionsPerClient, 1, 1000000},
    {"--max-connections", &StatusdOptions::maxConnections, 1, 1000000},
    {"--idle-seconds", &StatusdOptions::idleSeconds, 1, 3600},
    {"--send-seconds", &StatusdOptions::sendSeconds, 1, 3600},
    {"--max-head", &StatusdOptions::maxHeadBytes, 1024, 1024 * 1024},
    {"--page-seconds", &StatusdOptions::pageSeconds, 1, 60},
    {"--reuse-ms", &StatusdOptions::reuseMs, 0, 60000},
    {"--max-lookups", &StatusdOptions::maxLookups, 1, 100000},
    {"--lookups-per-client", &StatusdOptions::lookupsPerClient, 1, 100000},
    {"--list-seconds", &StatusdOptions::listSeconds, 60, 86400},
    {"--sample-seconds", &StatusdOptions::sampleSeconds, 1, 86400},
};

// "ut99:host:port"; an IPv6 host in brackets.
std::optional<queryservice::WatchedServer> watchedServer(const QString& text) {
    const qsizetype gameEnd = text.indexOf(u':');
    const qsizetype portStart = text.lastIndexOf(u':');
    if (gameEnd < 0 || portStart <= gameEnd + 1)
        return std::nullopt;
    const GameDescription* game = queryservice::pages::gameOfApiName(text.left(gameEnd));
    QString host = text.mid(gameEnd + 1, portStart - gameEnd - 1);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    bool isNumber = false;
    const int port = text.mid(portStart + 1).toInt(&isNumber);
    if (!game || host.isEmpty() || host.size() > 255 || !isNumber || port < 1 || port > 65535)
        return std::nullopt;
    return queryservice::WatchedServer{game, host, QString::number(port)};
}

} // namespace

std::optional<StatusdOptions> parseStatusdOptions(const QStringList& arguments, QString& error) {
    StatusdOptions options;
    bool listenGiven = false;
    bool mastersGiven = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const auto number = std::find_if(std::begin(kNumberOptions), std::end(kNumberOptions),
                                         [&argument](const NumberOption& option) {
                                             return argument == QLatin1String(option.name);
                                         });
        if (number != std::end(kNumberOptions)) {
            const auto value = i + 1 < arguments.size() ? wholeNumber(arguments[++i], number->least)
                                                        : std::nullopt;
            if (!value || *value > number->most) {
                error = number->least > 0 ? QStringLiteral("%1 needs a whole number from %2 to %3.")
                                                .arg(argument)
                                                .arg(number->least)
                                                .arg(number->most)
                                          : QStringLiteral("%1 needs a whole number from 0 to %2.")
                                                .arg(argument)
                                                .arg(number->most);
                return std::nullopt;
            }
            options.*(number->field) = *value;
        } else if (argument == QLatin1String("--allow") ||
                   argument == QLatin1String("--trusted-proxy") ||
                   argument == QLatin1String("--metrics-from")) {
            const auto range =
                i + 1 < arguments.size() ? parseSubnet(arguments[++i]) : std::nullopt;
            if (!range) {
                error = QStringLiteral("%1 needs an address range, such as 127.0.0.1/32 or "
                                       "192.168.0.0/16.")
                            .arg(argument);
                return std::nullopt;
            }
            (argument == QLatin1String("--allow")          ? options.allowed
             : argument == QLatin1String("--metrics-from") ? options.metricsFrom
                                                           : options.trustedProxies)
                .append(*range);
        } else if (argument == QLatin1String("--server-name")) {
            const auto name =
                i + 1 < arguments.size() ? queryservice::serverName(arguments[++i]) : std::nullopt;
            if (!name) {
                error = QStringLiteral("--server-name needs a host name or address without a "
                                       "port, such as status.myclan.org.");
                return std::nullopt;
            }
            options.serverNames.append(*name);
        } else if (argument == QLatin1String("--master")) {
            const auto master = i + 1 < arguments.size()
                                    ? queryservice::parseMasterAddress(arguments[++i])
                                    : std::nullopt;
            if (!master) {
                error = QStringLiteral("--master needs HOST:PORT, such as "
                                       "master.333networks.com:28900.");
                return std::nullopt;
            }
            if (!mastersGiven)
                options.masters.clear();
            mastersGiven = true;
            if (!options.masters.contains(*master))
                options.masters.append(*master);
        } else if (argument == QLatin1String("--history")) {
            options.history = i + 1 < arguments.size() ? arguments[++i].trimmed() : QString();
            if (options.history.isEmpty()) {
                error = QStringLiteral(
                    "--history needs a file, or postgresql://USER@HOST:PORT/DATABASE.");
                return std::nullopt;
            }
        } else if (argument == QLatin1String("--watch")) {
            const auto watched =
                i + 1 < arguments.size() ? watchedServer(arguments[++i]) : std::nullopt;
            if (!watched) {
                error =
                    QStringLiteral("--watch needs GAME:HOST:PORT, such as ut99:203.0.113.5:7778.");
                return std::nullopt;
            }
            options.watch.append(*watched);
        } else if (argument == QLatin1String("--log-format")) {
            const QString format = i + 1 < arguments.size() ? arguments[++i] : QString();
            if (format != QLatin1String("text") && format != QLatin1String("json")) {
                error = QStringLiteral("--log-format needs text or json.");
                return std::nullopt;
            }
            options.jsonLog = format == QLatin1String("json");
        } else if (argument == QLatin1String("--lan")) {
            options.lan = true;
        } else if (!argument.startsWith(QLatin1String("--")) && !listenGiven) {
            if (!readListenAt(argument, options)) {
                error = QStringLiteral("\"%1\" is not ADDRESS:PORT, such as 127.0.0.1:8080.")
                            .arg(argument);
                return std::nullopt;
            }
            listenGiven = true;
        } else {
            error = QStringLiteral("Unknown argument \"%1\".").arg(argument);
            return std::nullopt;
        }
    }
    if (!options.watch.isEmpty() && options.history.isEmpty()) {
        error = QStringLiteral("--watch needs --history: the samples are kept there.");
        return std::nullopt;
    }
    return options;
}

} // namespace utq
