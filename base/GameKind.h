#pragma once

namespace utq {

// The three games the program knows; each has its own tabs, favourites file and status page.
enum class GameKind { UT99, UT2004, UT3 };

} // namespace utq
