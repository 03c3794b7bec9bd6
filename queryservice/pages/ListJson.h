#pragma once

#include "queryservice/pages/ListView.h"

#include <QJsonObject>

// The JSON API's view of a game's list of servers; docs/api.md describes every field.
namespace utq::queryservice::pages {

inline constexpr auto kApiListPath = "/api/v1/list";

QJsonObject listJson(const ListView& view);

} // namespace utq::queryservice::pages
