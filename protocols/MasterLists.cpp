#include "protocols/MasterLists.h"

namespace utq::protocols {

MasterLists::MasterLists(QObject* parent) : QObject(parent) {}

void MasterLists::start(const QList<MasterAddress>& masters, int deadlineMs) {
    if (started_)
        return;
    started_ = true;
    pending_ = static_cast<int>(masters.size());
    if (pending_ == 0)
        QMetaObject::invokeMethod(this, &MasterLists::finished, Qt::QueuedConnection);
    for (const MasterAddress& master : masters) {
        const QString name =
            master.name.isEmpty()
                ? QStringLiteral("%1:%2").arg(master.address.toString()).arg(master.port)
                : master.name;
        auto* query = new MasterQuery(master.address, master.port, deadlineMs, this);
        connect(query, &MasterQuery::finished, this, [this, query, name] {
            merge(name, query->outcome().servers);
            reports_.append({name, query->outcome()});
            query->deleteLater();
            --pending_;
            emit masterFinished(reports_.last(), servers_);
            if (pending_ == 0)
                emit finished();
        });
        query->start();
    }
}

void MasterLists::merge(const QString& master, const QList<ListedServer>& servers) {
    for (const ListedServer& server : servers) {
        const quint32 address = server.address.toIPv4Address();
        const quint64 key = quint64(address) << 16 | server.queryPort;
        if (const auto found = indexOf_.constFind(key); found != indexOf_.cend()) {
            QStringList& masters = servers_[*found].masters;
            if (!masters.contains(master))
                masters.append(master);
            continue;
        }
        // The cap holds for the merged list too: masters may each list other ports of one address.
        int& ports = portsOf_[address];
        if (ports == MasterListReader::kMostPortsPerAddress) {
            ++overPortCap_;
            continue;
        }
        ++ports;
        indexOf_.insert(key, servers_.size());
        servers_.append({server.address, server.queryPort, {master}});
    }
}

} // namespace utq::protocols
