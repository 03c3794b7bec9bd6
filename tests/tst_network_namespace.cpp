// The tests' own network namespaces (support/NetworkNamespace.h): each has a name of its own,
// and whatever the helper made is gone once it is, a namespace whose set-up failed half-way
// included.
#include "NetworkNamespace.h"

#include <QFileInfo>
#include <QTest>

#include <memory>

#include <unistd.h>

namespace {
QString pathOf(const NetworkNamespace& ns) { return "/run/netns/" + ns.name(); }
} // namespace

class TestNetworkNamespace : public QObject {
    Q_OBJECT

private slots:
    void init() {
        if (::geteuid() != 0)
            QSKIP("needs root to make network namespaces");
    }

    void aSetUpThatFailsAfterTheNamespaceIsMadeLeavesNothing() {
        QString path;
        {
            NetworkNamespace ns({{"false"}});
            path = pathOf(ns);
            QVERIFY(!ns.isReady());
            if (!QFileInfo::exists(path))
                QSKIP(qPrintable("no network namespace could be made here: " + ns.whyNot()));
            QVERIFY2(ns.whyNot().contains("false"), qPrintable(ns.whyNot()));
        }
        QVERIFY2(!QFileInfo::exists(path), qPrintable(path + " was left behind"));
    }

    void twoAtOnceAreTwo() {
        auto first = std::make_unique<NetworkNamespace>();
        if (!first->isReady())
            QSKIP(qPrintable("no network namespace for the test: " + first->whyNot()));
        const NetworkNamespace second;
        QVERIFY(second.isReady());
        QVERIFY(first->name() != second.name());
        const QString firstPath = pathOf(*first);
        first.reset();
        QVERIFY(!QFileInfo::exists(firstPath));
        QVERIFY(QFileInfo::exists(pathOf(second)));
    }
};

QTEST_APPLESS_MAIN(TestNetworkNamespace)
#include "tst_network_namespace.moc"
