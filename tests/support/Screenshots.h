#pragma once

#include <QDir>
#include <QString>

// Where a test saves the pictures of what it shows, for a person to look at: the build's
// screenshots folder (made when missing), or the temporary folder.
inline QString screenshotPath(const QString& fileName) {
    const QString folder = qEnvironmentVariable("UTQ_SCREENSHOT_DIR", QDir::tempPath());
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + fileName;
}
