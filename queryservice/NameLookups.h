#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>

namespace utq::platform {
class HostLookup;
struct HostAnswer;
} // namespace utq::platform

// The status pages' name look-ups, so that nobody can starve them: answers are kept for their
// TTL, each name has at most one look-up in flight, which every page waiting for it shares,
// look-ups are bounded in number, in all and per client, and in time by what their page has
// left, and one that no page waits for any more is cancelled. Known names keep resolving
// while strangers' names time out: the hosts file is read without asking any name server,
// recent answers are kept, and the clan's servers keep their last good answer for when a
// fresh one cannot be had.
namespace utq::queryservice {

struct NameLookupLimits {
    int inFlight = 16;           // look-ups being made at once; 0: no bound
    int perClient = 0;           // look-ups being made for one client; 0: no bound
    int names = 4096;            // names whose answers are kept, found or not
    int leastKeepSeconds = 30;   // an answer is kept at least this long, whatever its TTL
    int mostKeepSeconds = 3600;  // and at most this long
    int failureKeepSeconds = 10; // a name not found, or not in time, is not asked again sooner
    int refreshMs = 5000;        // the time bound of a clan server's refresh no page waits for
    QString nameServers;         // "address:port,..." in place of resolv.conf's; empty: those
};

class NameLookups : public QObject {
    Q_OBJECT
public:
    struct Answer {
        enum class Kind {
            Found,
            Unknown,    // no such name
            Late,       // no answer in time
            Busy,       // no room for another look-up
            ClientBusy, // no room for another look-up for this client
        };
        Kind kind = Kind::Unknown;
        QHostAddress address; // when found
    };
    using Done = std::function<void(const Answer&)>;

    // A page's wait for its name. Dropped, the page no longer waits, and a look-up that no page
    // waits for is cancelled.
    class Ticket {
    public:
        Ticket() = default;
        Ticket(Ticket&& other) noexcept { *this = std::move(other); }
        Ticket& operator=(Ticket&& other) noexcept;
        ~Ticket() { giveUp(); }
        void giveUp();

    private:
        friend class NameLookups;
        Ticket(std::weak_ptr<NameLookups*> owner, QString key, quint64 id)
            : owner_(std::move(owner)), key_(std::move(key)), id_(id) {}
        std::weak_ptr<NameLookups*> owner_;
        QString key_;
        quint64 id_ = 0;
    };

    // `clock`: milliseconds of a steady clock, for tests; none: the real one.
    explicit NameLookups(NameLookupLimits limits = {}, QObject* parent = nullptr,
                         std::function<qint64()> clock = {});
    ~NameLookups() override;

    // Names whose last good answer is kept for good, and given when a fresh one cannot be
    // had: the clan's servers. Their look-ups are never refused for want of room.
    void keepLastGood(const QStringList& names);

    // Looks `name` up for a page of `client` that has `timeLeftMs` left. `done` is called once,
    // at once when the answer is known or refused, unless the ticket is dropped first.
    [[nodiscard]] Ticket lookUp(const QString& name, const QHostAddress& client, qint64 timeLeftMs,
                                Done done);

    int inFlight() const { return static_cast<int>(pending_.size()); }

private:
    struct Pending {
        std::unique_ptr<platform::HostLookup> lookup;
        QHostAddress client;
        bool counted = false; // against the bounds: not the clan's servers
        std::map<quint64, Done> waiting;
    };
    struct Known {
        QHostAddress address; // null: not found, or not in time
        Answer::Kind failure = Answer::Kind::Unknown;
        qint64 untilMs = 0;
    };

    Ticket wait(const QString& key, Done done);
    void start(const QString& key, const QString& name, const QHostAddress& client,
               qint64 timeLimitMs, bool counted);
    void finished(const QString& key, const platform::HostAnswer& answer);
    void giveUp(const QString& key, quint64 id);
    void release(const Pending& pending);
    void remember(const QString& key, const Known& known);
    // The failure, or the last good answer when the name has one.
    Answer failure(const QString& key, Answer::Kind kind) const;

    NameLookupLimits limits_;
    std::function<qint64()> clock_;
    QElapsedTimer steady_;
    std::map<QString, Pending> pending_;
    int counted_ = 0;
    QHash<QHostAddress, int> perClient_;
    QHash<QString, Known> known_;
    QSet<QString> keptNames_;
    QHash<QString, QHostAddress> lastGood_;
    quint64 nextId_ = 0;
    std::shared_ptr<NameLookups*> alive_;
};

} // namespace utq::queryservice
