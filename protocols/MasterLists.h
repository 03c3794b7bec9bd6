#pragma once

#include "protocols/MasterQuery.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

// Asks several UT99 masters at once and merges their lists as each one finishes: no master
// holds every server, and a slow one must not keep the others' servers from the page.
namespace utq::protocols {

// A master to ask: its address (the caller looks its name up) and the name a page shows.
struct MasterAddress {
    QString name; // "master.333networks.com:28900"
    QHostAddress address;
    quint16 port = kMasterPort;
};

// A server in the merged list, with the names of the masters that listed it.
struct MergedServer {
    QHostAddress address;
    quint16 queryPort = 0;
    QStringList masters;
};

// One master's part: its name and how its exchange went (the servers it listed included).
struct MasterReport {
    QString name;
    MasterOutcome outcome;
};

class MasterLists : public QObject {
    Q_OBJECT
public:
    explicit MasterLists(QObject* parent = nullptr);

    // Asks every master in `masters` at once. One run per object. `deadlineMs` is for tests.
    void start(const QList<MasterAddress>& masters, int deadlineMs = kMasterDeadlineMs);

    // The servers of the masters that finished, in the order they were first listed.
    const QList<MergedServer>& servers() const { return servers_; }
    // The masters that finished so far, in the order they finished.
    const QList<MasterReport>& reports() const { return reports_; }
    // Ports left out of the merged list because their address already had
    // MasterListReader::kMostPortsPerAddress of them.
    int overPortCap() const { return overPortCap_; }
    bool isFinished() const { return started_ && pending_ == 0; }

signals:
    // One master finished; its servers are in `mergedSoFar` (the same as servers()).
    void masterFinished(const utq::protocols::MasterReport& report,
                        const QList<utq::protocols::MergedServer>& mergedSoFar);
    // Every master finished.
    void finished();

private:
    void merge(const QString& master, const QList<ListedServer>& servers);

    QList<MergedServer> servers_;
    QHash<quint64, qsizetype> indexOf_; // address << 16 | port
    QHash<quint32, int> portsOf_;
    QList<MasterReport> reports_;
    int overPortCap_ = 0;
    int pending_ = 0;
    bool started_ = false;
};

} // namespace utq::protocols
