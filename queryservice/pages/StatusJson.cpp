#include "queryservice/pages/StatusJson.h"

#include "queryservice/pages/StatusPages.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace utq::queryservice::pages {

using protocols::PlayerStatus;
using protocols::Rgb;
using protocols::ServerStatus;
using protocols::TeamScore;
using protocols::TextRun;
using protocols::TextRuns;

QJsonValue number(const std::optional<int>& value) {
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QJsonValue text(const QString& value) {
    return value.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(withoutControls(value));
}

QString stateName(Finding::State state) {
    switch (state) {
    case Finding::State::Up:
        return QStringLiteral("up");
    case Finding::State::Partial:
        return QStringLiteral("partial");
    case Finding::State::NoAnswer:
        return QStringLiteral("no-answer");
    case Finding::State::UnknownHost:
    case Finding::State::LateLookUp:
    case Finding::State::NoHost:
        return QStringLiteral("unknown-host");
    case Finding::State::BadPort:
        return QStringLiteral("bad-port");
    case Finding::State::Busy:
    case Finding::State::TooFast:
    case Finding::State::ClientBusy:
        return QStringLiteral("busy");
    case Finding::State::NotAskedHere:
        return QStringLiteral("refused");
    }
    return QStringLiteral("no-answer"); // not reached: the switch names every state
}

namespace {

// "#rrggbb", written directly: a status may hold a thousand runs.
QString colourText(const Rgb& colour) {
    constexpr char kDigits[] = "0123456789abcdef";
    const char text[] = {'#',
                         kDigits[colour.red >> 4],
                         kDigits[colour.red & 15],
                         kDigits[colour.green >> 4],
                         kDigits[colour.green & 15],
                         kDigits[colour.blue >> 4],
                         kDigits[colour.blue & 15]};
    return QString::fromLatin1(text, sizeof text);
}

QJsonArray runsJson(const TextRuns& runs) {
    QJsonArray array;
    for (const TextRun& run : runs)
        array.append(
            QJsonObject{{QStringLiteral("text"), withoutControls(run.text)},
                        {QStringLiteral("colour"), run.colour ? QJsonValue(colourText(*run.colour))
                                                              : QJsonValue(QJsonValue::Null)}});
    return array;
}

QJsonArray playersJson(const QList<PlayerStatus>& players) {
    QJsonArray array;
    for (const PlayerStatus& player : players) {
        QJsonObject row{{QStringLiteral("name"), withoutControls(player.name)},
                        {QStringLiteral("score"), number(player.score)},
                        {QStringLiteral("ping"), number(player.ping)},
                        {QStringLiteral("team"), text(player.team)}};
        if (!player.nameRuns.isEmpty())
            row.insert(QStringLiteral("nameRuns"), runsJson(player.nameRuns));
        array.append(row);
    }
    return array;
}

void addStatus(QJsonObject& json, const ServerStatus& status) {
    json.insert(QStringLiteral("name"), withoutControls(status.name));
    if (!status.nameRuns.isEmpty())
        json.insert(QStringLiteral("nameRuns"), runsJson(status.nameRuns));
    json.insert(QStringLiteral("map"), text(status.map));
    json.insert(QStringLiteral("mapTitle"), text(status.mapTitle));
    json.insert(QStringLiteral("gameType"), text(status.gameType));
    json.insert(QStringLiteral("playersNow"), number(status.players));
    json.insert(QStringLiteral("playersMax"), number(status.maxPlayers));
    json.insert(QStringLiteral("players"), playersJson(status.playerList));
    json.insert(QStringLiteral("spectators"), playersJson(status.spectators));
    QJsonArray teams;
    for (const TeamScore& team : status.teams)
        teams.append(QJsonObject{{QStringLiteral("team"), withoutControls(team.team)},
                                 {QStringLiteral("score"), number(team.score)}});
    json.insert(QStringLiteral("teams"), teams);
    QJsonObject rules;
    for (const auto& [key, value] : status.rules)
        if (!rules.contains(withoutControls(key))) // the first of a repeated rule, as shown
            rules.insert(withoutControls(key), withoutControls(value));
    json.insert(QStringLiteral("rules"), rules);
}

} // namespace

QString apiName(const GameDescription& game) { return QString::fromLatin1(game.name).toLower(); }

const GameDescription* gameOfApiName(const QString& name) {
    for (const GameKind kind : kGameKinds)
        if (apiName(describe(kind)) == name)
            return &describe(kind);
    return nullptr;
}

QJsonObject statusJson(const Finding& finding) {
    QJsonObject json{
        {QStringLiteral("game"), finding.game ? apiName(*finding.game) : QString()},
        {QStringLiteral("host"), withoutControls(finding.host)},
        {QStringLiteral("port"), finding.port ? QJsonValue(finding.port) : QJsonValue()},
        {QStringLiteral("queryPort"),
         finding.queryPort ? QJsonValue(finding.queryPort) : QJsonValue()},
        {QStringLiteral("state"), stateName(finding.state)}};
    if (finding.state == Finding::State::Up || finding.state == Finding::State::Partial) {
        addStatus(json, finding.status);
        json.insert(QStringLiteral("roundTripMs"), finding.roundTripMs);
        json.insert(QStringLiteral("askedAt"), finding.askedAt.toUTC().toString(Qt::ISODateWithMs));
        if (!finding.note.isEmpty())
            json.insert(QStringLiteral("note"), finding.note);
        if (!finding.webStatistics.isEmpty())
            json.insert(QStringLiteral("webStatistics"), finding.webStatistics);
    }
    return json;
}

QByteArray jsonText(const QJsonObject& json) {
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

} // namespace utq::queryservice::pages
