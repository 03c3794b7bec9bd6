#include "platform/ProcessList.h"

#include <QDir>
#include <QFile>

#include <signal.h>
#include <sys/types.h>

#include <cerrno>
#include <cstring>

namespace utq::platform {
namespace {

QByteArray readSmall(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(4096) : QByteArray();
}

// A process that has ended but whose parent has not collected it yet (a zombie) keeps its
// name in the list; it runs no more, so it does not count.
bool hasEnded(const QString& processFolder) {
    const QByteArray stat = readSmall(processFolder + QStringLiteral("/stat"));
    const qsizetype nameEnd = stat.lastIndexOf(')'); // the name itself may hold ')'
    if (nameEnd < 0 || nameEnd + 2 >= stat.size())
        return true; // gone while being looked at
    const char state = stat[nameEnd + 2];
    return state == 'Z' || state == 'X';
}

bool isNamed(const QString& processFolder, const QString& wanted) {
    const QString command =
        QString::fromLocal8Bit(readSmall(processFolder + QStringLiteral("/comm"))).trimmed();
    if (command.compare(wanted, Qt::CaseInsensitive) == 0)
        return true;
    const QByteArray cmdline = readSmall(processFolder + QStringLiteral("/cmdline"));
    QString first = QString::fromLocal8Bit(cmdline.left(cmdline.indexOf('\0')));
    first = first.section(u'/', -1).section(u'\\', -1);
    return !first.isEmpty() && first.compare(wanted, Qt::CaseInsensitive) == 0;
}

bool isRunningAs(const QString& processFolder, const QString& wanted) {
    return isNamed(processFolder, wanted) && !hasEnded(processFolder);
}

QStringList processIds(const QString& procFolder, QString* error) {
    QDir proc(procFolder);
    if (!proc.exists() || !QFile::exists(procFolder + QStringLiteral("/self"))) {
        *error =
            QStringLiteral("The list of running programs (%1) cannot be read.").arg(procFolder);
        return {};
    }
    QStringList ids;
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        entry.toInt(&number);
        if (number)
            ids.append(entry);
    }
    return ids;
}

} // namespace

ProcessList::ProcessList(QString procFolder) : procFolder_(std::move(procFolder)) {}

ProcessList::Count ProcessList::countNamed(const QString& imageName) const {
    QString error;
    const QStringList ids = processIds(procFolder_, &error);
    if (!error.isEmpty())
        return {std::nullopt, error};
    int count = 0;
    for (const QString& id : ids)
        count += isRunningAs(procFolder_ + u'/' + id, imageName);
    return {count, {}};
}

int ProcessList::killNamed(const QString& imageName) const {
    QString error;
    int killed = 0;
    for (const QString& id : processIds(procFolder_, &error))
        if (isRunningAs(procFolder_ + u'/' + id, imageName) &&
            ::kill(static_cast<pid_t>(id.toInt()), SIGKILL) == 0)
            ++killed;
    return killed;
}

} // namespace utq::platform
