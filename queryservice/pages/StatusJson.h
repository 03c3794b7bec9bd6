#pragma once

#include "queryservice/pages/Finding.h"

#include <QJsonObject>

// The JSON API's view of a server: what clan web sites and chat bots read. docs/api.md
// describes every field.
namespace utq::queryservice::pages {

// Where the API answers: one server, and the servers a game's start page lists.
inline constexpr auto kApiStatusPath = "/api/v1/status";
inline constexpr auto kApiServersPath = "/api/v1/servers";

// One server's status as the API gives it.
QJsonObject statusJson(const Finding& finding);

// A number, or null where there is none; a text without control characters, or null where it
// is empty: how the API writes what a server may leave out.
QJsonValue number(const std::optional<int>& value);
QJsonValue text(const QString& value);

// The API's word for what became of a server: "up", "no-answer", "busy", ...
QString stateName(Finding::State state);

// JSON as the API writes it: compact UTF-8.
QByteArray jsonText(const QJsonObject& json);

// The API's name of a game ("ut99", "ut2004", "ut3"), and the game of such a name.
QString apiName(const GameDescription& game);
const GameDescription* gameOfApiName(const QString& name);

} // namespace utq::queryservice::pages
