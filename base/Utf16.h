#pragma once

#include <QString>

// Text from outside comes as UTF-16 units that need not pair up: UCS-2 from a game server, a
// UTF-16 file. A lone surrogate has no UTF-8 form, and JSON readers refuse its escape.
namespace utq::utf16 {

// `text` with each surrogate that is not half of a pair replaced by U+FFFD.
QString wellFormed(QString text);

// Cuts `text` to at most `length` units, never between the halves of a pair.
void truncate(QString& text, qsizetype length);

} // namespace utq::utf16
