#pragma once

// The memory of this process and of every process below it (the web engine's renderer and
// helpers), from /proc/<pid>/smaps_rollup: proportional set size, split into anonymous memory,
// mapped files (mostly the web engine's libraries, shared between the processes) and shared
// memory.
#include <QList>
#include <QString>

namespace bench {

struct ProcessMemory {
    QString pid;
    QString role; // "program", or the web engine's --type= of the process
    long pssKiB = 0;
    long anonKiB = 0;
    long fileKiB = 0;
    long shmemKiB = 0;
};

struct FamilyMemory {
    QList<ProcessMemory> processes; // this process first
    long pssKiB() const;
    // "171.2 MiB: program 90.1 (anon 27.0, files 62.6), renderer 81.1 (...)"
    QString describe() const;
};

FamilyMemory familyMemory();

} // namespace bench
