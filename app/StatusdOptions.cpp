#include "app/StatusdOptions.h"

namespace utq {
namespace {

std::optional<int> positive(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value > 0 ? std::optional<int>(value) : std::nullopt;
}

bool readListenAt(const QString& text, StatusdOptions& options) {
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return false;
    QString host = text.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    const auto port = positive(text.mid(colon + 1));
    if (!port || *port > 65535 || !options.address.setAddress(host))
        return false;
    options.port = static_cast<quint16>(*port);
    return true;
}

} // namespace

std::optional<StatusdOptions> parseStatusdOptions(const QStringList& arguments, QString& error) {
    StatusdOptions options;
    bool listenGiven = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--max-queries") ||
            argument == QLatin1String("--per-client")) {
            const auto value = i + 1 < arguments.size() ? positive(arguments[++i]) : std::nullopt;
            if (!value) {
                error = QStringLiteral("%1 needs a whole number above 0.").arg(argument);
                return std::nullopt;
            }
            (argument == QLatin1String("--max-queries") ? options.maxQueriesInFlight
                                                        : options.maxQueriesPerClientPerSecond) =
                *value;
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
    return options;
}

} // namespace utq
