// labels: process
#include "SystemSourceHarness.h"

#include <QTest>

using namespace tavrenhold;
using namespace tavrenhold::test;

namespace {
const QByteArray kTrack = R"({"title":"One","playing":true})";
}

class SystemSourceSupervisionTest : public QObject {
    Q_OBJECT
    std::unique_ptr<DesktopEntries> m_entries;

private Q_SLOTS:
    void initTestCase() { m_entries = std::make_unique<DesktopEntries>(); }

    // An adapter that keeps exiting is restarted after 1 s and 2 s and given up at the third exit:
    // the stream of states ends without a last state, and probes answer false until 45 s have passed.
    void restartsThenDisables()
    {
        SourceFixture f;
        f.write("exit", "");
        QVERIFY(QCoro::waitFor(f.source.probe()));
        auto log = f.watch();
        QCoro::waitFor(f.source.start());

        QTRY_COMPARE(f.source.helperFailures(), 1);
        f.advance(Millis(950));
        QCOMPARE(f.clock.sleepers(), 1); // still waiting to restart
        QCOMPARE(f.count("stream"), 1);
        f.advance(Millis(50));
        QTRY_COMPARE(f.count("stream"), 2);
        QTRY_COMPARE(f.source.helperFailures(), 2);

        f.advance(Millis(1950));
        QCOMPARE(f.clock.sleepers(), 1);
        QCOMPARE(f.count("stream"), 2);
        f.advance(Millis(50));
        QTRY_COMPARE(f.count("stream"), 3);
        QTRY_VERIFY(f.source.isDisabled());

        QVERIFY(!f.source.isRunning());
        QCOMPARE(f.source.current(), NowPlayingState::idle());
        QTRY_VERIFY(log->ended);
        QCOMPARE(log->states(), QList<NowPlayingState>{NowPlayingState::idle()});
        QCOMPARE(f.clock.sleepers(), 0); // no further restart

        f.advance(Millis(30000));
        QVERIFY(!QCoro::waitFor(f.source.probe()));
        f.advance(Millis(14950));
        QVERIFY(!QCoro::waitFor(f.source.probe()));
        QCOMPARE(f.count("test " + f.adapter.testClientPath()), 1); // disabled probes test nothing
        f.advance(Millis(50));
        QVERIFY(QCoro::waitFor(f.source.probe()));
        QCOMPARE(f.count("test " + f.adapter.testClientPath()), 2);
        QVERIFY(!f.source.isDisabled());
        QCOMPARE(f.source.helperFailures(), 0);
        QCOMPARE(f.count("stream"), 3);
    }

    // A stream that reported a track and ran for a while before it died resets the count: every
    // restart comes after 1 s and the source never gives up.
    void aTrackResetsTheFailures()
    {
        SourceFixture f;
        f.write("stream", streamLine(kTrack));
        QCoro::waitFor(f.source.start());
        for (int run = 1; run <= 4; ++run) {
            QTRY_COMPARE(f.count("stream"), run);
            QTRY_VERIFY(f.source.current().track && f.source.current().track->title == "One");
            f.advance(SystemNowPlayingSource::shortRun);
            f.write(QStringLiteral("quit.%1").arg(run), "");
            QTRY_VERIFY_WITH_TIMEOUT(!f.source.hasStream(), 10000); // died, waiting to restart
            QCOMPARE(f.source.helperFailures(), 1);
            f.advance(Millis(1000));
        }
        QTRY_COMPARE(f.count("stream"), 5);
        QVERIFY(f.source.isRunning());
        QVERIFY(!f.source.isDisabled());
    }

    // A stream that prints a playing track and exits soon after its start is no success: the third
    // such exit in a row gives up, and the track it printed does not stay on as the state.
    void aStreamThatPrintsAndDiesAtOnceIsGivenUp_data()
    {
        QTest::addColumn<int>("livesMs"); // how long each run lasts, on the source's clock
        QTest::newRow("exits at once") << 0;
        QTest::newRow("exits just before the run counts") << int(SystemNowPlayingSource::shortRun.count()) - 50;
    }
    void aStreamThatPrintsAndDiesAtOnceIsGivenUp()
    {
        QFETCH(int, livesMs);
        SourceFixture f;
        f.write("stream", streamLine(kTrack));
        auto log = f.watch();
        QCoro::waitFor(f.source.start());
        for (int run = 1; run <= 3; ++run) {
            QTRY_COMPARE(f.count("stream"), run);
            QTRY_VERIFY(f.source.current().track || f.source.isDisabled());
            f.advance(Millis(livesMs));
            f.write(QStringLiteral("quit.%1").arg(run), "");
            if (run < 3) {
                QTRY_COMPARE_WITH_TIMEOUT(f.source.helperFailures(), run, 10000);
                f.advance(Millis(1000 * run));
            }
        }
        QTRY_VERIFY_WITH_TIMEOUT(f.source.isDisabled(), 10000);
        QCOMPARE(f.source.current(), NowPlayingState::idle());
        QTRY_VERIFY(log->ended);
        f.advance(Millis(10000));
        QTest::qWait(200);
        QCOMPARE(f.count("stream"), 3);
    }

    // A stop while a restart is pending cancels that restart: a start that follows runs exactly one
    // adapter, and the old timer does not replace it.
    void stopDuringTheRestartWait()
    {
        SourceFixture f;
        f.write("exit.1", "");
        QCoro::waitFor(f.source.start());
        QTRY_COMPARE(f.source.helperFailures(), 1);
        QCoro::waitFor(f.source.stop());
        QCoro::waitFor(f.source.start());
        QTRY_COMPARE(f.count("stream"), 2);
        QTRY_VERIFY(processAlive(f.adapter.savedPid()));
        const qint64 pid = f.adapter.savedPid();

        f.advance(Millis(3000));
        QTest::qWait(200);
        QCOMPARE(f.count("stream"), 2);
        QVERIFY(processAlive(pid));
        QCOMPARE(f.source.helperFailures(), 0);
    }

    // Giving up forgets the artwork pull of the track it was showing: re-enabled and started again,
    // the same track gets its picture again.
    void reenabledSourcePullsTheArtworkAgain()
    {
        SourceFixture f;
        const QByteArray withPicture = R"({"title":"One","artworkData":"UElD"})"; // "PIC"
        f.write("art", withPicture);
        f.write("stream.1", streamLine(kTrack));
        f.write("stream.4", streamLine(kTrack));
        for (const char *name : {"exit.1", "exit.2", "exit.3"})
            f.write(name, "");
        QCoro::waitFor(f.source.start());
        QTRY_VERIFY(f.source.current().track && f.source.current().track->artwork);
        QTRY_VERIFY(!f.source.hasStream());
        f.advance(Millis(1000));
        QTRY_COMPARE(f.count("stream"), 2);
        QTRY_COMPARE(f.source.helperFailures(), 2);
        f.advance(Millis(2000));
        QTRY_VERIFY(f.source.isDisabled());

        f.advance(SystemNowPlayingSource::reenableAfter);
        QVERIFY(QCoro::waitFor(f.source.probe()));
        auto log = f.watch();
        QCoro::waitFor(f.source.start());
        QTRY_VERIFY(f.source.current().track && f.source.current().track->artwork);
        QCOMPARE(f.source.current().track->artwork->bytes, QByteArray("PIC"));
        QCOMPARE(log->states().constLast(), f.source.current());
    }
};

QTEST_GUILESS_MAIN(SystemSourceSupervisionTest)
#include "tst_systemsourcesupervision.moc"
