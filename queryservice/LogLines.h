#pragma once

#include <QDateTime>
#include <QHostAddress>
#include <QString>

// The service's log lines: plain text for a terminal or the journal, or one JSON object a line
// for operators who ship their logs elsewhere.
namespace utq::queryservice {

struct LogStyle {
    bool json = false;
    // A line of text begins with the time; the journal stamps lines itself.
    bool textTimeStamps = true;
};

struct LoggedRequest {
    QHostAddress client;
    QString method; // "-" when the request was refused before it was read whole
    QString target;
    int status = 0;
    qint64 ms = 0;
};

QString requestLine(const LoggedRequest& request, const LogStyle& style,
                    const QDateTime& at = QDateTime::currentDateTime());
// One of the service's own messages, such as the history's problems.
QString messageLine(const QString& message, const LogStyle& style,
                    const QDateTime& at = QDateTime::currentDateTime());

} // namespace utq::queryservice
