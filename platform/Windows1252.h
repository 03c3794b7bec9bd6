#pragma once

#include <QByteArray>
#include <QString>

// The Windows "ANSI" code page of Western European systems, in which favourites files are
// written and read.
namespace utq::platform::windows1252 {

// Every byte maps to one character; the five bytes the code page leaves unassigned map to the
// control characters of the same value, as Windows itself does.
QString decode(const QByteArray& bytes);

// Characters the code page cannot represent become '?'.
QByteArray encode(const QString& text);

} // namespace utq::platform::windows1252
