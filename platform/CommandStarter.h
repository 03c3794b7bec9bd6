#pragma once

#include <QString>
#include <QStringList>

namespace utq::platform {

// Starts a program and does not wait for it. Empty when it started, otherwise what went wrong.
QString startDetached(const QString& program, const QStringList& arguments);

// A Windows batch script runs through Wine, the usual home of a Windows game server on Linux:
// "wine cmd /c SCRIPT".
QString startWindowsScript(const QString& scriptPath);

} // namespace utq::platform
