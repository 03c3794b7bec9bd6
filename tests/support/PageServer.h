#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QTcpServer>

// A small HTTP server on 127.0.0.1 that answers every GET with a page and records the exact
// request target (path and query, as sent) of each request.
class PageServer : public QObject {
    Q_OBJECT
public:
    explicit PageServer(QObject* parent = nullptr);

    quint16 port() const { return server_.serverPort(); }
    QString hostAndPort() const { return QStringLiteral("127.0.0.1:%1").arg(port()); }

    // Request targets in the order they arrived, without the browser's favicon look-ups.
    QStringList targets() const;
    int countPath(const QString& path) const; // targets whose path (before '?') is `path`
    QStringList targetsWithPath(const QString& path) const;
    void clear() { targets_.clear(); }

    // The body served for `path`; every other path gets a plain page.
    void setPage(const QString& path, const QByteArray& html) { pages_.insert(path, html); }

signals:
    void requested(const QString& target);

private:
    void serve(QTcpSocket* socket);

    QTcpServer server_;
    QStringList targets_;
    QHash<QString, QByteArray> pages_;
};
