// Fuzzes the reading of a UT99 master's list. The first input byte chooses how the rest is cut
// into chunks; the rest is the master's answer. Read in chunks or whole, the list must come
// out the same, and within the reader's bounds.
#include "protocols/MasterListReader.h"

#include <QByteArray>
#include <QHash>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace utq::protocols;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const quint8 cut = data[0];
    const QByteArrayView answer(reinterpret_cast<const char*>(data) + 1,
                                static_cast<qsizetype>(size) - 1);

    MasterListReader whole;
    whole.feed(answer);

    // Chunks of 1 to 16 bytes, their sizes following from `cut` and the bytes themselves.
    MasterListReader pieces;
    for (qsizetype at = 0; at < answer.size();) {
        const qsizetype step =
            qMin<qsizetype>(1 + (cut + quint8(answer[at])) % 16, answer.size() - at);
        pieces.feed(answer.sliced(at, step));
        at += step;
    }
    check(pieces.state() == whole.state());
    check(pieces.servers() == whole.servers());
    check(pieces.bytesRead() == whole.bytesRead());
    check(pieces.leftOut().total() == whole.leftOut().total());

    // Within bounds: each entry needs its own "\ip\" and a few bytes more.
    check(whole.bytesRead() <= answer.size());
    check(whole.servers().size() <= MasterListReader::kMostEntries);
    check(whole.servers().size() * 11 <= whole.bytesRead());
    QHash<quint32, int> ports;
    for (const ListedServer& server : whole.servers()) {
        check(server.queryPort != 0);
        check(++ports[server.address.toIPv4Address()] <= MasterListReader::kMostPortsPerAddress);
    }
    return 0;
}
