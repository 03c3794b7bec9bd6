#include "platform/ProfileReader.h"

#include "base/Utf16.h"
#include "platform/Windows1252.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <QStringDecoder>

#include <sys/stat.h>

#include <optional>

namespace utq::platform {
namespace {

QStringView trimBlanks(QStringView text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && (text[begin] == u' ' || text[begin] == u'\t'))
        ++begin;
    while (end > begin && (text[end - 1] == u' ' || text[end - 1] == u'\t'))
        --end;
    return text.mid(begin, end - begin);
}

QByteArrayView trimBlanks(QByteArrayView text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t'))
        ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    return text.sliced(begin, end - begin);
}

// The file's bytes in an encoding whose brackets, '=', ';', blanks and line ends are single
// ASCII bytes, and the way to turn a piece of it into text.
struct Text {
    QByteArray bytes;
    bool utf8 = false;
    QString decode(QByteArrayView piece) const {
        return utf8 ? QString::fromUtf8(piece) : windows1252::decode(piece.toByteArray());
    }
};

Text textOf(QByteArray bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return {bytes.mid(3), true};
    // UTF-16 may hold lone surrogates, which UTF-8 cannot.
    if (bytes.startsWith("\xFF\xFE"))
        return {utf16::wellFormed(QStringDecoder(QStringDecoder::Utf16LE).decode(bytes.mid(2)))
                    .toUtf8(),
                true};
    if (bytes.startsWith("\xFE\xFF"))
        return {utf16::wellFormed(QStringDecoder(QStringDecoder::Utf16BE).decode(bytes.mid(2)))
                    .toUtf8(),
                true};
    return {std::move(bytes), false};
}

QString unquoted(QStringView value) {
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value.toString();
}

// The keys of the first section named `section`, first occurrence of each key winning. Lines
// are split on the raw bytes and only the wanted section is decoded, so a large file costs
// little more than reading it.
using SectionValues = QHash<QString, QString>;

SectionValues parseSection(const Text& text, const QString& section) {
    SectionValues values;
    bool inSection = false;
    const QString wanted = section.toCaseFolded();
    const char* const data = text.bytes.constData();
    const qsizetype size = text.bytes.size();
    qsizetype pos = 0;
    while (pos < size) {
        qsizetype end = pos;
        while (end < size && data[end] != '\r' && data[end] != '\n')
            ++end;
        const QByteArrayView line = trimBlanks(QByteArrayView(data + pos, end - pos));
        pos = end + 1;
        if (end < size && data[end] == '\r' && pos < size && data[pos] == '\n')
            ++pos;
        // A section's name runs to the line's last ']'; without one the line is no heading.
        const qsizetype close = line.startsWith('[') ? line.lastIndexOf(']') : -1;
        if (close > 0) {
            if (inSection)
                break; // the first section of that name is the only one that counts
            inSection = text.decode(trimBlanks(line.sliced(1, close - 1))).toCaseFolded() == wanted;
            continue;
        }
        if (!inSection || line.startsWith(';'))
            continue;
        // A line without '=' is a key whose value is empty.
        const qsizetype equals = line.indexOf('=');
        const QString key =
            text.decode(trimBlanks(equals < 0 ? line : line.first(equals))).toCaseFolded();
        if (key.isEmpty() || values.contains(key))
            continue;
        values.insert(key, equals < 0 ? QString()
                                      : unquoted(trimBlanks(
                                            QStringView(text.decode(line.sliced(equals + 1))))));
    }
    return values;
}

// A favourites file is read once per value; parsing it once per version of the file keeps a
// large or broken file from holding up start-up.
struct CacheKey {
    QString path;
    QString section;
    qint64 size;
    qint64 modifiedNs;
    quint64 inode;
    bool operator==(const CacheKey&) const = default;
};

std::optional<CacheKey> keyFor(const QString& path, const QString& section) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return CacheKey{path, section.toCaseFolded(), static_cast<qint64>(info.st_size),
                    static_cast<qint64>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
                    static_cast<quint64>(info.st_ino)};
}

SectionValues sectionOf(const QString& path, const QString& section) {
    static QMutex mutex;
    static std::optional<CacheKey> cachedKey;
    static SectionValues cachedValues;

    const std::optional<CacheKey> key = keyFor(path, section);
    if (!key)
        return {};
    QMutexLocker lock(&mutex);
    if (cachedKey != key) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        cachedValues = parseSection(textOf(file.readAll()), section);
        cachedKey = key;
    }
    return cachedValues;
}

} // namespace

QString readProfileString(const QString& section, const QString& key, const QString& path,
                          int bufferSize) {
    QString value = sectionOf(path, section).value(trimBlanks(key).toString().toCaseFolded());
    const qsizetype nul = value.indexOf(QChar(0));
    if (nul >= 0)
        value.truncate(nul);
    value.truncate(qMax(0, bufferSize - 1));
    return value;
}

} // namespace utq::platform
