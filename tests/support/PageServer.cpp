#include "PageServer.h"

#include <QTcpSocket>

PageServer::PageServer(QObject* parent) : QObject(parent) {
    server_.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

void PageServer::serve(QTcpSocket* socket) {
    QByteArray buffered = socket->property("buffered").toByteArray() + socket->readAll();
    const qsizetype end = buffered.indexOf("\r\n\r\n");
    if (end < 0) {
        socket->setProperty("buffered", buffered);
        return;
    }
    socket->setProperty("buffered", QByteArray());
    const QList<QByteArray> requestLine = buffered.left(buffered.indexOf("\r\n")).split(' ');
    const QString target =
        requestLine.size() >= 2 ? QString::fromLatin1(requestLine[1]) : QString();
    const QString path = target.section(u'?', 0, 0);
    if (path != QLatin1String("/favicon.ico")) {
        targets_.append(target);
        emit requested(target);
    }
    const QByteArray body =
        pages_.value(path, QByteArrayLiteral("<!doctype html><html><body>page</body></html>"));
    socket->write(
        "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n"
        "Connection: close\r\nContent-Length: " +
        QByteArray::number(body.size()) + "\r\n\r\n" + body);
    socket->disconnectFromHost();
}

QStringList PageServer::targets() const { return targets_; }

QStringList PageServer::targetsWithPath(const QString& path) const {
    QStringList found;
    for (const QString& target : targets_)
        if (target.section(u'?', 0, 0) == path)
            found.append(target);
    return found;
}

int PageServer::countPath(const QString& path) const {
    return static_cast<int>(targetsWithPath(path).size());
}
