#include "platform/CommandStarter.h"

#include <QProcess>
#include <QStandardPaths>

namespace utq::platform {

QString startDetached(const QString& program, const QStringList& arguments) {
    if (QStandardPaths::findExecutable(program).isEmpty())
        return QStringLiteral("%1 could not be started: it is not installed (not found on PATH).")
            .arg(program);
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached())
        return QStringLiteral("%1 could not be started: %2").arg(program, process.errorString());
    return {};
}

QString startWindowsScript(const QString& scriptPath) {
    const QString error = startDetached(QStringLiteral("wine"),
                                        {QStringLiteral("cmd"), QStringLiteral("/c"), scriptPath});
    if (!error.isEmpty())
        return QStringLiteral("%1 could not be run.\n\n%2").arg(scriptPath, error);
    return {};
}

} // namespace utq::platform
