#pragma once

#include "queryservice/pages/ListView.h"

#include <QByteArray>

// A game's page of every server its lists found: where they came from, how far they have been
// asked, and a row each. The page's script (assets/list.js) keeps it up to date from the API
// while the servers are asked, sorts and filters it; without the script it is the plain list,
// each row a link to its server's status page.
namespace utq::queryservice::pages {

inline constexpr auto kListScriptPath = "/qEl/list.js";

// The place holders of a row's links that the script fills in.
inline constexpr auto kHostPlaceHolder = "__HOST__";
inline constexpr auto kPortPlaceHolder = "__PORT__";

QByteArray listPage(const ListView& view);

} // namespace utq::queryservice::pages
