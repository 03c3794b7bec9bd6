#pragma once

#include <QString>

namespace utq::admin {

// The administrator password, put together afresh from its eleven character codes at each
// check, so the program never holds it as one piece of text.
QString expectedPassword();

} // namespace utq::admin
