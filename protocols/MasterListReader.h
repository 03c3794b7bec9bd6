#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QSet>

// Reads a UT99 master's list, \ip\a.b.c.d:PORT\ip\...\final\, as its bytes come, split
// anywhere. The master is anybody's peer: the reader keeps only well-formed IPv4 entries,
// each once, at most kMostPortsPerAddress ports of one address, and stops at its bounds.
namespace utq::protocols {

// One server a master listed: its address and its query port.
struct ListedServer {
    QHostAddress address;
    quint16 queryPort = 0;
    friend bool operator==(const ListedServer&, const ListedServer&) = default;
};

// Entries read but not kept.
struct LeftOut {
    int malformed = 0;   // not a dotted-quad IPv4 address with a port of 1 to 65535
    int duplicates = 0;  // listed before
    int overPortCap = 0; // an address that already has kMostPortsPerAddress ports
    int total() const { return malformed + duplicates + overPortCap; }
};

class MasterListReader {
public:
    // Far above any real list (a few thousand servers in some fifty kilobytes).
    static constexpr qsizetype kMostBytes = 4 * 1024 * 1024;
    static constexpr int kMostEntries = 20000;
    // More ports of one address would make every player's program send at one machine.
    static constexpr int kMostPortsPerAddress = 64;

    enum class State {
        Reading,  // the list goes on
        Complete, // \final\ came; anything after it is not read
        Refused,  // the master answered \echo\ text instead (a refused validate)
        NotAList, // the bytes are not a master's list
        TooLarge, // a bound was reached: the list is kept as far as it was read
    };

    // Takes the next bytes of the master's answer and returns the state after them. Once the
    // state is not Reading, further bytes are ignored.
    State feed(QByteArrayView bytes);

    State state() const { return state_; }
    // The servers kept, in the order the master listed them.
    const QList<ListedServer>& servers() const { return servers_; }
    const LeftOut& leftOut() const { return leftOut_; }
    qsizetype bytesRead() const { return bytes_; }
    // At least one \ip\ key was read: the master is sending a list.
    bool sawList() const { return sawIp_; }

private:
    void takeByte(char c);
    void endToken();
    void takeEntry(QByteArrayView text);

    State state_ = State::Reading;
    QList<ListedServer> servers_;
    QSet<quint64> seen_;          // address << 16 | port
    QHash<quint32, int> portsOf_; // ports kept per address
    LeftOut leftOut_;
    qsizetype bytes_ = 0;
    bool started_ = false; // the leading backslash came
    bool inValue_ = false; // reading an \ip\ value rather than a key
    bool sawIp_ = false;
    bool tokenTooLong_ = false;
    QByteArray token_;
};

} // namespace utq::protocols
