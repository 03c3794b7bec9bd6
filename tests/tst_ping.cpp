// PingIPv4 over real sockets: loopback in the test machine's own network, and a network
// namespace of the test's own for what must fail (no reply, no name) without a packet leaving.
#include "NetworkNamespace.h"

#include "net/PingIPv4.h"
#include "platform/IcmpEcho.h"
#include "platform/Ipv4.h"

#include <QElapsedTimer>
#include <QTest>

#include <netdb.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

using utq::net::PingIPv4;

class TestPing : public QObject {
    Q_OBJECT
    std::unique_ptr<NetworkNamespace> ns_;

    // The namespace answers no echo: a ping there times out for real.
    NetworkNamespace& silentNamespace() {
        if (!ns_) {
            ns_ = std::make_unique<NetworkNamespace>();
            if (ns_->isReady())
                ns_->sysctl("net.ipv4.icmp_echo_ignore_all=1");
        }
        return *ns_;
    }

private slots:
    void cleanupTestCase() { ns_.reset(); }

    void startsAtZero() {
        const PingIPv4 pinger;
        QCOMPARE(pinger.Reason, 0);
        QCOMPARE(pinger.Status, 0);
        QCOMPARE(pinger.RoundTripTime, 0);
    }

    void loopbackAnswers() {
        PingIPv4 pinger;
        pinger.RoundTripTime = 999;
        QVERIFY(pinger.Ping("127.0.0.1", 1000, ""));
        QCOMPARE(pinger.Reason, 0);
        QCOMPARE(pinger.Status, 0);
        QVERIFY2(pinger.RoundTripTime >= 0 && pinger.RoundTripTime < 50,
                 qPrintable(QString::number(pinger.RoundTripTime)));
        // A payload travels too, and a short form of the address is taken as it is.
        QVERIFY(pinger.Ping("127.1", 1000, QString(1000, u'x')));
        QVERIFY(pinger.Ping("127.0.0.1", 1000, QString::fromUtf8("caf\u00e9")));
    }

    void resolvesWithoutAskingForAddresses() {
        PingIPv4 pinger;
        QString ip = "unchanged";
        QCOMPARE(pinger.Resolve("  10.1.2.3  ", ip), 0);
        QCOMPARE(ip, "10.1.2.3");
        QCOMPARE(pinger.Resolve("127.1", ip), 0);
        QCOMPARE(ip, "127.1"); // passed on as written
        QCOMPARE(pinger.Resolve("localhost", ip), 0);
        QCOMPARE(ip, "127.0.0.1");
        // Only spaces are trimmed: a tab makes it a name, which the hosts file does not know.
        QVERIFY(!utq::platform::ipv4::parse("\t127.0.0.1"));
    }

    void aHostNameIsNotAnAddress() {
        PingIPv4 pinger;
        pinger.Status = 77;
        QVERIFY(!pinger.Ping("localhost", 1000, ""));
        QCOMPARE(pinger.Reason, 1);
        QCOMPARE(pinger.Status, 0);
        QVERIFY(!pinger.Ping(" 127.0.0.1", 1000, "")); // Ping trims nothing
        QVERIFY(!pinger.Ping("255.255.255.255", 1000, ""));
        QCOMPARE(pinger.Reason, 1);
        QVERIFY(!pinger.Ping("", 1000, ""));
        QCOMPARE(pinger.Reason, 1);
    }

    void noReplyTimesOutAndASuccessLeavesTheReason() {
        NetworkNamespace& ns = silentNamespace();
        if (!ns.isReady())
            QSKIP(qPrintable("no network namespace for the test: " + ns.whyNot()));
        PingIPv4 pinger;
        QVERIFY(pinger.Ping("127.0.0.1", 1000, "")); // at home, to have a last success
        const std::int32_t lastTime = pinger.RoundTripTime;
        {
            NetworkNamespace::Inside inside(ns);
            QVERIFY(inside.entered());
            QElapsedTimer clock;
            clock.start();
            QVERIFY(!pinger.Ping("127.0.0.1", 300, ""));
            const qint64 waited = clock.elapsed();
            QVERIFY2(waited >= 300, qPrintable(QString::number(waited)));
            QCOMPARE(pinger.Reason, 3);
            QCOMPARE(pinger.Status, ETIMEDOUT);
            QCOMPARE(pinger.RoundTripTime, lastTime);
        }
        QVERIFY(pinger.Ping("127.0.0.1", 1000, ""));
        QCOMPARE(pinger.Status, 0);
        QCOMPARE(pinger.Reason, 3); // a success does not reset it
    }

    void unknownNamesFailWithTheResolversCode() {
        NetworkNamespace& ns = silentNamespace();
        if (!ns.isReady())
            QSKIP(qPrintable("no network namespace for the test: " + ns.whyNot()));
        // No name server is reachable from the namespace, so the look-ups fail at once and
        // nothing leaves the machine.
        NetworkNamespace::Inside inside(ns);
        QVERIFY(inside.entered());
        PingIPv4 pinger;
        QString ip = "unchanged";
        const std::int32_t unknown = pinger.Resolve("no-such-host.invalid", ip);
        QVERIFY(unknown != 0);
        QCOMPARE(ip, "unchanged");
        QVERIFY(pinger.Resolve("", ip) != 0);
        QCOMPARE(ip, "unchanged");
        // The broadcast address is no address to inet_addr: it goes to the resolver as a name.
        QVERIFY(!utq::platform::ipv4::parse("255.255.255.255"));
        pinger.Resolve("255.255.255.255", ip);
        QVERIFY(ip == "unchanged" || ip == "255.255.255.255");
        QCOMPARE(pinger.Resolve("localhost", ip), 0); // the hosts file still answers
        QCOMPARE(ip, "127.0.0.1");
    }

    void bothKindsOfSocketWork() {
        NetworkNamespace& ns = silentNamespace();
        if (!ns.isReady())
            QSKIP(qPrintable("no network namespace for the test: " + ns.whyNot()));
        // Here (as root) the raw socket serves unless datagram sockets are allowed.
        utq::platform::IcmpEcho raw;
        QCOMPARE(raw.open(), 0);
        const bool rawHere = raw.isRaw();
        QCOMPARE(raw.close(), 0);
        // A namespace that answers and allows datagram sockets to everyone uses those.
        NetworkNamespace open;
        QVERIFY(open.isReady());
        QVERIFY(open.sysctl("net.ipv4.ping_group_range=0 2147483647"));
        NetworkNamespace::Inside inside(open);
        utq::platform::IcmpEcho dgram;
        QCOMPARE(dgram.open(), 0);
        QVERIFY(!dgram.isRaw());
        const auto reply = dgram.exchange(*utq::platform::ipv4::parse("127.0.0.1"), "abc", 1000);
        QVERIFY(reply.received);
        QCOMPARE(dgram.close(), 0);
        PingIPv4 pinger;
        QVERIFY(pinger.Ping("127.0.0.1", 1000, ""));
        qInfo("outside the namespace the %s socket served", rawHere ? "raw" : "datagram");
    }

    void withoutAnyIcmpSocketTheReasonIsTwo() {
        if (::geteuid() != 0)
            QSKIP("needs root to become a user without ICMP rights");
        int pipeFds[2];
        QCOMPARE(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            // nobody, where datagram sockets are not allowed to its group (the default range
            // "1 0" allows none) and raw sockets need a capability it lacks
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(99);
            PingIPv4 pinger;
            const bool ok = pinger.Ping("127.0.0.1", 500, "");
            const std::int32_t out[3] = {ok ? 1 : 0, pinger.Reason, pinger.Status};
            (void)!::write(pipeFds[1], out, sizeof out);
            ::_exit(0);
        }
        ::close(pipeFds[1]);
        std::int32_t in[3] = {-1, -1, -1};
        const ssize_t got = ::read(pipeFds[0], in, sizeof in);
        ::close(pipeFds[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        QCOMPARE(got, static_cast<ssize_t>(sizeof in));
        QFile range("/proc/sys/net/ipv4/ping_group_range");
        QVERIFY(range.open(QIODevice::ReadOnly));
        const QList<QByteArray> bounds = range.readAll().simplified().split(' ');
        if (bounds.size() == 2 && bounds[0].toLongLong() <= 65534 &&
            65534 <= bounds[1].toLongLong())
            QSKIP("this machine lets every group use ICMP datagram sockets");
        QCOMPARE(in[0], 0);
        QCOMPARE(in[1], 2);
        QVERIFY(in[2] == EACCES || in[2] == EPERM);
    }
};

QTEST_APPLESS_MAIN(TestPing)
#include "tst_ping.moc"
