#include "protocols/Ut99Query.h"

#include "protocols/UdpQuery.h"
#include "protocols/Ut99Protocol.h"

namespace utq::protocols {
namespace {

// One request for everything; the reply's parts come in any order.
class Ut99Conversation : public QueryConversation {
public:
    QList<QByteArray> opening() override { return {QByteArray(ut99::kStatusRequest)}; }
    bool take(const QByteArray& datagram, QList<QByteArray>&) override {
        return assembly_.add(datagram);
    }
    bool isComplete() const override { return assembly_.isComplete(); }
    bool hasOverflowed() const override { return assembly_.hasOverflowed(); }
    bool hasStatus() const override { return !assembly_.items().isEmpty(); }
    ServerStatus status() const override { return ut99::statusFrom(assembly_.items()); }

private:
    ut99::ReplyAssembly assembly_;
};

} // namespace

QFuture<QueryOutcome> queryUt99(const QHostAddress& address, quint16 queryPort,
                                QueryTiming timing) {
    return runQuery(std::make_unique<Ut99Conversation>(), address, queryPort, timing);
}

} // namespace utq::protocols
