#include "queryservice/LogLines.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace utq::queryservice {
namespace {

QString jsonLine(QJsonObject fields, const QDateTime& at) {
    fields.insert(QStringLiteral("time"), at.toUTC().toString(Qt::ISODateWithMs));
    return QString::fromUtf8(QJsonDocument(fields).toJson(QJsonDocument::Compact));
}

} // namespace

QString requestLine(const LoggedRequest& request, const LogStyle& style, const QDateTime& at) {
    if (style.json)
        return jsonLine({{QStringLiteral("client"), request.client.toString()},
                         {QStringLiteral("method"), request.method},
                         {QStringLiteral("target"), request.target},
                         {QStringLiteral("status"), request.status},
                         {QStringLiteral("ms"), request.ms}},
                        at);
    QStringList fields{request.client.toString(), request.method + u' ' + request.target,
                       QString::number(request.status), QString::number(request.ms),
                       QStringLiteral("ms")};
    if (style.textTimeStamps)
        fields.prepend(at.toString(Qt::ISODate));
    return fields.join(u' ');
}

QString messageLine(const QString& message, const LogStyle& style, const QDateTime& at) {
    if (style.json)
        return jsonLine({{QStringLiteral("message"), message}}, at);
    return style.textTimeStamps ? at.toString(Qt::ISODate) + u' ' + message : message;
}

} // namespace utq::queryservice
