#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

// The files that `ip netns exec NAME` puts over /etc's resolv.conf and hosts for the programs it
// starts in the namespace NAME; gone with this.
class NamespaceEtc {
public:
    NamespaceEtc(const QString& namespaceName, const QByteArray& resolvConf,
                 const QByteArray& hosts)
        : folder_(QStringLiteral("/etc/netns/") + namespaceName) {
        ok_ = QDir().mkpath(folder_) && write("resolv.conf", resolvConf) && write("hosts", hosts);
    }
    ~NamespaceEtc() { QDir(folder_).removeRecursively(); }
    NamespaceEtc(const NamespaceEtc&) = delete;
    NamespaceEtc& operator=(const NamespaceEtc&) = delete;

    bool ok() const { return ok_; }

private:
    bool write(const char* name, const QByteArray& text) {
        QFile file(folder_ + u'/' + QLatin1String(name));
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
    }

    QString folder_;
    bool ok_ = false;
};
