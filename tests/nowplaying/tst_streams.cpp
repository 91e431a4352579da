// labels: unit
#include "nowplaying/Deferred.h"
#include "nowplaying/NowPlayingSource.h"
#include "nowplaying/SerialQueue.h"

#include <QTest>

using namespace tavrenhold;

namespace {
// Reads the stream to its end, recording each value, then marks the end.
QCoro::Task<> consume(std::shared_ptr<BoundedStream<int>> stream, QList<int> &seen, bool &ended)
{
    while (auto value = co_await stream->next())
        seen.append(*value);
    ended = true;
}

// Takes a turn on the queue, notes its start, holds the turn until `release` is set, notes its end.
QCoro::Task<> holdTurn(SerialQueue &queue, QString name, DeferredEvent &release, QStringList &log)
{
    auto turn = co_await queue.enter();
    log.append(name + QStringLiteral("+"));
    co_await release.wait();
    log.append(name + QStringLiteral("-"));
}
} // namespace

class StreamsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void keepsTheNewestUndelivered()
    {
        auto stream = BoundedStream<int>::make(nowPlayingStreamDepth);
        for (int i = 1; i <= 6; ++i)
            QVERIFY(stream->yield(i));
        QCOMPARE(stream->pending(), 4);
        QList<int> seen;
        bool ended = false;
        consume(stream, seen, ended);
        QCOMPARE(seen, (QList<int>{3, 4, 5, 6}));
        QVERIFY(!ended);
    }

    void waitingConsumerResumesOnTheEventLoop()
    {
        auto stream = BoundedStream<int>::make(4);
        QList<int> seen;
        bool ended = false;
        consume(stream, seen, ended);
        stream->yield(1);
        stream->yield(2);
        // Not inside yield(): the consumer runs on the next event-loop turn and takes both.
        QVERIFY(seen.isEmpty());
        QTRY_COMPARE(seen, (QList<int>{1, 2}));
        stream->yield(3);
        QTRY_COMPARE(seen, (QList<int>{1, 2, 3}));
        QVERIFY(!ended);
    }

    void finishDeliversWhatIsBufferedThenEnds()
    {
        auto stream = BoundedStream<int>::make(4);
        QList<int> seen;
        bool ended = false;
        consume(stream, seen, ended);
        stream->yield(7);
        stream->finish();
        QVERIFY(!stream->yield(8));
        QTRY_VERIFY(ended);
        QCOMPARE(seen, QList<int>{7});

        // A stream ended before anyone reads it ends its reader at once.
        auto early = BoundedStream<int>::make(4);
        early->finish();
        bool earlyEnded = false;
        QList<int> none;
        consume(early, none, earlyEnded);
        QVERIFY(earlyEnded);
        QVERIFY(none.isEmpty());
    }

    void readerKeepsTheStreamAlive()
    {
        auto stream = BoundedStream<int>::make(4);
        std::weak_ptr<BoundedStream<int>> weak = stream;
        QList<int> seen;
        bool ended = false;
        consume(stream, seen, ended);
        auto producer = std::move(stream);
        producer->yield(1);
        producer->finish();
        producer.reset();
        QTRY_VERIFY(ended);
        QCOMPARE(seen, QList<int>{1});
        QTRY_VERIFY(weak.expired());
    }

    void serialQueueRunsOneAtATimeInOrder()
    {
        SerialQueue queue;
        QStringList log;
        DeferredEvent a, b, c;
        holdTurn(queue, QStringLiteral("a"), a, log);
        holdTurn(queue, QStringLiteral("b"), b, log);
        holdTurn(queue, QStringLiteral("c"), c, log);
        QCOMPARE(log, QStringList{"a+"});
        QCOMPARE(queue.waiting(), 2);
        // c finishing its wait early must not let it overtake b.
        c.set();
        QTest::qWait(10);
        QCOMPARE(log, QStringList{"a+"});
        a.set();
        QTRY_COMPARE(log, (QStringList{"a+", "a-", "b+"}));
        b.set();
        QTRY_COMPARE(log, (QStringList{"a+", "a-", "b+", "b-", "c+", "c-"}));
        QTRY_VERIFY(!queue.isBusy());
    }
};

QTEST_GUILESS_MAIN(StreamsTest)
#include "tst_streams.moc"
