#include "query/FavouriteSelection.h"

namespace utq::query {

std::optional<int> selectedFavouriteRow(GameKind game, const std::array<bool, 6>& checked) {
    std::optional<int> row;
    for (int i = 0; i < 6; ++i) {
        if (!checked[i])
            continue;
        if (game == GameKind::UT2004)
            row = i < 5 ? std::optional<int>(i + 2) : std::nullopt; // serverOpt(i+1) -> row i+2
        else
            row = i + 1;
    }
    return row;
}

} // namespace utq::query
