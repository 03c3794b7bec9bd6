#pragma once

#include <QString>

// Reads one value of an INI file the way the Windows profile reader does:
// - section and key names match without regard to letter case;
// - blanks (spaces and tabs) around names and values do not count, inside the brackets too;
// - a value in matching single or double quotes loses them (an unbalanced quote stays);
// - a section's heading is a line from '[' to its last ']' (a line without ']' is no
//   heading, and does not end the section it stands in);
// - lines starting with ';' are comments, a line without '=' is a key with an empty value,
//   and a value keeps every '=' after the first;
// - the first of duplicate keys wins, and of a section that appears twice only the first counts;
// - a NUL character ends a value; lines may end in CR LF, LF or CR;
// - a file starting with a UTF-8 or UTF-16 byte-order mark is read in that encoding, any
//   other file as Windows-1252, a lone surrogate in UTF-16 as U+FFFD;
// - at most `bufferSize - 1` characters of a value come back.
// A missing file, section or key reads as an empty value. The result's length is the count of
// characters copied, as the Windows call returns it.
namespace utq::platform {

inline constexpr int kProfileBufferSize = 255;

QString readProfileString(const QString& section, const QString& key, const QString& path,
                          int bufferSize = kProfileBufferSize);

} // namespace utq::platform
