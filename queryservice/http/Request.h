#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrlQuery>

#include <optional>

// One HTTP/1.x request head, read from the bytes a client sent. The service takes no request
// bodies, so a request is its head alone.
namespace utq::queryservice::http {

struct Request {
    QByteArray method; // as sent: methods are case-sensitive
    QByteArray target; // as sent, for the log
    QString path;      // percent-decoded
    QUrlQuery query;
    int minorVersion = 1;                         // HTTP/1.0 or HTTP/1.1
    QList<QPair<QByteArray, QByteArray>> headers; // names in lower case, values trimmed
    bool keepAlive = true;

    // The first header of that name (lower case), or none.
    std::optional<QByteArray> header(const QByteArray& name) const;
};

struct ParseResult {
    enum class Kind {
        NeedMore, // the head has not ended yet
        Ready,    // `request` is whole; `consumed` bytes of the input were its head
        Refused,  // `status` says why; the connection closes after saying so
    };
    Kind kind = Kind::NeedMore;
    Request request;
    qsizetype consumed = 0;
    int status = 0;
};

inline constexpr int kMaxHeaderLines = 100;

// Reads the head at the start of `input`, which holds at most `maxHeadBytes` bytes: a head
// that has not ended within that many bytes is refused (431), as are malformed heads (400),
// bodies (413) and versions other than 1.x (505).
ParseResult parseRequest(const QByteArray& input, qsizetype maxHeadBytes);

} // namespace utq::queryservice::http
