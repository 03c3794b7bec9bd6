#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace utq::platform {

// Replaces the whole content of an existing file, atomically: the new content goes to a
// sibling file that then takes the old file's place, so an interrupted or failed write leaves
// the old file whole. A missing file is never created, and a file or folder marked read-only
// is left alone.
class TextFileWriter {
public:
    struct Result {
        bool ok = false;
        QString error; // what went wrong, for the user, when not ok
    };

    Result replaceContent(const QString& path, const QByteArray& content) const;

    // Runs after the new content is written and before it replaces the old file; a test uses
    // it to interrupt a write at its most delicate moment.
    std::function<void()> beforeCommit;
};

} // namespace utq::platform
