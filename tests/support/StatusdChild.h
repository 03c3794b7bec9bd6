#pragma once

#include "EventLoopWait.h"

#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

// utquery-statusd as a child process, and single requests to it, each over a connection of its
// own from the address given: every loopback address is a client of its own to the service.

inline quint16 freeTcpPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The whole answer to one GET with `headers` (a Host line among them).
inline QByteArray fetch(const QHostAddress& at, quint16 port, const QByteArray& target,
                        const QByteArray& headers,
                        const QHostAddress& from = QHostAddress::LocalHost) {
    QTcpSocket socket;
    socket.bind(from);
    socket.connectToHost(at, port);
    socket.write("GET " + target + " HTTP/1.1\r\n" + headers + "Connection: close\r\n\r\n");
    QByteArray answer;
    waitUntil(
        [&] {
            answer += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        10000);
    return answer + socket.readAll();
}

// The same, with the Host that names the service's own address and port.
inline QByteArray fetch(const QHostAddress& at, quint16 port, const QByteArray& target,
                        const QHostAddress& from = QHostAddress::LocalHost) {
    return fetch(at, port, target,
                 "Host: " + at.toString().toLatin1() + ':' + QByteArray::number(port) + "\r\n",
                 from);
}

// The HTTP status of a whole answer; 0 when none came.
inline int statusOf(const QByteArray& answer) {
    return answer.startsWith("HTTP/1.1 ") ? answer.mid(9, 3).toInt() : 0;
}

// utquery-statusd's default masters are internet hosts, which no test may ask: a test names
// its own masters, or this closed port of its own loopback when it wants no list.
inline const QStringList kNoMasters = {QStringLiteral("--master"), QStringLiteral("127.0.0.1:1")};

// Starts the program with `command` (its path first, or a launcher such as `ip netns exec`);
// true once it says it is serving. A command that names no master is not started.
inline bool startServing(QProcess& statusd, const QStringList& command) {
    if (!command.contains(QStringLiteral("--master"))) {
        qWarning("utquery-statusd would ask its default masters: %s",
                 qPrintable(command.join(' ')));
        return false;
    }
    statusd.start(command.first(), command.mid(1));
    return statusd.waitForStarted(5000) &&
           waitUntil([&] { return statusd.canReadLine(); }, 10000) &&
           statusd.readLine().contains("serving on");
}
