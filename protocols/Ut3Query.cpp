#include "protocols/Ut3Query.h"

#include "protocols/UdpQuery.h"
#include "protocols/Ut3Protocol.h"

#include <QRandomGenerator>

namespace utq::protocols {
namespace {

// Each try asks for a fresh challenge; the parts of the reply gathered on earlier tries stay.
class Ut3Conversation : public QueryConversation {
public:
    QList<QByteArray> opening() override { return {ut3::challengeRequest(sessionId_)}; }

    bool take(const QByteArray& datagram, QList<QByteArray>& reply) override {
        if (const auto challenge = ut3::parseChallenge(datagram, sessionId_)) {
            reply.append(ut3::fullStatsRequest(sessionId_, challenge));
            return true;
        }
        return assembly_.add(datagram);
    }

    bool isComplete() const override { return assembly_.isComplete(); }
    bool hasStatus() const override { return !assembly_.isEmpty(); }
    ServerStatus status() const override { return ut3::statusFrom(assembly_); }

private:
    // Tells this query's replies from those to another query on the same server.
    quint32 sessionId_ = QRandomGenerator::global()->generate();
    ut3::ReplyAssembly assembly_{sessionId_};
};

} // namespace

QFuture<QueryOutcome> queryUt3(const QHostAddress& address, quint16 queryPort, QueryTiming timing) {
    return runQuery(std::make_unique<Ut3Conversation>(), address, queryPort, timing);
}

} // namespace utq::protocols
