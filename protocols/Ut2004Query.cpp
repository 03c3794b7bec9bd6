#include "protocols/Ut2004Query.h"

#include "protocols/StatusBounds.h"
#include "protocols/UdpQuery.h"
#include "protocols/Ut2004Protocol.h"

#include <QSet>

#include <algorithm>

namespace utq::protocols {
namespace {

using ut2004::ReplyType;

// A server sends well under this many datagrams for one query; more is noise or hostility.
constexpr qsizetype kMostDatagrams = 64;

// The three requests go out together; the server answers them in order, so the players'
// reply ends the rules, and the player count from the info says when the players are all in.
class Ut2004Conversation : public QueryConversation {
public:
    QList<QByteArray> opening() override {
        QList<QByteArray> requests;
        if (!gotInfo_)
            requests.append(ut2004::request(ReplyType::Info));
        if (!gotRules_)
            requests.append(ut2004::request(ReplyType::Rules));
        if (!playersComplete()) {
            // The repeated answer lists every player again.
            players_.clear();
            forgetDatagrams(ReplyType::Players);
            gotPlayers_ = false;
            playerDatagrams_ = 0;
            requests.append(ut2004::request(ReplyType::Players));
        }
        return requests;
    }

    bool take(const QByteArray& datagram, QList<QByteArray>&) override {
        const auto type = ut2004::typeOf(datagram);
        if (!type || seen_.contains(datagram) || seen_.size() >= kMostDatagrams)
            return false;
        seen_.insert(datagram);
        switch (*type) {
        case ReplyType::Info:
            if (gotInfo_)
                return false;
            gotInfo_ = true;
            ut2004::parseInfo(datagram, info_);
            break;
        case ReplyType::Rules:
            gotRules_ = true;
            ut2004::parseRules(datagram, rules_);
            break;
        case ReplyType::Players:
            gotPlayers_ = true;
            ++playerDatagrams_;
            ut2004::parsePlayers(datagram, players_);
            break;
        }
        return true;
    }

    // A server splits its players only when a datagram is full, and may then send rows beyond
    // the count (spectators) in the next one: after a split the query settles instead.
    bool isComplete() const override {
        return gotInfo_ && gotRules_ && playersComplete() && info_.players.has_value() &&
               playerDatagrams_ == 1;
    }
    // Spectators and odd servers can make the player list shorter than the count.
    // An empty server may send no players' datagram at all.
    bool isSettling() const override {
        return gotInfo_ && gotRules_ && (gotPlayers_ || info_.players == 0);
    }
    bool hasStatus() const override { return gotInfo_ || gotRules_ || gotPlayers_; }

    ServerStatus status() const override {
        ServerStatus status;
        status.name = info_.name;
        status.nameRuns = info_.nameRuns;
        status.map = info_.map;
        status.gameType = info_.gameType;
        status.players = info_.players;
        status.maxPlayers = info_.maxPlayers;
        status.playerList = players_;
        QStringList mutators;
        for (const auto& [key, value] : rules_) {
            if (key.compare(QLatin1String("Mutator"), Qt::CaseInsensitive) == 0)
                mutators.append(value);
            else
                status.rules.append({key, value});
        }
        if (!mutators.isEmpty())
            status.rules.append({QStringLiteral("Mutators"), mutators.join(QStringLiteral(", "))});
        return status;
    }

private:
    // A count past the bound is complete at the bound: the rest would not be read.
    bool playersComplete() const {
        return gotPlayers_ &&
               players_.size() >= std::min(info_.players.value_or(0), bounds::kMaxPlayers);
    }

    void forgetDatagrams(ReplyType type) {
        seen_.removeIf(
            [type](const QByteArray& datagram) { return ut2004::typeOf(datagram) == type; });
    }

    ut2004::Info info_;
    QList<QPair<QString, QString>> rules_;
    QList<PlayerStatus> players_;
    QSet<QByteArray> seen_; // a repeated datagram is taken once
    bool gotInfo_ = false;
    bool gotRules_ = false;
    bool gotPlayers_ = false;
    int playerDatagrams_ = 0;
};

} // namespace

QFuture<QueryOutcome> queryUt2004(const QHostAddress& address, quint16 queryPort,
                                  QueryTiming timing) {
    return runQuery(std::make_unique<Ut2004Conversation>(), address, queryPort, timing);
}

} // namespace utq::protocols
