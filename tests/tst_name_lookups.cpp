// The status service's name look-ups against a fake name server on 127.0.0.1, with the hosts
// file a temporary one: answers kept for their TTL, one look-up shared by the pages that wait
// for a name, bounds in all and per client, cancellation when the pages give up, the clan's
// last good answers.
#include "EventLoopWait.h"
#include "FakeNameServer.h"

#include "queryservice/NameLookups.h"

#include <QTemporaryFile>
#include <QTest>

#include <optional>

using namespace utq::queryservice;
using Kind = NameLookups::Answer::Kind;

namespace {

// What a look-up told, once it did.
struct Told {
    std::optional<NameLookups::Answer> answer;
    NameLookups::Done done() {
        return [this](const NameLookups::Answer& told) {
            answer = told;
        };
    }
    bool is(Kind kind) const { return answer && answer->kind == kind; }
};

const QHostAddress kClientA(QStringLiteral("127.0.0.2"));
const QHostAddress kClientB(QStringLiteral("127.0.0.3"));
const QHostAddress kServerAddress(QStringLiteral("127.0.0.5"));

} // namespace

class TestNameLookups : public QObject {
    Q_OBJECT
    QTemporaryFile hosts_;
    FakeNameServer dns_;
    qint64 now_ = 0;

    NameLookupLimits limits() const {
        NameLookupLimits limits;
        limits.nameServers = dns_.serverList();
        return limits;
    }
    std::function<qint64()> clock() {
        return [this] {
            return now_;
        };
    }

private slots:
    void initTestCase() {
        QVERIFY(dns_.bound());
        QVERIFY(hosts_.open());
        hosts_.write("127.0.0.1 localhost\n127.0.0.8 lan-server.test\n");
        hosts_.flush();
        qputenv("CARES_HOSTS", hosts_.fileName().toLocal8Bit());
    }

    void answersAreKeptForTheirTtl() {
        NameLookups names(limits(), nullptr, clock());
        now_ = 0;
        const QString name = QStringLiteral("minute.test");
        dns_.know(name, kServerAddress, 60);
        Told first;
        const auto ticket = names.lookUp(name, kClientA, 2000, first.done());
        UTQ_TRY_VERIFY(first.is(Kind::Found), 3000);
        QCOMPARE(first.answer->address, kServerAddress);
        now_ = 59999;
        Told kept;
        (void)names.lookUp(name, kClientA, 2000, kept.done());
        QVERIFY(kept.is(Kind::Found)); // at once, from what was kept
        QCOMPARE(dns_.questionsAbout(name), 1);
        now_ = 60001;
        Told again;
        const auto asked = names.lookUp(name, kClientA, 2000, again.done());
        UTQ_TRY_VERIFY(again.is(Kind::Found), 3000);
        QCOMPARE(dns_.questionsAbout(name), 2);
    }

    void pagesWaitingForOneNameShareItsLookUp() {
        NameLookups names(limits(), nullptr, clock());
        dns_.know(QStringLiteral("shared.test"), kServerAddress, 300);
        Told told[3];
        std::vector<NameLookups::Ticket> tickets;
        for (Told& page : told)
            tickets.push_back(
                names.lookUp(QStringLiteral("Shared.Test"), kClientA, 2000, page.done()));
        QCOMPARE(names.inFlight(), 1);
        UTQ_TRY_VERIFY(told[2].is(Kind::Found), 3000);
        QVERIFY(told[0].is(Kind::Found) && told[1].is(Kind::Found));
        QCOMPARE(dns_.questionsAbout(QStringLiteral("shared.test")), 1);
    }

    void lookUpsAreBoundedInAllAndPerClientButKnownNamesResolve() {
        NameLookupLimits bounded = limits();
        bounded.inFlight = 3;
        bounded.perClient = 2;
        NameLookups names(bounded, nullptr, clock());
        names.keepLastGood({QStringLiteral("clan.test")});
        Told a1, a2, a3, b1, b2, c1, clan, lan;
        const auto t1 = names.lookUp(QStringLiteral("silent1.test"), kClientA, 3000, a1.done());
        const auto t2 = names.lookUp(QStringLiteral("silent2.test"), kClientA, 3000, a2.done());
        const auto t3 = names.lookUp(QStringLiteral("silent3.test"), kClientA, 3000, a3.done());
        QVERIFY(a3.is(Kind::ClientBusy));
        const auto t4 = names.lookUp(QStringLiteral("silent4.test"), kClientB, 3000, b1.done());
        const auto t5 = names.lookUp(QStringLiteral("silent5.test"), kClientB, 3000, b2.done());
        QVERIFY(b2.is(Kind::Busy));
        // Joining a look-up in flight costs no room.
        const auto t6 = names.lookUp(QStringLiteral("silent1.test"), kClientB, 3000, c1.done());
        QVERIFY(!c1.answer);
        // The hosts file is read, not asked; the clan's servers are never refused.
        const auto t7 = names.lookUp(QStringLiteral("lan-server.test"), kClientA, 3000, lan.done());
        QVERIFY(lan.is(Kind::Found));
        QCOMPARE(lan.answer->address, QHostAddress(QStringLiteral("127.0.0.8")));
        dns_.know(QStringLiteral("clan.test"), kServerAddress, 300);
        const auto t8 = names.lookUp(QStringLiteral("clan.test"), kClientA, 3000, clan.done());
        UTQ_TRY_VERIFY(clan.is(Kind::Found), 3000);
        QCOMPARE(dns_.questionsAbout(QStringLiteral("lan-server.test")), 0);
        QCOMPARE(names.inFlight(), 3);
    }

    void aLookUpNoPageWaitsForIsCancelledAndOneLeftRunsOutOfTime() {
        NameLookupLimits bounded = limits();
        bounded.perClient = 1;
        NameLookups names(bounded, nullptr, clock());
        const QString name = QStringLiteral("cancelled.test");
        Told first, second;
        auto one = names.lookUp(name, kClientA, 3000, first.done());
        auto two = names.lookUp(name, kClientB, 3000, second.done());
        UTQ_TRY_COMPARE(dns_.questionsAbout(name), 1, 3000);
        one.giveUp();
        QCOMPARE(names.inFlight(), 1);
        two.giveUp();
        QCOMPARE(names.inFlight(), 0);
        // Its second try would have gone out after 1 s; no page is told anything.
        keepRunningFor(1500);
        QCOMPARE(dns_.questionsAbout(name), 1);
        QVERIFY(!first.answer && !second.answer);

        // Room for client A again; a look-up that runs out of its page's time says so.
        Told late;
        const auto bound = names.lookUp(QStringLiteral("late.test"), kClientA, 300, late.done());
        UTQ_TRY_VERIFY(late.is(Kind::Late), 3000);
        QCOMPARE(names.inFlight(), 0);
        Told kept; // a failure is kept a while: asked again, nobody is asked
        (void)names.lookUp(QStringLiteral("late.test"), kClientA, 300, kept.done());
        QVERIFY(kept.is(Kind::Late));
    }

    void aClanServerKeepsItsLastGoodAnswerWhileTheNameServerIsSilent() {
        NameLookups names(limits(), nullptr, clock());
        names.keepLastGood({QStringLiteral("us.clan.test")});
        const QString name = QStringLiteral("us.clan.test");
        dns_.know(name, kServerAddress, 60);
        now_ = 0;
        Told fresh;
        const auto first = names.lookUp(name, kClientA, 2000, fresh.done());
        UTQ_TRY_VERIFY(fresh.is(Kind::Found), 3000);
        dns_.forget(name); // silent from now on
        now_ = 61000;
        for (int page = 0; page < 3; ++page) {
            Told stale;
            (void)names.lookUp(name, kClientA, 2000, stale.done());
            QVERIFY(stale.is(Kind::Found)); // at once, while one refresh is asked for
            QCOMPARE(stale.answer->address, kServerAddress);
        }
        QCOMPARE(names.inFlight(), 1);
        UTQ_TRY_COMPARE(names.inFlight(), 0, 8000); // the refresh ran out of time
        Told after;
        (void)names.lookUp(name, kClientA, 2000, after.done());
        QVERIFY(after.is(Kind::Found));
    }
};

QTEST_GUILESS_MAIN(TestNameLookups)
#include "tst_name_lookups.moc"
