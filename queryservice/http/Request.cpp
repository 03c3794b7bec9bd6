#include "queryservice/http/Request.h"

#include <QUrl>

#include <cctype>

namespace utq::queryservice::http {
namespace {

ParseResult refused(int status) {
    ParseResult result;
    result.kind = ParseResult::Kind::Refused;
    result.status = status;
    return result;
}

// The characters of a method or header name (a "token").
bool isToken(const QByteArray& text) {
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        const bool alphanumeric =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alphanumeric && !QByteArrayView("!#$%&'*+-.^_`|~").contains(c))
            return false;
    }
    return true;
}

bool hasControlCharacters(const QByteArray& text, bool tabAllowed) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && !(tabAllowed && c == '\t')) || byte == 0x7F)
            return true;
    }
    return false;
}

bool hasToken(const QByteArray& list, const QByteArray& token) {
    for (const QByteArray& item : list.split(','))
        if (item.trimmed().toLower() == token)
            return true;
    return false;
}

// "HTTP/1.1" gives 1, "HTTP/1.0" 0; any other 1.x is read as 1.1. None for other versions.
std::optional<int> minorVersionOf(const QByteArray& version, bool& malformed) {
    malformed = !version.startsWith("HTTP/") || version.size() != 8 || version[6] != '.' ||
                !std::isdigit(static_cast<unsigned char>(version[5])) ||
                !std::isdigit(static_cast<unsigned char>(version[7]));
    if (malformed || version[5] != '1')
        return std::nullopt;
    return version[7] == '0' ? 0 : 1;
}

} // namespace

std::optional<QByteArray> Request::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers)
        if (key == name)
            return value;
    return std::nullopt;
}

ParseResult parseRequest(const QByteArray& input, qsizetype maxHeadBytes) {
    // Blank lines before a request line are allowed (some clients end a body with one more).
    qsizetype lineStart = 0;
    while (lineStart < input.size() && (input[lineStart] == '\r' || input[lineStart] == '\n'))
        ++lineStart;
    QList<QByteArray> lines;
    qsizetype headEnd = -1;
    for (qsizetype newline; (newline = input.indexOf('\n', lineStart)) >= 0;) {
        qsizetype lineEnd = newline;
        if (lineEnd > lineStart && input[lineEnd - 1] == '\r')
            --lineEnd;
        if (lineEnd == lineStart) {
            headEnd = newline + 1;
            break;
        }
        if (lines.size() > kMaxHeaderLines)
            return refused(431);
        lines.append(input.mid(lineStart, lineEnd - lineStart));
        lineStart = newline + 1;
    }
    if (headEnd < 0)
        return input.size() >= maxHeadBytes ? refused(431) : ParseResult{};
    if (headEnd > maxHeadBytes)
        return refused(431);

    ParseResult result;
    result.consumed = headEnd;
    Request& request = result.request;
    const QList<QByteArray> requestLine = lines.takeFirst().split(' ');
    if (requestLine.size() != 3 || !isToken(requestLine[0]))
        return refused(400);
    bool malformed = false;
    const auto minor = minorVersionOf(requestLine[2], malformed);
    if (!minor)
        return refused(malformed ? 400 : 505);
    request.method = requestLine[0];
    request.target = requestLine[1];
    request.minorVersion = *minor;
    if (!request.target.startsWith('/') || hasControlCharacters(request.target, false))
        return refused(400);
    const qsizetype question = request.target.indexOf('?');
    request.path =
        QUrl::fromPercentEncoding(question < 0 ? request.target : request.target.left(question));
    if (question >= 0)
        request.query.setQuery(QString::fromLatin1(request.target.mid(question + 1)));

    for (const QByteArray& line : lines) {
        const qsizetype colon = line.indexOf(':');
        // A folded line (starting with a blank) or a blank before the colon is not allowed.
        if (colon <= 0 || !isToken(line.left(colon)))
            return refused(400);
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (hasControlCharacters(value, true))
            return refused(400);
        request.headers.append({line.left(colon).toLower(), value});
    }

    qsizetype hosts = 0;
    for (const auto& [name, value] : request.headers) {
        if (name == "host")
            ++hosts;
        else if (name == "transfer-encoding")
            return refused(413); // no bodies are taken
        else if (name == "content-length") {
            bool number = false;
            const qulonglong length = value.toULongLong(&number);
            if (!number)
                return refused(400);
            if (length > 0)
                return refused(413);
        }
    }
    if (hosts > 1 || (hosts == 0 && request.minorVersion == 1))
        return refused(400);
    const QByteArray connection = request.header("connection").value_or(QByteArray());
    request.keepAlive = request.minorVersion == 1 ? !hasToken(connection, "close")
                                                  : hasToken(connection, "keep-alive");
    result.kind = ParseResult::Kind::Ready;
    return result;
}

} // namespace utq::queryservice::http
