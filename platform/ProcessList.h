#pragma once

#include <QString>

#include <optional>

namespace utq::platform {

// The machine's processes by image name, read from /proc: a process's name is its command
// name, or the last part of its first argument (a Windows program under Wine shows as
// "UCC.exe" either way). Names match without regard to letter case, as on Windows.
class ProcessList {
public:
    explicit ProcessList(QString procFolder = QStringLiteral("/proc"));

    struct Count {
        std::optional<int> processes; // none when the list could not be read
        QString error;
    };
    Count countNamed(const QString& imageName) const;

    // Ends every process of that name at once (SIGKILL); how many were signalled.
    int killNamed(const QString& imageName) const;

private:
    QString procFolder_;
};

} // namespace utq::platform
