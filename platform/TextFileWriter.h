#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace utq::platform {

// Replaces the whole content of an existing file without ever leaving it half written or
// empty: the new content goes to a sibling file that is flushed to the disk and then takes
// the old file's place, keeping its owner, group and mode. Where a sibling cannot do that (a
// folder the user may not write to, a file with other hard links, or an owner or group the
// user cannot give), the file is rewritten in place, and put back as it was if that fails.
// A save is reported done only once the content is on the disk. A missing file is never
// created, and a file or folder marked read-only is left alone.
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

// Removes the siblings that saves of `path` left behind when they were killed, sparing any
// that a running save still holds. Returns how many went.
int removeInterruptedSaves(const QString& path);

} // namespace utq::platform
