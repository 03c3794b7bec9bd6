#include "platform/HostLookup.h"

#include <QSocketNotifier>

#include <ares.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace utq::platform {
namespace {

bool libraryReady() {
    static const bool ready = ares_library_init(ARES_LIB_INIT_ALL) == ARES_SUCCESS;
    return ready;
}

HostAnswer answerOf(int status, const ares_addrinfo* result) {
    HostAnswer answer;
    switch (status) {
    case ARES_SUCCESS:
        break;
    case ARES_ENOTFOUND:
    case ARES_ENODATA:
    case ARES_ENONAME:
        answer.outcome = HostAnswer::Outcome::NotFound;
        return answer;
    case ARES_ETIMEOUT:
        answer.outcome = HostAnswer::Outcome::TimedOut;
        return answer;
    default:
        return answer;
    }
    int ttl = INT_MAX;
    for (const ares_addrinfo_node* node = result ? result->nodes : nullptr; node;
         node = node->ai_next) {
        if (node->ai_family != AF_INET || !node->ai_addr)
            continue;
        answer.addresses.append(QHostAddress(node->ai_addr));
        ttl = std::min(ttl, std::max(node->ai_ttl, 0));
    }
    answer.outcome =
        answer.addresses.isEmpty() ? HostAnswer::Outcome::NotFound : HostAnswer::Outcome::Found;
    answer.ttlSeconds = answer.addresses.isEmpty() ? 0 : ttl;
    return answer;
}

// IPv4 only; the hosts file's path may come from CARES_HOSTS, and addresses are not sorted,
// which would open a socket towards each.
ares_addrinfo_hints ipv4Hints() {
    ares_addrinfo_hints hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_flags = ARES_AI_NOSORT | ARES_AI_ENVHOSTS;
    return hints;
}

} // namespace

HostLookup::HostLookup(const QString& name, int timeLimitMs, Done done, const QString& nameServers,
                       QObject* parent)
    : QObject(parent), done_(std::move(done)) {
    retries_.setSingleShot(true);
    connect(&retries_, &QTimer::timeout, this,
            [this] { process(ARES_SOCKET_BAD, ARES_SOCKET_BAD); });
    limit_.setSingleShot(true);
    connect(&limit_, &QTimer::timeout, this, [this] {
        HostAnswer late;
        late.outcome = HostAnswer::Outcome::TimedOut;
        end(late);
        closeChannel();
        deliver();
    });

    // Each try gets a third of the time, the second try twice as long, as c-ares doubles it.
    ares_options options;
    std::memset(&options, 0, sizeof options);
    options.timeout = std::clamp(timeLimitMs / 3, 50, 3000);
    options.tries = 2;
    options.sock_state_cb = &HostLookup::onSocketState;
    options.sock_state_cb_data = this;
    const int mask = ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES | ARES_OPT_SOCK_STATE_CB;
    ares_channel channel = nullptr;
    if (!libraryReady() || ares_init_options(&channel, &options, mask) != ARES_SUCCESS) {
        if (channel)
            ares_destroy(channel);
        end({});
    } else {
        channel_ = channel;
        const QByteArray servers = nameServers.toLatin1();
        if (!servers.isEmpty() &&
            ares_set_servers_ports_csv(channel_, servers.constData()) != ARES_SUCCESS)
            end({});
    }
    if (!ended_) {
        const ares_addrinfo_hints hints = ipv4Hints();
        ares_getaddrinfo(channel_, name.toUtf8().constData(), nullptr, &hints,
                         &HostLookup::onAnswer, this);
    }
    if (ended_) { // from the hosts file, or not started at all: told from the event loop
        closeChannel();
        QTimer::singleShot(0, this, [this] { deliver(); });
        return;
    }
    limit_.start(std::max(timeLimitMs, 1));
    watchTimeouts();
}

HostLookup::~HostLookup() {
    ended_ = true; // a question ended by closing the channel is no answer
    closeChannel();
}

std::optional<QList<QHostAddress>> HostLookup::inHostsFile(const QString& name) {
    if (!libraryReady())
        return std::nullopt;
    char filesOnly[] = "f";
    ares_options options;
    std::memset(&options, 0, sizeof options);
    options.lookups = filesOnly;
    ares_channel channel = nullptr;
    if (ares_init_options(&channel, &options, ARES_OPT_LOOKUPS) != ARES_SUCCESS) {
        if (channel)
            ares_destroy(channel);
        return std::nullopt;
    }
    HostAnswer answer;
    const ares_addrinfo_hints hints = ipv4Hints();
    // The file is read at once, so the answer comes before ares_getaddrinfo returns.
    ares_getaddrinfo(
        channel, name.toUtf8().constData(), nullptr, &hints,
        [](void* into, int status, int, ares_addrinfo* result) {
            if (status != ARES_EDESTRUCTION)
                *static_cast<HostAnswer*>(into) = answerOf(status, result);
            if (result)
                ares_freeaddrinfo(result);
        },
        &answer);
    ares_destroy(channel);
    if (answer.outcome != HostAnswer::Outcome::Found)
        return std::nullopt;
    return answer.addresses;
}

void HostLookup::onSocketState(void* self, int socket, int readable, int writable) {
    auto* lookup = static_cast<HostLookup*>(self);
    Watch& watch = lookup->sockets_[socket];
    const auto follow = [lookup, socket](QObject*& notifier, bool wanted,
                                         QSocketNotifier::Type type) {
        if (wanted && !notifier) {
            auto* created = new QSocketNotifier(socket, type, lookup);
            const bool reading = type == QSocketNotifier::Read;
            connect(created, &QSocketNotifier::activated, lookup, [lookup, socket, reading] {
                lookup->process(reading ? socket : ARES_SOCKET_BAD,
                                reading ? ARES_SOCKET_BAD : socket);
            });
            notifier = created;
        } else if (!wanted && notifier) {
            // Perhaps inside its own signal: it goes when the event loop is back.
            static_cast<QSocketNotifier*>(notifier)->setEnabled(false);
            notifier->deleteLater();
            notifier = nullptr;
        }
    };
    follow(watch.read, readable != 0, QSocketNotifier::Read);
    follow(watch.write, writable != 0, QSocketNotifier::Write);
    if (!watch.read && !watch.write)
        lookup->sockets_.erase(socket);
}

void HostLookup::onAnswer(void* self, int status, int, ares_addrinfo* result) {
    auto* lookup = static_cast<HostLookup*>(self);
    const HostAnswer answer = answerOf(status, result);
    if (result)
        ares_freeaddrinfo(result);
    if (status != ARES_EDESTRUCTION && status != ARES_ECANCELLED)
        lookup->end(answer);
}

void HostLookup::process(int readable, int writable) {
    if (ended_ || !channel_)
        return;
    ares_process_fd(channel_, readable, writable);
    if (!ended_)
        return watchTimeouts();
    closeChannel();
    deliver(); // last: it may delete this
}

void HostLookup::watchTimeouts() {
    timeval wait{};
    if (ares_timeout(channel_, nullptr, &wait))
        retries_.start(static_cast<int>(wait.tv_sec * 1000 + (wait.tv_usec + 999) / 1000));
    else
        retries_.stop();
}

void HostLookup::end(const HostAnswer& answer) {
    if (ended_)
        return;
    ended_ = true;
    answer_ = answer;
}

void HostLookup::closeChannel() {
    retries_.stop();
    limit_.stop();
    if (!channel_)
        return;
    ares_channel channel = channel_;
    channel_ = nullptr;
    ares_destroy(channel); // closes its sockets, whose watches go with them
    for (auto& [socket, watch] : sockets_) {
        for (QObject* notifier : {watch.read, watch.write})
            if (notifier)
                notifier->deleteLater();
    }
    sockets_.clear();
}

void HostLookup::deliver() {
    Done done = std::move(done_);
    done_ = nullptr;
    if (done)
        done(answer_);
}

} // namespace utq::platform
