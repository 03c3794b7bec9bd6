#include "queryservice/HostNames.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace utq::queryservice {
namespace {

bool isNameOrAddress(const QString& host) {
    static const QRegularExpression name(QStringLiteral("^[a-z0-9_]([a-z0-9_.-]{0,252})$"));
    return name.match(host).hasMatch() || !QHostAddress(host).isNull();
}

} // namespace

std::optional<QString> hostOfHeader(const QByteArray& value) {
    QString text = QString::fromLatin1(value.trimmed()).toLower();
    QString host = text;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        if (close < 0 || (close + 1 < text.size() && text[close + 1] != u':'))
            return std::nullopt;
        host = text.mid(1, close - 1);
        if (QHostAddress(host).protocol() != QAbstractSocket::IPv6Protocol)
            return std::nullopt;
        text = text.mid(close + 1);
    } else if (const qsizetype colon = text.indexOf(u':'); colon >= 0) {
        host = text.left(colon);
        text = text.mid(colon);
    } else {
        text.clear();
    }
    if (!text.isEmpty()) { // ":port"
        bool ok = false;
        const int port = text.mid(1).toInt(&ok);
        if (!ok || port < 0 || port > 65535)
            return std::nullopt;
    }
    // Whether it is a well-formed name does not matter: it is only ever compared with names
    // that are, and a check for each request would cost more than the comparison.
    if (host.isEmpty())
        return std::nullopt;
    return host;
}

std::optional<QString> serverName(const QString& text) {
    QString name = text.trimmed().toLower();
    if (name.startsWith(u'[') && name.endsWith(u']'))
        name = name.mid(1, name.size() - 2);
    if (name.isEmpty() || !isNameOrAddress(name) ||
        (name.contains(u':') && QHostAddress(name).protocol() != QAbstractSocket::IPv6Protocol))
        return std::nullopt;
    return name;
}

bool HostNames::serves(const std::optional<QByteArray>& header) const {
    if (serve == Serve::Any)
        return true;
    const auto host = header ? hostOfHeader(*header) : std::nullopt;
    if (!host)
        return false;
    if (serve == Serve::Listed)
        return names.contains(*host);
    return *host == QLatin1String("localhost") || QHostAddress(*host).isLoopback();
}

} // namespace utq::queryservice
