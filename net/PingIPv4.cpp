#include "net/PingIPv4.h"

#include "platform/IcmpEcho.h"
#include "platform/Ipv4.h"
#include "platform/Windows1252.h"

namespace utq::net {
namespace {

QString trimmedSpaces(const QString& text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

bool PingIPv4::Ping(const QString& IP, std::int32_t TimeoutMS, const QString& Data) {
    Status = 0;
    const auto address = platform::ipv4::parse(IP);
    if (!address) {
        Reason = 1;
        return false;
    }
    platform::IcmpEcho echo;
    if (const int error = echo.open()) {
        Reason = 2;
        Status = error;
        return false;
    }
    bool result = false;
    const auto reply = echo.exchange(*address, platform::windows1252::encode(Data), TimeoutMS);
    if (reply.received) {
        result = true;
        RoundTripTime = static_cast<std::int32_t>(reply.roundTripMs);
    } else {
        Reason = 3;
        Status = reply.error;
    }
    if (const int error = echo.close()) {
        result = false;
        Reason = 4;
        Status = error;
    }
    return result;
}

std::int32_t PingIPv4::Resolve(const QString& NameOrIP, QString& IP) {
    const QString name = trimmedSpaces(NameOrIP);
    if (platform::ipv4::parse(name)) {
        IP = name;
        return 0;
    }
    const auto found = platform::ipv4::lookUp(name);
    if (found.code != 0)
        return found.code;
    const QString text = platform::ipv4::format(*found.firstAddress);
    if (text.isEmpty())
        return 1;
    IP = text;
    return 0;
}

} // namespace utq::net
