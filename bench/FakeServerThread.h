#pragma once

// A test FakeGameServer answering from a thread and event loop of its own, so the bench's
// main thread can block in its load loop while the fake keeps answering. The requests the
// fake records are counted, and let go each second: under load they would pile up.
#include "FakeGameServer.h"

#include <QThread>
#include <QTimer>

#include <atomic>
#include <future>

namespace bench {

class FakeServerThread : public QThread {
public:
    explicit FakeServerThread(FakeGameServer::Answer answer)
        : answer_([this, answer = std::move(answer)](const QByteArray& request, int number) {
              ++requestsSeen_;
              return answer(request, number);
          }) {}
    ~FakeServerThread() override {
        // quit() is lost when it comes before exec() started, so it is repeated.
        for (int tries = 0; tries < 100 && isRunning(); ++tries) {
            quit();
            wait(50);
        }
    }

    // Starts the thread; the fake's port, or 0 when it did not come up within 5 s.
    quint16 startServing() {
        std::future<quint16> port = port_.get_future();
        start();
        return port.wait_for(std::chrono::seconds(5)) == std::future_status::ready ? port.get() : 0;
    }
    long long requestsSeen() const { return requestsSeen_.load(); }

protected:
    void run() override {
        FakeGameServer server(answer_);
        QTimer forget;
        connect(&forget, &QTimer::timeout, [&server] { server.requests.clear(); });
        forget.start(1000);
        port_.set_value(server.port());
        exec();
    }

private:
    FakeGameServer::Answer answer_;
    std::promise<quint16> port_;
    std::atomic<long long> requestsSeen_{0};
};

} // namespace bench
