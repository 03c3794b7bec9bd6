#pragma once

#include "app/qElQuery.h"

#include <QRect>

#include <array>

class QRadioButton;
class QWidget;

// The six rows of text boxes on a "Favorite Servers" tab, named once here for building the
// tab and for finding a row's boxes later.
namespace utq::tabs {

struct NamedBox {
    QLineEdit* qElQuery::*member;
    const char* name;
};
using RowBoxes = std::array<NamedBox, 4>; // the UT2004 rows leave the fourth empty
using RowTable = std::array<RowBoxes, 6>;

extern const RowTable kUt99Rows;
extern const RowTable kUt2004Rows;
extern const RowTable kUt3Rows;

FavouriteRow rowOf(const qElQuery& window, const RowTable& table, int row);

struct RowGeometry {
    int top;
    int step;
    std::array<int, 4> left;
    std::array<int, 4> width;
    int optionLeft;
};

struct RowLooks {
    bool fourthBoxTooltip;  // the UT3 web-port boxes carry none
    bool lastOptionTooltip; // only the UT99 tab's sixth option button carries one
    const char* optionCaption;
};

inline constexpr int kBoxHeight = 21;

// Makes the boxes of all six rows (setting the window's members) and the option button of
// each row, which joins the window's one favourites selection. Returns the buttons by row.
std::array<QRadioButton*, 6> buildFavouriteRows(qElQuery& window, QWidget* page,
                                                const RowTable& table,
                                                const std::array<const char*, 6>& optionNames,
                                                const RowGeometry& geometry, const RowLooks& looks);

} // namespace utq::tabs
