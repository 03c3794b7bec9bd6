#include "queryservice/http/Response.h"

namespace utq::queryservice::http {

QByteArray reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Content Too Large";
    case 421:
        return "Misdirected Request";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Unknown";
    }
}

QByteArray serialize(const Response& response, bool withBody, bool close) {
    QByteArray bytes;
    bytes.reserve(256 + (withBody ? response.body.size() : 0));
    bytes += "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
             reasonPhrase(response.status) + "\r\n";
    if (!response.contentType.isEmpty())
        bytes += "Content-Type: " + response.contentType + "\r\n";
    bytes += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    for (const auto& [name, value] : response.headers)
        bytes += name + ": " + value + "\r\n";
    if (close)
        bytes += "Connection: close\r\n";
    bytes += "\r\n";
    if (withBody)
        bytes += response.body;
    return bytes;
}

} // namespace utq::queryservice::http
