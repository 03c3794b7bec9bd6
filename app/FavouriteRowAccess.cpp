#include "app/qElQuery.h"

#include "app/tabs/FavouriteRows.h"

namespace utq {

FavouriteRow qElQuery::ut99Row(int row) const { return tabs::rowOf(*this, tabs::kUt99Rows, row); }

FavouriteRow qElQuery::ut2004Row(int row) const {
    return tabs::rowOf(*this, tabs::kUt2004Rows, row);
}

FavouriteRow qElQuery::ut3Row(int row) const { return tabs::rowOf(*this, tabs::kUt3Rows, row); }

FavouriteRow qElQuery::favouriteRow(GameKind game, int row) const {
    switch (game) {
    case GameKind::UT99:
        return ut99Row(row);
    case GameKind::UT2004:
        return ut2004Row(row);
    case GameKind::UT3:
        return ut3Row(row);
    }
    return {};
}

} // namespace utq
