#pragma once

#include "base/GameKind.h"

#include <array>
#include <optional>

namespace utq::query {

// The favourite row (1 to 6) that a tab's option buttons select, or none.
// `checked` lists the tab's option buttons in the order they are examined:
// UT99 Option1(0..5), UT2004 serverOpt(1..6), UT3 serverFav(0..5). On the UT2004 tab the last
// of them, serverOpt(6), stands beside row 1, which can never be chosen: it selects no row.
std::optional<int> selectedFavouriteRow(GameKind game, const std::array<bool, 6>& checked);

} // namespace utq::query
