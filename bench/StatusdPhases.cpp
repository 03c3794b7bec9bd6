#include "StatusdPhases.h"

namespace bench {

QString StatusdCommand::shown() const {
    QString line = QString::fromStdString(program) + QStringLiteral(" 127.0.0.1:<free port>");
    for (const std::string& argument : arguments)
        line += u' ' + QString::fromStdString(argument);
    return line;
}

QString megabytes(long kib) {
    return kib < 0 ? QStringLiteral("unknown")
                   : QStringLiteral("%1 MB").arg(static_cast<double>(kib) * 1024 / 1e6, 0, 'f', 1);
}

} // namespace bench
