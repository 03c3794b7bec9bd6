#pragma once

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

// A stand-in for a desktop command (xdg-open, wine) found first on PATH while it lives: a
// small script that records the arguments of every call and returns at once.
class FakeCommand {
public:
    explicit FakeCommand(const QString& name) : oldPath_(qgetenv("PATH")) {
        const QString script = folder_.filePath(name);
        QFile file(script);
        file.open(QIODevice::WriteOnly);
        // One line per call, the arguments separated by the unit separator.
        file.write(
            QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\037' \"$a\"; done >> '%1'\n"
                           "printf '\\n' >> '%1'\n")
                .arg(log())
                .toLocal8Bit());
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", QFile::encodeName(folder_.path()) + ':' + oldPath_);
    }
    ~FakeCommand() { qputenv("PATH", oldPath_); }

    // The arguments of each call so far.
    QList<QStringList> calls() const {
        QFile file(log());
        QList<QStringList> result;
        if (!file.open(QIODevice::ReadOnly))
            return result;
        for (const QByteArray& line : file.readAll().split('\n'))
            if (!line.isEmpty()) {
                QStringList arguments = QString::fromLocal8Bit(line).split(QChar(0x1f));
                arguments.removeLast(); // after the last separator
                result.append(arguments);
            }
        return result;
    }

private:
    QString log() const { return folder_.filePath(QStringLiteral("calls.log")); }

    QTemporaryDir folder_;
    QByteArray oldPath_;
};
