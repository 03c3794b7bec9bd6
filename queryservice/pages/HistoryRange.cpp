#include "queryservice/pages/HistoryView.h"
#include "queryservice/pages/StatusJson.h"

#include <QUrl>

namespace utq::queryservice::pages {

QString rangeName(HistoryRange range) {
    switch (range) {
    case HistoryRange::Day:
        return QStringLiteral("24h");
    case HistoryRange::Week:
        return QStringLiteral("7d");
    case HistoryRange::Month:
        return QStringLiteral("30d");
    case HistoryRange::Year:
        return QStringLiteral("1y");
    }
    return QStringLiteral("24h"); // not reached: the switch names every range
}

std::optional<HistoryRange> rangeOfName(const QString& name) {
    for (const HistoryRange range :
         {HistoryRange::Day, HistoryRange::Week, HistoryRange::Month, HistoryRange::Year})
        if (name == rangeName(range))
            return range;
    return std::nullopt;
}

qint64 rangeMs(HistoryRange range) {
    constexpr qint64 kDayMs = 24 * 3600 * 1000LL;
    switch (range) {
    case HistoryRange::Day:
        return kDayMs;
    case HistoryRange::Week:
        return 7 * kDayMs;
    case HistoryRange::Month:
        return 30 * kDayMs;
    case HistoryRange::Year:
        return 365 * kDayMs;
    }
    return kDayMs; // not reached
}

QString historyTarget(const GameDescription& game, const QString& host, int port,
                      HistoryRange range) {
    const auto encoded = [](const QString& value) {
        return QString::fromLatin1(QUrl::toPercentEncoding(value));
    };
    return QLatin1String(kHistoryPath) + QStringLiteral("?game=") + encoded(apiName(game)) +
           QStringLiteral("&host=") + encoded(host) + QStringLiteral("&port=") +
           QString::number(port) + QStringLiteral("&range=") + rangeName(range);
}

} // namespace utq::queryservice::pages
