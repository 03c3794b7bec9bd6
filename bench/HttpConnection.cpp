#include "HttpConnection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace bench {
namespace {

constexpr size_t kMostHeadBytes = 64 * 1024;
// Reads per readiness call: a long body must not keep the other connections waiting.
constexpr int kReadsPerTurn = 16;

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

} // namespace

std::string getRequest(uint16_t port, const std::string& target) {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\nAccept: text/html\r\nConnection: keep-alive\r\n\r\n";
}

bool HttpConnection::open(uint16_t port, int timeoutMs, uint32_t source) {
    close();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return false;
    if (source != 0) {
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(source);
        if (::bind(fd_, reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0) {
            close();
            return false;
        }
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        pollfd wait{fd_, POLLOUT, 0};
        int error = 0;
        socklen_t size = sizeof error;
        if (errno != EINPROGRESS || ::poll(&wait, 1, timeoutMs) != 1 ||
            ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
            close();
            return false;
        }
    }
    const int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    in_.clear();
    bodyStart_ = 0;
    out_.clear();
    written_ = 0;
    return true;
}

void HttpConnection::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool HttpConnection::send(const std::string& request) {
    out_ = request;
    written_ = 0;
    answer_.status = 0;
    answer_.body.clear();
    failure_.clear();
    return onWritable() != Event::Broken;
}

HttpConnection::Event HttpConnection::onWritable() {
    while (written_ < out_.size()) {
        const ssize_t sent =
            ::send(fd_, out_.data() + written_, out_.size() - written_, MSG_NOSIGNAL);
        if (sent > 0)
            written_ += static_cast<size_t>(sent);
        else if (sent < 0 && errno == EINTR)
            continue;
        else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        else
            return broken(std::string("send: ") + std::strerror(errno));
    }
    return Event::None;
}

HttpConnection::Event HttpConnection::onPolled(short revents) {
    Event event = Event::None;
    if (revents & POLLOUT)
        event = onWritable();
    if (event == Event::None && (revents & (POLLIN | POLLHUP | POLLERR)))
        event = onReadable();
    return event;
}

HttpConnection::Event HttpConnection::onReadable() {
    char buffer[64 * 1024];
    for (int turn = 0; turn < kReadsPerTurn; ++turn) {
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got > 0) {
            in_.append(buffer, static_cast<size_t>(got));
            continue;
        }
        if (got == 0) {
            const Event event = parse(true);
            close();
            return event;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            break;
        return broken(std::string("read: ") + std::strerror(errno));
    }
    return parse(false);
}

HttpConnection::Event HttpConnection::broken(const std::string& why) {
    failure_ = why;
    close();
    return Event::Broken;
}

HttpConnection::Event HttpConnection::parse(bool atEnd) {
    if (bodyStart_ == 0) {
        const size_t headEnd = in_.find("\r\n\r\n");
        if (headEnd == std::string::npos) {
            if (atEnd)
                return broken(in_.empty() ? "closed by the server" : "closed within a head");
            return in_.size() > kMostHeadBytes ? broken("head too long") : Event::None;
        }
        const size_t space = in_.find(' ');
        if (in_.compare(0, 5, "HTTP/") != 0 || space > headEnd)
            return broken("not an HTTP response");
        status_ = std::atoi(in_.c_str() + space + 1);
        contentLength_ = -1;
        closeAfter_ = false;
        for (size_t line = in_.find("\r\n") + 2; line < headEnd + 2;) {
            const size_t lineEnd = in_.find("\r\n", line);
            const size_t colon = in_.find(':', line);
            if (colon < lineEnd) {
                const std::string name = lowered(in_.substr(line, colon - line));
                const std::string value = trimmed(in_.substr(colon + 1, lineEnd - colon - 1));
                if (name == "content-length")
                    contentLength_ = std::strtoll(value.c_str(), nullptr, 10);
                else if (name == "connection" && lowered(value).find("close") != std::string::npos)
                    closeAfter_ = true;
                else if (name == "transfer-encoding" && lowered(value) != "identity")
                    return broken("a chunked body, which this client does not read");
            }
            line = lineEnd + 2;
        }
        bodyStart_ = headEnd + 4;
    }
    const size_t have = in_.size() - bodyStart_;
    if (contentLength_ >= 0 && have < static_cast<size_t>(contentLength_))
        return atEnd ? broken("closed within a body") : Event::None;
    if (contentLength_ < 0 && !atEnd)
        return Event::None; // the body ends with the connection
    const size_t length = contentLength_ >= 0 ? static_cast<size_t>(contentLength_) : have;
    answer_.status = status_;
    answer_.body.assign(in_, bodyStart_, length);
    answer_.closeAfter = closeAfter_ || contentLength_ < 0;
    in_.erase(0, bodyStart_ + length);
    bodyStart_ = 0;
    return Event::Answered;
}

} // namespace bench
