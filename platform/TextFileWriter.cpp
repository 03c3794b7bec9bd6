#include "platform/TextFileWriter.h"

#include <QFileInfo>
#include <QSaveFile>

namespace utq::platform {
namespace {

constexpr auto kAnyWrite =
    QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;

} // namespace

TextFileWriter::Result TextFileWriter::replaceContent(const QString& path,
                                                      const QByteArray& content) const {
    const QFileInfo file(path);
    if (!file.exists())
        return {false, QStringLiteral("%1 does not exist.").arg(path)};
    if (!file.isFile())
        return {false, QStringLiteral("%1 is not a file.").arg(path)};
    // Permission bits are honoured even where the user could write regardless (as root).
    if (!(file.permissions() & kAnyWrite))
        return {false, QStringLiteral("%1 is read-only.").arg(path)};
    const QFileInfo folder(file.absolutePath());
    if (!(folder.permissions() & kAnyWrite))
        return {false,
                QStringLiteral("The folder %1 is read-only.").arg(folder.absoluteFilePath())};

    QSaveFile save(path);
    if (!save.open(QIODevice::WriteOnly))
        return {
            false,
            QStringLiteral("%1 could not be opened for writing: %2").arg(path, save.errorString())};
    if (save.write(content) != content.size()) {
        save.cancelWriting();
        return {false, QStringLiteral("%1 could not be written: %2").arg(path, save.errorString())};
    }
    if (beforeCommit)
        beforeCommit();
    if (!save.commit())
        return {false, QStringLiteral("%1 could not be saved: %2").arg(path, save.errorString())};
    return {true, {}};
}

} // namespace utq::platform
