// Answers kept for reuse, with queries whose answers the test gives itself: kept within a
// budget of bytes, the oldest dropped first, and one too large for it delivered but not kept.
#include "queryservice/RecentAnswers.h"

#include <QCoreApplication>
#include <QPromise>
#include <QTest>

using namespace utq::protocols;
using namespace utq::queryservice;

namespace {

// An answer of about `megabytes` MiB: its name is that many Mi characters of two bytes each.
QueryOutcome answerOf(int megabytes, QChar fill) {
    QueryOutcome outcome;
    outcome.kind = QueryOutcome::Kind::Answered;
    outcome.status.name = QString(megabytes * 512 * 1024, fill);
    return outcome;
}

class Asker {
public:
    // Asks for `server`; a query it starts is answered with `outcome` at the next turn of the
    // event loop, or left to the test when `promise` is given.
    void ask(const QString& server, const QueryOutcome& outcome, QList<QChar>& got,
             QPromise<QueryOutcome>* promise = nullptr) {
        recent.ask(
            server, nowMs,
            [&, promise] {
                ++started;
                if (promise)
                    return promise->future();
                return QtFuture::makeReadyFuture(outcome);
            },
            [&got](const RecentAnswers::Answer& answer) {
                got.append(answer.outcome.status.name.front());
            },
            &context_, [this] { return nowMs; });
        QCoreApplication::processEvents();
    }

    RecentAnswers recent{60000};
    qint64 nowMs = 0;
    int started = 0;

private:
    QObject context_;
};

} // namespace

class TestRecentAnswers : public QObject {
    Q_OBJECT
private slots:
    // Forty answers of 2 MiB each: the latest stay within the budget, the first are dropped
    // and asked again.
    void keptAnswersStayWithinTheirBudget() {
        Asker asker;
        QList<QChar> got;
        for (int server = 0; server < 40; ++server) {
            asker.nowMs += 10;
            asker.ask(QString::number(server), answerOf(2, QChar(u'A' + server)), got);
            QVERIFY(asker.recent.keptBytes() <= RecentAnswers::kBudgetBytes);
        }
        QVERIFY(asker.recent.keptBytes() > RecentAnswers::kBudgetBytes - 3 * 1024 * 1024);
        QCOMPARE(got.size(), 40);
        QCOMPARE(asker.started, 40);
        asker.ask(QStringLiteral("39"), answerOf(2, u'?'), got);
        QCOMPARE(got.last(), QChar(u'A' + 39)); // the latest kept
        QCOMPARE(asker.started, 40);
        asker.ask(QStringLiteral("0"), answerOf(2, u'!'), got);
        QCOMPARE(got.last(), u'!'); // the first dropped, so asked again
        QCOMPARE(asker.started, 41);
    }

    // An answer larger than the whole budget reaches every page that waited for it, and is
    // then forgotten.
    void anAnswerPastTheBudgetIsDeliveredNotKept() {
        Asker asker;
        QList<QChar> got;
        QPromise<QueryOutcome> promise;
        asker.ask(QStringLiteral("huge"), {}, got, &promise);
        asker.ask(QStringLiteral("huge"), {}, got, &promise);
        QCOMPARE(asker.started, 1);
        promise.start();
        promise.addResult(answerOf(20, u'H'));
        promise.finish();
        QCoreApplication::processEvents();
        QCOMPARE(got, (QList<QChar>{u'H', u'H'}));
        QCOMPARE(asker.recent.keptBytes(), 0);
        asker.ask(QStringLiteral("huge"), answerOf(1, u'h'), got);
        QCOMPARE(asker.started, 2);
        QCOMPARE(got.last(), u'h');
    }

    // The service that asked is gone (a test's, a thread's end) before its query ends: the
    // answer goes nowhere, with or without reuse, and nothing aborts.
    void anAnswerAfterItsAskerIsGoneGoesNowhere() {
        for (const int reuseMs : {0, 60000}) {
            RecentAnswers recent(reuseMs);
            auto context = std::make_unique<QObject>();
            QPromise<QueryOutcome> promise;
            bool called = false;
            recent.ask(
                QStringLiteral("gone"), 0, [&] { return promise.future(); },
                [&called](const RecentAnswers::Answer&) { called = true; }, context.get(),
                [] { return 0; });
            context.reset();
            promise.start();
            promise.addResult(answerOf(1, u'g'));
            promise.finish();
            QCoreApplication::processEvents();
            QVERIFY(!called);
        }
    }
};

QTEST_GUILESS_MAIN(TestRecentAnswers)
#include "tst_recent_answers.moc"
