#include "queryservice/ForwardedClient.h"

#include <optional>

namespace utq::queryservice {
namespace {

// "192.0.2.60", "192.0.2.60:4711", "2001:db8::7" or "[2001:db8::7]:4711"; none for anything
// else, the "unknown" and "_hidden" names of RFC 7239 included.
std::optional<QHostAddress> hopAddress(QByteArray text) {
    text = text.trimmed();
    QByteArray host = text;
    QByteArray port;
    if (text.startsWith('[')) {
        const qsizetype close = text.indexOf(']');
        if (close < 0)
            return std::nullopt;
        host = text.mid(1, close - 1);
        const QByteArray rest = text.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(':'))
            return std::nullopt;
        port = rest.mid(1);
    } else if (text.count(':') == 1) {
        host = text.left(text.indexOf(':'));
        port = text.mid(text.indexOf(':') + 1);
    }
    if (!port.isEmpty() || text.endsWith(':')) {
        bool ok = false;
        const int number = port.toInt(&ok);
        if (!ok || number < 1 || number > 65535)
            return std::nullopt;
    }
    QHostAddress address;
    if (host.isEmpty() || host.contains('%') || !address.setAddress(QString::fromLatin1(host)))
        return std::nullopt;
    return plainAddress(address);
}

// The values of every header line of that name, in order, as one comma-separated list.
QList<QByteArray> listItems(const http::Request& request, const QByteArray& name) {
    QList<QByteArray> items;
    for (const auto& [key, value] : request.headers)
        if (key == name)
            items += value.split(',');
    return items;
}

// The for= value of each element of Forwarded, in order; an element without one is an empty
// value, which no address reads. Quoted strings hold no commas or semicolons an address needs.
QList<QByteArray> forwardedFor(const http::Request& request) {
    QList<QByteArray> hops;
    for (const QByteArray& element : listItems(request, "forwarded")) {
        QByteArray hop;
        for (const QByteArray& pair : element.split(';')) {
            const qsizetype equals = pair.indexOf('=');
            if (equals < 0 || pair.left(equals).trimmed().toLower() != "for")
                continue;
            hop = pair.mid(equals + 1).trimmed();
            if (hop.startsWith('"')) {
                if (hop.size() < 2 || !hop.endsWith('"'))
                    hop.clear();
                else
                    hop = hop.mid(1, hop.size() - 2);
            }
        }
        hops.append(hop);
    }
    return hops;
}

} // namespace

QHostAddress forwardedClient(const http::Request& request, const QHostAddress& peer,
                             const QList<Subnet>& trustedProxies) {
    const QHostAddress plainPeer = plainAddress(peer);
    if (!inAnyRange(plainPeer, trustedProxies))
        return peer;
    QList<QByteArray> hops = listItems(request, "x-forwarded-for");
    if (hops.isEmpty())
        hops = forwardedFor(request);
    // From the proxy next to us back towards the client: the first hop our proxies did not
    // add is the client; what lies before it the client may have written itself.
    std::optional<QHostAddress> client;
    for (auto hop = hops.crbegin(); hop != hops.crend(); ++hop) {
        client = hopAddress(*hop);
        if (!client)
            return peer;
        if (!inAnyRange(*client, trustedProxies))
            return *client;
    }
    return client.value_or(peer); // every hop a trusted proxy: the farthest one
}

} // namespace utq::queryservice
