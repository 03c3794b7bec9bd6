#include "queryservice/NameLookups.h"

#include "platform/HostLookup.h"
#include "queryservice/http/ClientKey.h"

#include <algorithm>

namespace utq::queryservice {
namespace {

NameLookups::Answer found(const QHostAddress& address) {
    return {NameLookups::Answer::Kind::Found, address};
}

} // namespace

NameLookups::Ticket& NameLookups::Ticket::operator=(Ticket&& other) noexcept {
    if (this != &other) {
        giveUp();
        owner_ = std::move(other.owner_);
        key_ = std::move(other.key_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

void NameLookups::Ticket::giveUp() {
    if (id_ == 0)
        return;
    if (const auto owner = owner_.lock())
        (*owner)->giveUp(key_, id_);
    id_ = 0;
}

NameLookups::NameLookups(NameLookupLimits limits, QObject* parent, std::function<qint64()> clock)
    : QObject(parent), limits_(std::move(limits)), clock_(std::move(clock)),
      alive_(std::make_shared<NameLookups*>(this)) {
    steady_.start();
    if (!clock_)
        clock_ = [this] {
            return steady_.elapsed();
        };
}

NameLookups::~NameLookups() {
    alive_.reset(); // pages that let go of their tickets now find nobody to tell
    const auto cancelled = std::move(pending_);
}

void NameLookups::keepLastGood(const QStringList& names) {
    for (const QString& name : names)
        keptNames_.insert(name.toLower());
}

NameLookups::Ticket NameLookups::lookUp(const QString& name, const QHostAddress& asker,
                                        qint64 timeLeftMs, Done done) {
    const QHostAddress client = http::clientKey(asker); // an IPv6 /64 is one client
    const QString key = name.toLower();
    const qint64 now = clock_();
    if (const auto known = known_.constFind(key); known != known_.cend()) {
        if (known->untilMs > now) {
            done(known->address.isNull() ? failure(key, known->failure) : found(known->address));
            return {};
        }
        known_.erase(known);
    }
    // A clan server's last good answer serves at once; a fresh one is asked for meanwhile.
    if (const auto last = lastGood_.constFind(key); last != lastGood_.cend()) {
        done(found(last.value()));
        if (!pending_.contains(key))
            start(key, name, client, limits_.refreshMs, false);
        return {};
    }
    if (pending_.contains(key))
        return wait(key, std::move(done));
    // The machine's own names are read, never asked for: nothing a stranger does delays them.
    // Only names not kept nor being looked up cost a reading of the file.
    if (const auto local = platform::HostLookup::inHostsFile(name); local && !local->isEmpty()) {
        done(found(local->first()));
        return {};
    }
    const bool counted = !keptNames_.contains(key);
    if (counted && limits_.inFlight > 0 && counted_ >= limits_.inFlight) {
        done({Answer::Kind::Busy, {}});
        return {};
    }
    if (counted && limits_.perClient > 0 && perClient_.value(client) >= limits_.perClient) {
        done({Answer::Kind::ClientBusy, {}});
        return {};
    }
    start(key, name, client, timeLeftMs, counted);
    return wait(key, std::move(done));
}

NameLookups::Ticket NameLookups::wait(const QString& key, Done done) {
    const quint64 id = ++nextId_;
    pending_.at(key).waiting.emplace(id, std::move(done));
    return Ticket(alive_, key, id);
}

void NameLookups::start(const QString& key, const QString& name, const QHostAddress& client,
                        qint64 timeLimitMs, bool counted) {
    Pending& pending = pending_[key];
    pending.client = client;
    pending.counted = counted;
    if (counted) {
        ++counted_;
        ++perClient_[client];
    }
    pending.lookup = std::make_unique<platform::HostLookup>(
        name, static_cast<int>(std::clamp<qint64>(timeLimitMs, 1, 60000)),
        [this, key](const platform::HostAnswer& answer) { finished(key, answer); },
        limits_.nameServers);
}

void NameLookups::finished(const QString& key, const platform::HostAnswer& answer) {
    auto node = pending_.extract(key);
    if (node.empty())
        return;
    Pending& pending = node.mapped();
    release(pending);
    pending.lookup.release()->deleteLater(); // this is called from inside it
    using Outcome = platform::HostAnswer::Outcome;
    const qint64 now = clock_();
    Answer told;
    if (answer.outcome == Outcome::Found) {
        const qint64 keepSeconds = std::clamp<qint64>(answer.ttlSeconds, limits_.leastKeepSeconds,
                                                      limits_.mostKeepSeconds);
        told = found(answer.addresses.first());
        remember(key, {told.address, Answer::Kind::Unknown, now + keepSeconds * 1000});
        if (keptNames_.contains(key))
            lastGood_.insert(key, told.address);
    } else {
        const auto kind =
            answer.outcome == Outcome::TimedOut ? Answer::Kind::Late : Answer::Kind::Unknown;
        remember(key, {{}, kind, now + limits_.failureKeepSeconds * 1000});
        told = failure(key, kind);
    }
    // A page told may let go of its ticket, or ask again: the look-up is no longer pending.
    for (auto& [id, done] : pending.waiting)
        done(told);
}

void NameLookups::giveUp(const QString& key, quint64 id) {
    const auto pending = pending_.find(key);
    if (pending == pending_.end() || pending->second.waiting.erase(id) == 0 ||
        !pending->second.waiting.empty())
        return;
    release(pending->second);
    pending_.erase(pending); // its sockets close and its question is forgotten
}

void NameLookups::release(const Pending& pending) {
    if (!pending.counted)
        return;
    --counted_;
    if (const auto client = perClient_.find(pending.client);
        client != perClient_.end() && --client.value() <= 0)
        perClient_.erase(client);
}

void NameLookups::remember(const QString& key, const Known& known) {
    if (known_.size() >= limits_.names && !known_.contains(key)) {
        const qint64 now = clock_();
        known_.removeIf([now](const auto& entry) { return entry.value().untilMs <= now; });
        if (known_.size() >= limits_.names)
            known_.erase(
                std::min_element(known_.begin(), known_.end(), [](const Known& a, const Known& b) {
                    return a.untilMs < b.untilMs;
                }));
    }
    if (limits_.names > 0)
        known_.insert(key, known);
}

NameLookups::Answer NameLookups::failure(const QString& key, Answer::Kind kind) const {
    const auto last = lastGood_.constFind(key);
    return last != lastGood_.cend() ? found(last.value()) : Answer{kind, {}};
}

} // namespace utq::queryservice
