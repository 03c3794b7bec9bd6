// Fuzzes the reassembly and reading of UT99 status replies. The input is one reply: its
// datagrams separated by newlines (a byte real replies never carry), fed in order to one
// ReplyAssembly, which is then read into a status.
#include "protocols/Ut99Protocol.h"

#include <QByteArray>
#include <QList>

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
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QList<QByteArray> datagrams = input.split('\n');

    ut99::ReplyAssembly reply;
    for (const QByteArray& datagram : datagrams) {
        const bool taken = reply.add(datagram);
        check(!taken || datagram.startsWith('\\')); // only backslash text is a reply
    }
    const bool complete = reply.isComplete();
    const QList<QPair<QString, QString>> items = reply.items();
    // Every item needs at least one backslash of the input.
    check(items.size() <= input.count('\\'));

    // The same datagrams again, as a server that repeats itself sends them, change nothing.
    for (const QByteArray& datagram : datagrams)
        reply.add(datagram);
    check(reply.items() == items);
    check(reply.isComplete() == complete);

    const ServerStatus status = ut99::statusFrom(items);
    // An item gives a rule or a player's field, never both.
    check(status.playerList.size() + status.rules.size() <= items.size());
    for (const PlayerStatus& player : status.playerList)
        check(!player.name.isEmpty());
    return 0;
}
