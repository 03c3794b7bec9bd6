#include "queryservice/pages/ListJson.h"

#include "queryservice/pages/StatusJson.h"

#include <QJsonArray>

namespace utq::queryservice::pages {
namespace {

QJsonObject rowJson(const ListRow& row) {
    return {{QStringLiteral("host"), row.host},
            {QStringLiteral("queryPort"), row.queryPort},
            {QStringLiteral("sources"), QJsonArray::fromStringList(row.sources)},
            {QStringLiteral("state"), row.state},
            {QStringLiteral("name"), text(row.name)},
            {QStringLiteral("map"), text(row.map)},
            {QStringLiteral("gameType"), text(row.gameType)},
            {QStringLiteral("playersNow"), number(row.playersNow)},
            {QStringLiteral("playersMax"), number(row.playersMax)},
            {QStringLiteral("roundTripMs"),
             row.roundTripMs >= 0 ? QJsonValue(row.roundTripMs) : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("gamePort"), number(row.gamePort)}};
}

} // namespace

QJsonObject listJson(const ListView& view) {
    QJsonArray masters;
    for (const ListSource& master : view.masters)
        masters.append(QJsonObject{{QStringLiteral("address"), master.name},
                                   {QStringLiteral("state"), master.state},
                                   {QStringLiteral("listed"), master.listed}});
    QJsonArray servers;
    for (const ListRow& row : view.rows)
        servers.append(rowJson(row));
    const QJsonObject lan{{QStringLiteral("state"), view.lan.state},
                          {QStringLiteral("found"), view.lan.listed}};
    return {{QStringLiteral("game"), view.game ? apiName(*view.game) : QString()},
            {QStringLiteral("complete"), view.complete},
            {QStringLiteral("masters"), masters},
            {QStringLiteral("lan"), lan},
            {QStringLiteral("servers"), servers}};
}

} // namespace utq::queryservice::pages
