#pragma once

#include "queryservice/Finding.h"
#include "queryservice/HttpResponse.h"

#include <QJsonObject>

// The JSON API's view of a server: what clan web sites and chat bots read. docs/api.md
// describes every field.
namespace utq::queryservice {

// Where the API answers: one server, and the servers a game's start page lists.
inline constexpr auto kApiStatusPath = "/api/v1/status";
inline constexpr auto kApiServersPath = "/api/v1/servers";

// JSON as the API sends it: application/json, never sniffed nor kept in a cache.
http::Response apiResponse(const QJsonObject& json, int status = 200);

// One server's status as the API gives it.
QJsonObject statusJson(const Finding& finding);

// The API's answer for one server: statusJson as application/json, with the HTTP status of
// httpStatusOf.
http::Response jsonResponse(const Finding& finding);

// The API's name of a game ("ut99", "ut2004", "ut3"), and the game of such a name.
QString apiName(const GameDescription& game);
const GameDescription* gameOfApiName(const QString& name);

} // namespace utq::queryservice
