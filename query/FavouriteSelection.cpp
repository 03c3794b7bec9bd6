#include "query/FavouriteSelection.h"

#include "base/Games.h"

namespace utq::query {

std::optional<int> selectedFavouriteRow(GameKind game, const std::array<bool, 6>& checked) {
    // Where row 1 is locked, the buttons stand beside rows 2 to 6, and the last beside row 1.
    const bool firstLocked = describe(game).firstFavouriteLocked;
    std::optional<int> row;
    for (int i = 0; i < 6; ++i) {
        if (!checked[i])
            continue;
        if (firstLocked)
            row = i < 5 ? std::optional<int>(i + 2) : std::nullopt;
        else
            row = i + 1;
    }
    return row;
}

} // namespace utq::query
