#include "app/tabs/FavouriteRows.h"

#include "widgets/Controls.h"

#include <QButtonGroup>
#include <QLineEdit>
#include <QRadioButton>

namespace utq::tabs {
namespace {

constexpr auto kEditTooltip = "You can edit any of these feilds. Click \"Save Chenges\" to Save.";
constexpr auto kOptionTooltip = "Selects the server to be Queried or Launched.";
// Longer values would not come back whole from the favourites file.
constexpr int kMaxValueLength = 254;

using Q = qElQuery;

} // namespace

// clang-format off
const RowTable kUt99Rows = {{
    {{{&Q::ServerName, "ServerName"}, {&Q::ServerIP, "ServerIP"}, {&Q::ServerPort, "ServerPort"}, {&Q::QueryPort, "QueryPort"}}},
    {{{&Q::ServerName2, "ServerName2"}, {&Q::ServerIP2, "ServerIP2"}, {&Q::ServerPort2, "ServerPort2"}, {&Q::QueryPort2, "QueryPort2"}}},
    {{{&Q::ServerName3, "ServerName3"}, {&Q::ServerIP3, "ServerIP3"}, {&Q::ServerPort3, "ServerPort3"}, {&Q::QueryPort3, "QueryPort3"}}},
    {{{&Q::ServerName4, "ServerName4"}, {&Q::ServerIP4, "ServerIP4"}, {&Q::ServerPort4, "ServerPort4"}, {&Q::QueryPort4, "QueryPort4"}}},
    {{{&Q::ServerName5, "ServerName5"}, {&Q::ServerIP5, "ServerIP5"}, {&Q::ServerPort5, "ServerPort5"}, {&Q::QueryPort5, "QueryPort5"}}},
    {{{&Q::ServerName6, "ServerName6"}, {&Q::ServerIP6, "ServerIP6"}, {&Q::ServerPort6, "ServerPort6"}, {&Q::QueryPort6, "QueryPort6"}}},
}};

const RowTable kUt2004Rows = {{
    {{{&Q::ServerName04, "ServerName04"}, {&Q::ServerIP04, "ServerIP04"}, {&Q::ServerPort04, "ServerPort04"}, {nullptr, nullptr}}},
    {{{&Q::ServerName042, "ServerName042"}, {&Q::ServerIP042, "ServerIP042"}, {&Q::ServerPort042, "ServerPort042"}, {nullptr, nullptr}}},
    {{{&Q::ServerName043, "ServerName043"}, {&Q::ServerIP043, "ServerIP043"}, {&Q::ServerPort043, "ServerPort043"}, {nullptr, nullptr}}},
    {{{&Q::ServerName044, "ServerName044"}, {&Q::ServerIP044, "ServerIP044"}, {&Q::ServerPort044, "ServerPort044"}, {nullptr, nullptr}}},
    {{{&Q::ServerName045, "ServerName045"}, {&Q::ServerIp045, "ServerIp045"}, {&Q::ServerPort045, "ServerPort045"}, {nullptr, nullptr}}},
    {{{&Q::ServerName046, "ServerName046"}, {&Q::ServerIP046, "ServerIP046"}, {&Q::ServerPort046, "ServerPort046"}, {nullptr, nullptr}}},
}};

const RowTable kUt3Rows = {{
    {{{&Q::UT3ServerName, "UT3ServerName"}, {&Q::UT3ServerIP, "UT3ServerIP"}, {&Q::UT3ServerPort, "UT3ServerPort"}, {&Q::Serverwport, "Serverwport"}}},
    {{{&Q::UT3ServerName2, "UT3ServerName2"}, {&Q::UT3ServerIP2, "UT3ServerIP2"}, {&Q::UT3ServerPort2, "UT3ServerPort2"}, {&Q::Serverwport2, "Serverwport2"}}},
    {{{&Q::UT3ServerName3, "UT3ServerName3"}, {&Q::UT3ServerIP3, "UT3ServerIP3"}, {&Q::UT3ServerPort3, "UT3ServerPort3"}, {&Q::Serverwport3, "Serverwport3"}}},
    {{{&Q::UT3ServerName4, "UT3ServerName4"}, {&Q::UT3ServerIP4, "UT3ServerIP4"}, {&Q::UT3ServerPort4, "UT3ServerPort4"}, {&Q::Serverwport4, "Serverwport4"}}},
    {{{&Q::UT3ServerName5, "UT3ServerName5"}, {&Q::UT3ServerIP5, "UT3ServerIP5"}, {&Q::UT3ServerPort5, "UT3ServerPort5"}, {&Q::Serverwport5, "Serverwport5"}}},
    {{{&Q::UT3ServerName6, "UT3ServerName6"}, {&Q::UT3ServerIP6, "UT3ServerIP6"}, {&Q::UT3ServerPort6, "UT3ServerPort6"}, {&Q::Serverwport6, "Serverwport6"}}},
}};
// clang-format on

FavouriteRow rowOf(const qElQuery& window, const RowTable& table, int row) {
    const RowBoxes& boxes = table.at(static_cast<std::size_t>(row - 1));
    const auto box = [&window](const NamedBox& named) {
        return named.member ? window.*(named.member) : nullptr;
    };
    return {box(boxes[0]), box(boxes[1]), box(boxes[2]), box(boxes[3])};
}

std::array<QRadioButton*, 6> buildFavouriteRows(qElQuery& window, QWidget* page,
                                                const RowTable& table,
                                                const std::array<const char*, 6>& optionNames,
                                                const RowGeometry& geometry,
                                                const RowLooks& looks) {
    std::array<QRadioButton*, 6> options{};
    for (int row = 0; row < 6; ++row) {
        const int top = geometry.top + row * geometry.step;
        const bool tooltips = row < 5;
        for (int field = 0; field < 4; ++field) {
            const NamedBox& named = table[row][field];
            if (!named.member)
                continue;
            QLineEdit* box = controls::textBox(
                page, named.name, QString(),
                QRect(geometry.left[field], top, geometry.width[field], kBoxHeight));
            box->setMaxLength(kMaxValueLength);
            if (tooltips && (field < 3 || looks.fourthBoxTooltip))
                box->setToolTip(QLatin1String(kEditTooltip));
            window.*(named.member) = box;
        }
        // The caption is there but clipped: the button is only as wide as its circle.
        QRadioButton* option =
            controls::optionButton(page, optionNames[row], QLatin1String(looks.optionCaption),
                                   QRect(geometry.optionLeft, top + 2, 16, 17));
        if (tooltips || looks.lastOptionTooltip)
            option->setToolTip(QLatin1String(kOptionTooltip));
        window.favouriteSelection->addButton(option);
        options[row] = option;
    }
    return options;
}

} // namespace utq::tabs
