#pragma once

// One keep-alive HTTP/1.1 client connection to 127.0.0.1 over a non-blocking socket, small
// enough that a single thread can drive many of them without being the slow side of a load
// test. A response's end is found from Content-Length, or from the server closing the
// connection when the response has no length; chunked bodies are not read.
#include <cstdint>
#include <string>

namespace bench {

struct HttpAnswer {
    int status = 0;
    std::string body;
    bool closeAfter = false; // the server said Connection: close
};

class HttpConnection {
public:
    enum class Event { None, Answered, Broken };

    HttpConnection() = default;
    ~HttpConnection() { close(); }
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    // Connects to 127.0.0.1:`port` from `source` (an IPv4 address in host order; 0: the
    // system's choice), waiting at most `timeoutMs`.
    bool open(uint16_t port, int timeoutMs, uint32_t source = 0);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    // Starts writing `request` (a whole request, head and empty line); false when the
    // connection broke at once.
    bool send(const std::string& request);
    bool wantsWrite() const { return written_ < out_.size(); }

    Event onWritable();
    Event onReadable();
    // What poll() said of the socket (its revents): writes first, then reads.
    Event onPolled(short revents);
    // The last answer, valid after Event::Answered until the next send.
    const HttpAnswer& answer() const { return answer_; }
    // Why the connection broke, after Event::Broken.
    const std::string& failure() const { return failure_; }

private:
    Event broken(const std::string& why);
    // Looks for a whole response in what came; Answered when one is complete.
    Event parse(bool atEnd);

    int fd_ = -1;
    std::string out_;
    size_t written_ = 0;
    std::string in_;
    size_t bodyStart_ = 0; // 0 while the head is incomplete
    int64_t contentLength_ = -1;
    int status_ = 0;
    bool closeAfter_ = false;
    HttpAnswer answer_;
    std::string failure_;
};

// 127.`b`.`c`.`d` in host order, for a client of its own on loopback.
constexpr uint32_t loopbackAddress(int b, int c, int d) {
    return (127u << 24) | (static_cast<uint32_t>(b) << 16) | (static_cast<uint32_t>(c) << 8) |
           static_cast<uint32_t>(d);
}

// "GET `target` HTTP/1.1" with the headers a browser's keep-alive request would carry.
std::string getRequest(uint16_t port, const std::string& target);

} // namespace bench
