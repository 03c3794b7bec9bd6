#pragma once

#include <QFont>

namespace utq::platform {

// A font by family and point size. Tahoma and MS Sans Serif are Windows fonts: where the
// desktop lacks them, Wine's metric-compatible Tahoma is used if installed, otherwise the
// desktop's sans-serif face.
QFont windowsFont(const QString& family, qreal pointSize, bool bold = false);

} // namespace utq::platform
