// Fuzzes the reading of UT3 challenge replies and the reassembly and reading of full-stats
// replies. The input is one reply: its datagrams one after another, each as a 2-byte
// little-endian length and that many bytes (fewer at the end of the input). Every datagram is
// offered as a challenge reply and as a part of one ReplyAssembly, which is then read.
#include "protocols/Ut3Protocol.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace utq::protocols;
using namespace utq::protocols::ut3;

namespace {

// The session id of every seed reply: 10 20 30 40.
constexpr quint32 kSession = 0x10203040;

void check(bool condition) {
    if (!condition)
        std::abort();
}

QList<QByteArray> datagramsOf(const uint8_t* data, size_t size) {
    QList<QByteArray> datagrams;
    size_t pos = 0;
    while (pos + 2 <= size) {
        const size_t length = std::min<size_t>(data[pos] | (data[pos + 1] << 8), size - pos - 2);
        datagrams.append(QByteArray(reinterpret_cast<const char*>(data + pos + 2),
                                    static_cast<qsizetype>(length)));
        pos += 2 + length;
    }
    return datagrams;
}

bool sameParts(const QMap<int, ReplyAssembly::Part>& a, const QMap<int, ReplyAssembly::Part>& b) {
    if (a.keys() != b.keys())
        return false;
    for (auto it = a.cbegin(); it != a.cend(); ++it)
        if (it->section != b[it.key()].section || it->payload != b[it.key()].payload)
            return false;
    return true;
}

void checkText(const QString& text) { check(text.size() <= kMaxText); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QList<QByteArray> datagrams = datagramsOf(data, size);

    ReplyAssembly reply(kSession);
    for (const QByteArray& datagram : datagrams) {
        if (parseChallenge(datagram, kSession))
            check(datagram.size() >= 6 && datagram[0] == '\x09');
        const bool taken = reply.add(datagram);
        check(!taken || (datagram.size() >= 16 && datagram[0] == '\0'));
    }
    const bool complete = reply.isComplete();
    const QMap<int, ReplyAssembly::Part> parts = reply.parts();
    check(parts.size() <= ReplyAssembly::kMaxParts);
    check(parts.isEmpty() || (parts.firstKey() >= 0 && parts.lastKey() < ReplyAssembly::kMaxParts));
    check(!complete || parts.lastKey() == parts.size() - 1); // parts 0 to the last, none missing

    // The same datagrams again, as a server that repeats itself sends them, change nothing.
    for (const QByteArray& datagram : datagrams)
        reply.add(datagram);
    check(sameParts(reply.parts(), parts));
    check(reply.isComplete() == complete);

    const ServerStatus status = statusFrom(reply);
    check(status.playerList.size() <= kMaxEntries);
    check(status.teams.size() <= kMaxEntries);
    check(status.rules.size() <= kMaxRules);
    checkText(status.name);
    checkText(status.map);
    checkText(status.gameType);
    for (const auto& [key, value] : status.rules) {
        checkText(key);
        checkText(value);
    }
    for (const PlayerStatus& player : status.playerList) {
        checkText(player.name);
        checkText(player.team);
    }
    for (const TeamScore& team : status.teams)
        checkText(team.team);
    return 0;
}
