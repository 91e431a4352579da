// labels: process
#include "SystemSourceHarness.h"

#include <QTest>

using namespace tavrenhold;
using namespace tavrenhold::test;

namespace {

const QByteArray kOne = R"({"title":"One","playing":true})";
const QByteArray kTwo = R"({"title":"Two","playing":true})";

// The answers the tables name.
QByteArray pullAnswer(const QString &name)
{
    if (name == "One")
        return kOne;
    if (name == "Two")
        return kTwo;
    if (name == "untitled")
        return R"({"artist":"Somebody","playing":true})";
    return {};
}

// Artwork answers for the track One: "O", "P", "Z" carry those bytes, "none" carries no picture,
// "other" is another song's picture.
QByteArray artworkAnswer(const QString &name)
{
    if (name == "none")
        return R"({"title":"One"})";
    if (name == "other")
        return R"({"title":"Other","artworkData":"Tw=="})"; // "O"
    if (name.size() == 1)
        return QByteArrayLiteral(R"({"title":"One","artworkData":")") + name.toLatin1().toBase64()
            + QByteArrayLiteral("\"}");
    return {};
}

// Starts the source and waits until the track One is current and its first artwork run is done.
bool startWithOne(SourceFixture &f)
{
    QCoro::waitFor(f.source.start());
    f.feed(kOne);
    if (!QTest::qWaitFor([&] { return f.source.current().track.has_value(); }, 10000))
        return false;
    return settle();
}

// Moves the clock to `until` ms after now in 50 ms steps, letting every run finish after each step,
// and gives the offsets at which runs of the kind ("get" or "art") were made after the first `before`
// ones; runs already made by now count as made at 0.
QList<int> runTimes(SourceFixture &f, const QString &kind, int until, int before)
{
    QList<int> times;
    int seen = before;
    for (int t = 0; t <= until; t += 50) {
        if (t > 0)
            f.clock.advance(Millis(50));
        if (!settle())
            return {-1};
        for (const int now = f.count(kind); seen < now; ++seen)
            times.append(t);
    }
    return times;
}

QString pictureOf(const NowPlayingState &state)
{
    if (!state.track || !state.track->artwork)
        return QStringLiteral("-");
    return QString::fromLatin1(state.track->artwork->bytes);
}

} // namespace

class TrackRefreshTest : public QObject {
    Q_OBJECT
    std::unique_ptr<DesktopEntries> m_entries;

private Q_SLOTS:
    void initTestCase() { m_entries = std::make_unique<DesktopEntries>(); }

    // After a skip the track is pulled at 200, 450, 900, 1500 and 2500 ms until another song is seen.
    void pullsAfterASkip_data()
    {
        QTest::addColumn<QStringList>("answers"); // per pull; "-" fails
        QTest::addColumn<QList<int>>("pulls");
        QTest::addColumn<QString>("title");
        QTest::newRow("a new song at the first pull ends the schedule")
            << QStringList{"Two"} << QList<int>{200} << "Two";
        QTest::newRow("the same song: five pulls, then none")
            << QStringList{"One", "One", "One", "One", "One"} << QList<int>{200, 450, 900, 1500, 2500} << "One";
        QTest::newRow("a pull without a title is not taken")
            << QStringList{"untitled", "untitled", "Two"} << QList<int>{200, 450, 900} << "Two";
        QTest::newRow("failed runs count as attempts")
            << QStringList{"-", "-", "-", "-", "Two"} << QList<int>{200, 450, 900, 1500, 2500} << "Two";
    }
    void pullsAfterASkip()
    {
        QFETCH(QStringList, answers);
        QFETCH(QList<int>, pulls);
        QFETCH(QString, title);
        SourceFixture f;
        for (int i = 0; i < answers.size(); ++i) {
            if (answers[i] != "-")
                f.write(QStringLiteral("get.%1").arg(i + 1), pullAnswer(answers[i]));
        }
        QVERIFY(startWithOne(f));
        QCoro::waitFor(f.source.send(TransportCommand::next()));
        QCOMPARE(runTimes(f, "get", 4000, 0), pulls);
        QCOMPARE(f.source.current().track->title, title);
        QCOMPARE(f.count("send 4"), 1);
    }

    // A pulled song that the hand-over hold keeps back has not replaced the old one yet: the pulls go
    // on while it is held, and end without another run once it is shown (the hold of the state pulled
    // at 200 ms ends at 1700 ms).
    void aHeldPullDoesNotEndTheSchedule()
    {
        SourceFixture f;
        for (const char *bundle : {"org.a", "org.b"}) // names known, so no intake waits for a lookup
            QCoro::waitFor(f.names.name(bundle));
        f.write("get", R"({"title":"Two","bundleIdentifier":"org.b","playing":false})");
        QCoro::waitFor(f.source.start());
        f.feed(R"({"title":"One","bundleIdentifier":"org.a","playing":true})");
        QTRY_VERIFY(f.source.current().track.has_value());
        QVERIFY(settle());
        QCoro::waitFor(f.source.send(TransportCommand::next()));
        QCOMPARE(runTimes(f, "get", 4000, 0), (QList<int>{200, 450, 900, 1500}));
        QCOMPARE(f.source.current().track->title, "Two");
    }

    // A second skip cancels the first schedule; the first's pull that was running is discarded.
    void aSecondSkipTakesOver()
    {
        SourceFixture f;
        f.write("get.1", kTwo);
        f.write("get.2", kTwo);
        QVERIFY(startWithOne(f));
        auto log = f.watch();
        f.write("get.gate", "");
        QCoro::waitFor(f.source.send(TransportCommand::next()));
        f.advance(Millis(200));
        QTRY_COMPARE(f.count("get"), 1); // running, held at the gate
        QCoro::waitFor(f.source.send(TransportCommand::next()));
        f.remove("get.gate");
        QVERIFY(settle());
        QCOMPARE(f.source.current().track->title, "One");
        QCOMPARE(log->entries.size(), 1);

        QCOMPARE(runTimes(f, "get", 4000, 1), QList<int>{200});
        QCOMPARE(f.source.current().track->title, "Two");
    }

    // A stop discards the pull in flight and ends the schedule.
    void stopDiscardsThePullInFlight()
    {
        SourceFixture f;
        f.write("get", kTwo);
        QVERIFY(startWithOne(f));
        f.write("get.gate", "");
        QCoro::waitFor(f.source.send(TransportCommand::previous()));
        f.advance(Millis(200));
        QTRY_COMPARE(f.count("get"), 1);
        QCoro::waitFor(f.source.stop());
        QCoro::waitFor(f.source.start());
        f.remove("get.gate");
        QVERIFY(settle());
        QCOMPARE(runTimes(f, "get", 4000, 1), QList<int>{});
        // The restarted stream reports One again; Two was never taken.
        QTRY_VERIFY(f.source.current().track.has_value());
        QCOMPARE(f.source.current().track->title, "One");
    }

    // A new track's artwork is pulled at 0, 300, 700, 1200 and 2000 ms. `pictures`: One's artwork in
    // each state shown for it ("-" for none).
    void artworkPulls_data()
    {
        QTest::addColumn<bool>("previous"); // the track Zero with the picture "Z" comes first
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QStringList>("pictures");
        QTest::newRow("the same bytes every run are attached once")
            << false << QStringList{"O", "O", "O", "O", "O"} << QStringList{"-", "O"};
        QTest::newRow("no picture reported: the carried-over one goes at the first run")
            << true << QStringList{"none", "none", "none", "none", "none"} << QStringList{"Z", "-"};
        QTest::newRow("the previous track's picture is skipped until the new one comes")
            << true << QStringList{"Z", "Z", "O", "O", "O"} << QStringList{"Z", "O"};
        QTest::newRow("a later picture replaces; a report without one never removes it")
            << false << QStringList{"O", "P", "none", "-", "other"} << QStringList{"-", "O", "P"};
        QTest::newRow("another song's picture is ignored")
            << true << QStringList{"other", "other", "other", "other", "other"} << QStringList{"Z"};
        QTest::newRow("failed runs change nothing") << false << QStringList{"-", "-", "-", "-", "-"}
                                                    << QStringList{"-"};
    }
    void artworkPulls()
    {
        QFETCH(bool, previous);
        QFETCH(QStringList, answers);
        QFETCH(QStringList, pictures);
        SourceFixture f;
        auto log = f.watch();
        QCoro::waitFor(f.source.start());
        int before = 0;
        if (previous) {
            f.write("art.1", R"({"title":"Zero","artworkData":"Wg=="})"); // "Z"
            f.feed(R"({"title":"Zero","playing":true})");
            QTRY_COMPARE(pictureOf(f.source.current()), "Z");
            QVERIFY(settle());
            before = 1;
        }
        for (int i = 0; i < answers.size(); ++i) {
            if (answers[i] != "-")
                f.write(QStringLiteral("art.%1").arg(before + i + 1), artworkAnswer(answers[i]));
        }
        f.feed(kOne);
        QTRY_VERIFY(f.source.current().track && f.source.current().track->title == "One");
        QCOMPARE(runTimes(f, "art", 3000, before), (QList<int>{0, 300, 700, 1200, 2000}));

        QStringList seen;
        for (const NowPlayingState &state : log->states()) {
            if (state.track && state.track->title == "One")
                seen.append(pictureOf(state));
        }
        QCOMPARE(seen, pictures);
        // The picture attached is the track's own.
        if (const auto &art = f.source.current().track->artwork; art && pictures.constLast() != "Z")
            QCOMPARE(art->id, f.source.current().track->id);
    }

    // Artwork that arrives after its track was replaced changes nothing.
    void artworkForATrackNoLongerCurrent()
    {
        SourceFixture f;
        auto log = f.watch();
        f.write("art.1", artworkAnswer("O"));
        f.write("art.gate", "");
        QCoro::waitFor(f.source.start());
        f.feed(kOne);
        QTRY_COMPARE(f.count("art"), 1); // One's run, held at the gate
        f.feed(kTwo);
        QTRY_VERIFY(f.source.current().track && f.source.current().track->title == "Two");
        f.remove("art.gate");
        QVERIFY(settle());
        QCOMPARE(f.count("art"), 2); // Two's first run, answered by nothing
        for (const NowPlayingState &state : log->states())
            QCOMPARE(pictureOf(state), "-");
    }

    // A player that changes tracks faster than the adapter answers queues one artwork pull, for the
    // track current when its turn comes, not one per track it went through.
    void aFloodOfTracksQueuesOnePull()
    {
        SourceFixture f;
        f.write("art.gate", "");
        QCoro::waitFor(f.source.start());
        f.feed(kOne);
        QTRY_COMPARE(f.count("art"), 1); // One's run, held at the gate
        for (int i = 1; i <= 30; ++i) {
            f.feed(QStringLiteral(R"({"title":"T%1","playing":true})").arg(i).toUtf8());
            if (i % 3 == 0) // let some of them through the stream one by one
                QTRY_VERIFY(f.source.current().track && f.source.current().track->title == QStringLiteral("T%1").arg(i));
        }
        QTRY_VERIFY(f.source.current().track && f.source.current().track->title == "T30");
        f.remove("art.gate");
        QVERIFY(settle());
        QTest::qWait(200);
        QVERIFY(settle());
        QCOMPARE(f.count("art"), 2); // One's, then T30's first run
    }

    // One pull schedule per track: a pause of the same track pulls nothing, a stop forgets the track.
    void onePullSchedulePerTrack()
    {
        SourceFixture f;
        QVERIFY(startWithOne(f));
        QCOMPARE(runTimes(f, "art", 3000, 0).size(), 5);
        f.feed(R"({"title":"One","playing":false})");
        QTRY_COMPARE(f.source.current().status, PlaybackStatus::paused);
        QCOMPARE(runTimes(f, "art", 3000, 5), QList<int>{});

        QCoro::waitFor(f.source.stop());
        QCoro::waitFor(f.source.start());
        QTRY_VERIFY(f.source.current().track.has_value());
        QTRY_COMPARE(f.count("art"), 6);
    }
};

QTEST_GUILESS_MAIN(TrackRefreshTest)
#include "tst_trackrefresh.moc"
