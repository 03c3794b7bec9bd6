#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <map>
#include <optional>

struct ares_channeldata;
struct ares_addrinfo;

// A host name's IPv4 addresses, looked up with c-ares on the calling thread's event loop: the
// hosts file first, then the name servers of resolv.conf, as the system does. No thread waits
// on a look-up, each has a time bound, and one that is deleted stops at once: its sockets
// close and its question is forgotten.
namespace utq::platform {

struct HostAnswer {
    enum class Outcome {
        Found,    // addresses, with the time they may be kept
        NotFound, // the name servers say there is no such name (or no IPv4 address)
        TimedOut, // no answer within the look-up's time bound
        Failed,   // no name server could be asked, or what it said made no sense
    };
    Outcome outcome = Outcome::Failed;
    QList<QHostAddress> addresses;
    int ttlSeconds = 0; // the least of the answer's records; 0 from the hosts file
};

class HostLookup : public QObject {
public:
    using Done = std::function<void(const HostAnswer&)>;

    // Starts looking `name` up, for at most `timeLimitMs`. `done` is called once, from the
    // event loop, never from inside this constructor; it may delete the look-up. Deleting the
    // look-up before that cancels it, and `done` is never called. `nameServers` ("address:port"
    // separated by commas) replaces those of resolv.conf when given.
    HostLookup(const QString& name, int timeLimitMs, Done done, const QString& nameServers = {},
               QObject* parent = nullptr);
    ~HostLookup() override;

    HostLookup(const HostLookup&) = delete;
    HostLookup& operator=(const HostLookup&) = delete;

    // The name's IPv4 addresses in the hosts file, read now, without asking any name server;
    // none when it is not there.
    static std::optional<QList<QHostAddress>> inHostsFile(const QString& name);

private:
    static void onSocketState(void* self, int socket, int readable, int writable);
    static void onAnswer(void* self, int status, int timeouts, ares_addrinfo* result);
    void process(int readable, int writable);
    void watchTimeouts();
    void end(const HostAnswer& answer);
    void closeChannel();
    void deliver();

    struct Watch {
        QObject* read = nullptr; // QSocketNotifiers, children of this
        QObject* write = nullptr;
    };
    ares_channeldata* channel_ = nullptr;
    std::map<int, Watch> sockets_;
    QTimer retries_; // c-ares' own time-outs and retries
    QTimer limit_;   // the look-up's time bound
    bool ended_ = false;
    HostAnswer answer_;
    Done done_;
};

} // namespace utq::platform
