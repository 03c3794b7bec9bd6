#include "platform/TextFileWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

namespace utq::platform {
namespace {

constexpr auto kAnyWrite =
    QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
constexpr auto kSiblingMark = ".saving-";
constexpr int kSiblingRandomChars = 6; // the XXXXXX of mkstemp

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { close(); }
    void reset(int fd) {
        close();
        fd_ = fd;
    }
    int get() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    // Closing can report a write the disk refused; false with errno set then.
    bool close() {
        const int fd = std::exchange(fd_, -1);
        return fd < 0 || ::close(fd) == 0 || errno == EINTR;
    }

private:
    int fd_;
};

// Writes all of `bytes` at `offset`; false with errno set when the disk refuses any of it.
bool writeAll(int fd, QByteArrayView bytes, off_t offset) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::pwrite(fd, bytes.data() + done,
                                         static_cast<size_t>(bytes.size() - done), offset + done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return false;
        }
        done += written;
    }
    return true;
}

std::optional<QByteArray> readAll(int fd, off_t size) {
    QByteArray bytes(static_cast<qsizetype>(size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t got =
            ::pread(fd, bytes.data() + done, static_cast<size_t>(bytes.size() - done), done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        done += got;
    }
    bytes.truncate(done);
    return bytes;
}

void syncFolder(const QString& folder) {
    const FileDescriptor fd(
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.isOpen())
        (void)::fsync(fd.get()); // the rename's own durability; the content is already safe
}

using Result = TextFileWriter::Result;

Result notWritten(const QString& path, int error) {
    return {false, QStringLiteral("%1 could not be written: %2").arg(path, systemError(error))};
}

Result notSaved(const QString& path, int error) {
    return {false, QStringLiteral("%1 could not be saved: %2").arg(path, systemError(error))};
}

// Rewrites the file `target` where it lies (`path` names it to the user). The old content is
// read first so that a refused write (a full disk, a size limit) can be undone; the file is
// shortened only after the new content is in.
Result rewriteInPlace(const QString& target, const QString& path, const QByteArray& content) {
    const QByteArray name = QFile::encodeName(target);
    FileDescriptor fd(::open(name.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
    std::optional<QByteArray> old;
    if (fd.isOpen()) {
        struct stat info {};
        if (::fstat(fd.get(), &info) == 0)
            old = readAll(fd.get(), info.st_size);
    } else {
        fd.reset(::open(name.constData(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
    }
    if (!fd.isOpen())
        return {
            false,
            QStringLiteral("%1 could not be opened for writing: %2").arg(path, systemError(errno))};

    const auto putBack = [&] {
        if (old && writeAll(fd.get(), *old, 0))
            (void)::ftruncate(fd.get(), static_cast<off_t>(old->size()));
        (void)::fsync(fd.get());
    };
    if (!writeAll(fd.get(), content, 0) ||
        ::ftruncate(fd.get(), static_cast<off_t>(content.size())) != 0) {
        const int error = errno;
        putBack();
        return notWritten(path, error);
    }
    if (::fsync(fd.get()) != 0 || !fd.close()) {
        const int error = errno;
        putBack();
        return notSaved(path, error);
    }
    return {true, {}};
}

// Removes the sibling unless it has taken the file's place.
class Sibling {
public:
    explicit Sibling(const QString& finalPath)
        : path_(QFile::encodeName(finalPath + QLatin1String(kSiblingMark)) +
                QByteArray(kSiblingRandomChars, 'X')) {
        fd_.reset(::mkostemp(path_.data(), O_CLOEXEC));
        created_ = fd_.isOpen();
        if (created_)
            (void)::flock(fd_.get(), LOCK_EX); // tells start-up's clean-up it is in use
    }
    Sibling(const Sibling&) = delete;
    Sibling& operator=(const Sibling&) = delete;
    ~Sibling() {
        if (created_ && !renamed_)
            (void)::unlink(path_.constData());
    }
    bool isOpen() const { return fd_.isOpen(); }
    int fd() const { return fd_.get(); }
    FileDescriptor& descriptor() { return fd_; }
    bool replace(const QByteArray& target) {
        renamed_ = ::rename(path_.constData(), target.constData()) == 0;
        return renamed_;
    }

private:
    QByteArray path_;
    FileDescriptor fd_;
    bool created_ = false;
    bool renamed_ = false;
};

// Gives the sibling the old file's owner, group and mode (a setgid bit included); false when
// the user may not, and the file then has to be written in place to keep them.
bool takeOver(const Sibling& sibling, const struct stat& old) {
    struct stat now {};
    if (::fstat(sibling.fd(), &now) != 0)
        return false;
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) &&
        ::fchown(sibling.fd(), old.st_uid, old.st_gid) != 0)
        return false;
    // After fchown, which clears a setgid bit; the kernel also drops it silently for a group
    // the user is not in, which the check below catches.
    if (::fchmod(sibling.fd(), old.st_mode & 07777) != 0 || ::fstat(sibling.fd(), &now) != 0)
        return false;
    return now.st_uid == old.st_uid && now.st_gid == old.st_gid &&
           (now.st_mode & 07777) == (old.st_mode & 07777);
}

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

    // A link's target is what gets replaced; the link stays.
    const QString target = file.canonicalFilePath();
    const QByteArray targetName = QFile::encodeName(target);
    struct stat old {};
    if (::stat(targetName.constData(), &old) != 0)
        return {false, QStringLiteral("%1 could not be read: %2").arg(path, systemError(errno))};
    const QFileInfo folder(QFileInfo(target).absolutePath());

    std::optional<Sibling> sibling;
    if (old.st_nlink == 1 && (folder.permissions() & kAnyWrite)) {
        sibling.emplace(target);
        if (!sibling->isOpen() || !takeOver(*sibling, old))
            sibling.reset();
    }
    if (!sibling)
        return rewriteInPlace(target, path, content);

    if (!writeAll(sibling->fd(), content, 0))
        return notWritten(path, errno);
    if (beforeCommit)
        beforeCommit();
    if (::fsync(sibling->fd()) != 0 || !sibling->descriptor().close() ||
        !sibling->replace(targetName))
        return notSaved(path, errno);
    syncFolder(folder.absoluteFilePath());
    return {true, {}};
}

int removeInterruptedSaves(const QString& path) {
    const QFileInfo file(path);
    const QString prefix = file.fileName() + QLatin1String(kSiblingMark);
    QDir folder(file.absolutePath());
    int removed = 0;
    const QStringList names =
        folder.entryList({prefix + QString(kSiblingRandomChars, u'?')}, QDir::Files | QDir::Hidden);
    for (const QString& name : names) {
        const QByteArray sibling = QFile::encodeName(folder.filePath(name));
        const FileDescriptor fd(::open(sibling.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        // A save that is still running holds its lock; a killed one's went with it.
        if (fd.isOpen() && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0 &&
            ::unlink(sibling.constData()) == 0)
            ++removed;
    }
    return removed;
}

} // namespace utq::platform
