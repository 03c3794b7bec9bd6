// Fuzzes the reading of UT3 LAN beacon replies. The input is one datagram; the nonce it is read
// with is its own bytes 8 to 15, so that a mutated body gets past the header check.
#include "protocols/StatusBounds.h"
#include "protocols/UdkBeacon.h"

#include <QByteArray>
#include <QtEndian>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace utq::protocols;
using namespace utq::protocols::udk;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray datagram(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const quint64 nonce = size >= 16 ? qFromBigEndian<quint64>(data + 8) : 0;
    const auto reply = readBeaconReply(datagram, nonce);
    check(!readBeaconReply(datagram, nonce + 1)); // another search's nonce
    if (!reply)
        return 0;
    check(size >= 16 && size <= static_cast<size_t>(kMaxReplyBytes) && data[0] == 5 &&
          data[6] == 'S' && data[7] == 'R');
    check(reply->gamePort > 0);
    check(reply->players >= 0 && reply->players <= reply->maxPlayers &&
          reply->maxPlayers <= kMaxSlots);
    check(reply->ownerName.size() <= bounds::kMaxText);
    check(reply->map.size() <= bounds::kMaxText);
    check(reply->gameType.size() <= bounds::kMaxText);
    const auto again = readBeaconReply(datagram, nonce);
    check(again && again->ownerName == reply->ownerName && again->map == reply->map &&
          again->password == reply->password && again->gameMode == reply->gameMode);
    return 0;
}
