// The status service's limits, on a clock the test sets: queries in flight, and queries per
// client in each second.
#include "queryservice/QueryLimits.h"
#include "queryservice/http/ClientKey.h"

#include <QTest>

using utq::queryservice::QueryLimits;
using Verdict = QueryLimits::Verdict;

class TestQueryLimits : public QObject {
    Q_OBJECT
private slots:
    void queriesInFlight() {
        QueryLimits limits(2, 0);
        const QHostAddress a(QStringLiteral("10.0.0.1")), b(QStringLiteral("10.0.0.2"));
        QCOMPARE(limits.admit(a, 0), Verdict::Go);
        QCOMPARE(limits.admit(b, 0), Verdict::Go);
        QCOMPARE(limits.admit(b, 5000), Verdict::Busy); // time does not free a slot
        limits.done();
        QCOMPARE(limits.admit(b, 5000), Verdict::Go);
        limits.done();
        limits.done();
        limits.done(); // more ends than starts never go below nothing
        QCOMPARE(limits.running(), 0);
    }

    // The service's own lists pace themselves: no address, no per-client bound, but they take
    // their share of the slots that every page shares.
    void theServicesOwnAskingIsBoundInAllOnly() {
        QueryLimits limits(3, 1, 1);
        for (int i = 0; i < 2; ++i)
            QCOMPARE(limits.admit({}, 0), Verdict::Go);
        const QHostAddress a(QStringLiteral("10.0.0.1"));
        QCOMPARE(limits.admit(a, 0), Verdict::Go);
        QCOMPARE(limits.admit({}, 0), Verdict::Busy);
        limits.done({});
        QCOMPARE(limits.admit(a, 0), Verdict::ClientBusy); // a's own bound is untouched
        QCOMPARE(limits.admit({}, 0), Verdict::Go);
    }

    void perClientEachSecond() {
        QueryLimits limits(0, 2);
        const QHostAddress a(QStringLiteral("10.0.0.1")), b(QStringLiteral("::1"));
        QCOMPARE(limits.admit(a, 100), Verdict::Go);
        QCOMPARE(limits.admit(a, 600), Verdict::Go);
        QCOMPARE(limits.admit(a, 1099), Verdict::TooFast);
        QCOMPARE(limits.admit(b, 1099), Verdict::Go); // each client counts alone
        QCOMPARE(limits.admit(a, 1100), Verdict::Go); // a new second from the first query
        QCOMPARE(limits.admit(a, 1200), Verdict::Go);
        QCOMPARE(limits.admit(a, 1300), Verdict::TooFast);
        // A refused query takes no slot in flight.
        QCOMPARE(limits.running(), 5);
    }

    void manyClientsComeAndGo() {
        QueryLimits limits(0, 1);
        for (quint32 i = 0; i < 10000; ++i)
            QCOMPARE(limits.admit(QHostAddress(0x0A000000 + i), i), Verdict::Go);
        QCOMPARE(limits.admit(QHostAddress(0x0A000000u + 9999), 9999), Verdict::TooFast);
    }

    void aClientIsAnIPv4AddressOrAnIPv6Network() {
        using utq::queryservice::http::clientKey;
        const auto key = [](const char* address) {
            return clientKey(QHostAddress(QString::fromLatin1(address)));
        };
        QCOMPARE(key("::ffff:10.0.0.1"), QHostAddress(QStringLiteral("10.0.0.1")));
        QCOMPARE(key("10.0.0.1"), key("::ffff:10.0.0.1"));
        QCOMPARE(key("2001:db8:1:2:aaaa::1"), QHostAddress(QStringLiteral("2001:db8:1:2::")));
        QCOMPARE(key("fe80::1%1"), key("fe80::2"));
        QVERIFY(key("2001:db8:1:2::1") != key("2001:db8:1:3::1"));
        QVERIFY(key("10.0.0.1") != key("10.0.0.2"));
    }

    void noBounds() {
        QueryLimits limits(0, 0);
        for (int i = 0; i < 1000; ++i)
            QCOMPARE(limits.admit(QHostAddress(QStringLiteral("10.0.0.1")), 0), Verdict::Go);
    }
};

QTEST_APPLESS_MAIN(TestQueryLimits)
#include "tst_query_limits.moc"
