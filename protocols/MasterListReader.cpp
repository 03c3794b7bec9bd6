#include "protocols/MasterListReader.h"

#include <optional>

namespace utq::protocols {
namespace {

// The keys a master sends are short ("ip", "final", "echo"); a longer one is no list's.
constexpr qsizetype kMostKey = 16;
// "255.255.255.255:65535"; anything longer is malformed and is not kept while it comes.
constexpr qsizetype kMostEntryText = 21;

// Decimal digits without a sign or a leading zero (which some readers take for octal).
std::optional<quint32> numberFrom(QByteArrayView digits, qsizetype mostDigits) {
    if (digits.isEmpty() || digits.size() > mostDigits || (digits.size() > 1 && digits[0] == '0'))
        return std::nullopt;
    quint32 value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<quint32>(c - '0');
    }
    return value;
}

// `a.b.c.d:port`, each octet 0 to 255, the port 1 to 65535.
std::optional<std::pair<quint32, quint16>> entryFrom(QByteArrayView text) {
    const qsizetype colon = text.indexOf(':');
    if (colon < 0)
        return std::nullopt;
    const auto port = numberFrom(text.sliced(colon + 1), 5);
    if (!port || *port == 0 || *port > 65535)
        return std::nullopt;
    QByteArrayView rest = text.first(colon);
    quint32 address = 0;
    for (int octet = 0; octet < 4; ++octet) {
        const qsizetype dot = octet < 3 ? rest.indexOf('.') : rest.size();
        if (dot < 0)
            return std::nullopt;
        const auto value = numberFrom(rest.first(dot), 3);
        if (!value || *value > 255)
            return std::nullopt;
        address = address << 8 | *value;
        rest = rest.sliced(qMin(dot + 1, rest.size()));
    }
    return std::pair{address, static_cast<quint16>(*port)};
}

} // namespace

MasterListReader::State MasterListReader::feed(QByteArrayView bytes) {
    const qsizetype room = kMostBytes - bytes_;
    for (char c : bytes.first(qMin(bytes.size(), room))) {
        if (state_ != State::Reading)
            return state_;
        ++bytes_;
        takeByte(c);
    }
    if (state_ == State::Reading && bytes.size() > room)
        state_ = State::TooLarge;
    return state_;
}

void MasterListReader::takeByte(char c) {
    if (!started_) {
        started_ = true;
        if (c != '\\')
            state_ = State::NotAList;
        return;
    }
    if (c == '\\')
        return endToken();
    if (token_.size() < (inValue_ ? kMostEntryText : kMostKey))
        token_.append(c);
    else if (inValue_)
        tokenTooLong_ = true;
    else
        state_ = State::NotAList;
}

void MasterListReader::endToken() {
    if (inValue_) {
        if (tokenTooLong_)
            ++leftOut_.malformed;
        else
            takeEntry(token_);
        inValue_ = false;
    } else if (token_ == "ip") {
        sawIp_ = true;
        inValue_ = true;
    } else if (token_ == "final") {
        state_ = State::Complete;
    } else {
        // A master that refuses the validate says why in \echo\ text.
        state_ = token_ == "echo" && !sawIp_ ? State::Refused : State::NotAList;
    }
    token_.clear();
    tokenTooLong_ = false;
}

void MasterListReader::takeEntry(QByteArrayView text) {
    const auto entry = entryFrom(text);
    if (!entry) {
        ++leftOut_.malformed;
        return;
    }
    const auto [address, port] = *entry;
    const quint64 key = quint64(address) << 16 | port;
    if (seen_.contains(key)) {
        ++leftOut_.duplicates;
        return;
    }
    int& ports = portsOf_[address];
    if (ports == kMostPortsPerAddress) {
        ++leftOut_.overPortCap;
        return;
    }
    if (servers_.size() == kMostEntries) {
        state_ = State::TooLarge;
        return;
    }
    ++ports;
    seen_.insert(key);
    servers_.append(ListedServer{QHostAddress(address), port});
}

} // namespace utq::protocols
