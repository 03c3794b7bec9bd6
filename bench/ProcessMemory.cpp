#include "ProcessMemory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace bench {
namespace {

QByteArray readProc(const QString& pid, const char* name) {
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid, QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString parentOf(const QString& pid) {
    const QByteArray stat = readProc(pid, "stat");
    // The name in brackets may hold blanks; the parent is the second field after it.
    return QString::fromLatin1(stat.mid(stat.lastIndexOf(')') + 2).split(' ').value(1));
}

QString roleOf(const QString& pid) {
    for (const QByteArray& argument : readProc(pid, "cmdline").split('\0'))
        if (argument.startsWith("--type="))
            return QString::fromLatin1(argument.mid(7));
    return QStringLiteral("program");
}

ProcessMemory memoryOf(const QString& pid) {
    ProcessMemory memory{pid, roleOf(pid)};
    for (const QByteArray& line : readProc(pid, "smaps_rollup").split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        const long kib = fields.value(1).toLong();
        if (fields[0] == "Pss:")
            memory.pssKiB = kib;
        else if (fields[0] == "Pss_Anon:")
            memory.anonKiB = kib;
        else if (fields[0] == "Pss_File:")
            memory.fileKiB = kib;
        else if (fields[0] == "Pss_Shmem:")
            memory.shmemKiB = kib;
    }
    return memory;
}

QString mib(long kib) { return QString::number(static_cast<double>(kib) / 1024.0, 'f', 1); }

} // namespace

long FamilyMemory::pssKiB() const {
    long total = 0;
    for (const ProcessMemory& process : processes)
        total += process.pssKiB;
    return total;
}

QString FamilyMemory::describe() const {
    QStringList parts;
    for (const ProcessMemory& p : processes)
        parts << QStringLiteral("%1 %2 (anon %3, files %4, shared %5)")
                     .arg(p.role, mib(p.pssKiB), mib(p.anonKiB), mib(p.fileKiB), mib(p.shmemKiB));
    return QStringLiteral("%1 MiB: %2").arg(mib(pssKiB()), parts.join(QStringLiteral(", ")));
}

FamilyMemory familyMemory() {
    const QString self = QString::number(QCoreApplication::applicationPid());
    QStringList family = {self};
    const QStringList all = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (bool grew = true; grew;) {
        grew = false;
        for (const QString& pid : all)
            if (!family.contains(pid) && family.contains(parentOf(pid))) {
                family << pid;
                grew = true;
            }
    }
    FamilyMemory memory;
    for (const QString& pid : family)
        memory.processes << memoryOf(pid);
    return memory;
}

} // namespace bench
