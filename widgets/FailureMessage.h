#pragma once

#include <QString>

class QWidget;

namespace utq {

// Shows `message` in a warning box that does not block the window behind it.
void showFailureMessage(QWidget* parent, const QString& message);

} // namespace utq
