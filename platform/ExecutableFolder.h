#pragma once

#include <QString>

namespace utq::platform {

// The folder that holds the running executable, without a trailing separator.
QString executableFolder();

} // namespace utq::platform
