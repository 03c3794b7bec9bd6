#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The names a service answers to in the Host header. A name that is not the service's is a
// page elsewhere whose DNS name was turned to point here (DNS rebinding), or a request meant
// for another site.
namespace utq::queryservice {

// The host of a Host header value ("name", "name:port", "[::1]:port"), in lower case and
// without brackets; none when it is empty or its port is no port.
std::optional<QString> hostOfHeader(const QByteArray& value);

// A name or address an operator may give as a served name: lower case, without brackets and
// without a port; none when it is no such thing.
std::optional<QString> serverName(const QString& text);

struct HostNames {
    enum class Serve {
        Any,           // every Host, and none
        LoopbackNames, // localhost, 127.x.y.z and [::1], with any port
        Listed,        // the names listed, with any port
    };
    Serve serve = Serve::Any;
    QStringList names; // lower case, without brackets or port

    // `header` is the request's Host, none when it sent none.
    bool serves(const std::optional<QByteArray>& header) const;
};

} // namespace utq::queryservice
