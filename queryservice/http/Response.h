#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// One HTTP answer, and the bytes that carry it.
namespace utq::queryservice::http {

struct Response {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers; // beyond those every answer has

    void setHeader(const QByteArray& name, const QByteArray& value) {
        headers.append({name, value});
    }
};

// The status line, headers and (unless the request was HEAD) body. The length is always
// given, so a client knows where the answer ends; `close` says the connection ends after it.
QByteArray serialize(const Response& response, bool withBody, bool close);

QByteArray reasonPhrase(int status);

} // namespace utq::queryservice::http
