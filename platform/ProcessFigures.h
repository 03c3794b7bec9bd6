#pragma once

#include <QtGlobal>

// This process' own figures, as the system counts them.
namespace utq::platform {

// Resident memory in bytes; -1 when it cannot be read.
qint64 residentBytes();
// File descriptors open now; -1 when they cannot be counted.
qint64 openFileCount();

} // namespace utq::platform
