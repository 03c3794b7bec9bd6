// The preset pickers of the three query tabs: picking an entry fills or clears the tab's
// address and port fields. Typing into a picker's own text changes nothing.
#include "app/qElQuery.h"

#include "favourites/PresetPickers.h"

#include <QComboBox>
#include <QLineEdit>

namespace utq {

void qElQuery::wirePresetPickers() {
    connect(Combo1, &QComboBox::activated, this, &qElQuery::Combo1_Click);
    connect(Combo3, &QComboBox::activated, this, &qElQuery::Combo3_Click);
    connect(Combo2, &QComboBox::activated, this, &qElQuery::Combo2_Click);
}

void qElQuery::Combo1_Click() {
    pickPreset(GameKind::UT99, Combo1, {txtNameOrIP, txtText2, txtText3});
}
void qElQuery::Combo3_Click() {
    pickPreset(GameKind::UT2004, Combo3, {txt04Server, txt04port, nullptr});
}
void qElQuery::Combo2_Click() {
    pickPreset(GameKind::UT3, Combo2, {ut3iptxt, txtQueryPort, txtServerWeb});
}

void qElQuery::pickPreset(GameKind game, QComboBox* combo,
                          const std::array<QLineEdit*, 3>& fields) {
    for (int field = 0; field < favourites::presetFieldCount(game); ++field) {
        // The picked entry is looked up afresh for every field.
        if (const auto value = favourites::presetValue(game, field, combo->currentIndex(), hosts_))
            fields[static_cast<std::size_t>(field)]->setText(*value);
    }
}

} // namespace utq
