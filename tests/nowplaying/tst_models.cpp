// labels: unit
#include "nowplaying/NowPlayingModels.h"

#include <QTest>

using namespace tavrenhold;

namespace {
const QDateTime c(QDate(2026, 3, 1), QTime(10, 0), Qt::UTC);

NowPlayingTrack track(double duration)
{
    NowPlayingTrack t;
    t.id = QStringLiteral("com.spotify.client\x1fSong\x1f" "A\x1f\x1f" "200");
    t.title = QStringLiteral("Song");
    t.artist = QStringLiteral("A");
    t.duration = duration;
    return t;
}

NowPlayingState state(PlaybackStatus status, double elapsed, double duration)
{
    NowPlayingState s;
    s.track = track(duration);
    s.status = status;
    s.elapsed = elapsed;
    s.capturedAt = c;
    s.player = PlayerIdentity{QStringLiteral("com.spotify.client"), QStringLiteral("Spotify")};
    return s;
}
} // namespace

class ModelsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void liveness_data()
    {
        QTest::addColumn<bool>("hasTrack");
        QTest::addColumn<PlaybackStatus>("status");
        QTest::addColumn<bool>("live");
        QTest::newRow("playing track") << true << PlaybackStatus::playing << true;
        QTest::newRow("paused track") << true << PlaybackStatus::paused << true;
        QTest::newRow("stopped track") << true << PlaybackStatus::stopped << false;
        QTest::newRow("playing without track") << false << PlaybackStatus::playing << false;
    }
    void liveness()
    {
        QFETCH(bool, hasTrack);
        QFETCH(PlaybackStatus, status);
        QFETCH(bool, live);
        NowPlayingState s = state(status, 10, 200);
        if (!hasTrack)
            s.track.reset();
        QCOMPARE(s.isLive(), live);
    }

    void position_data()
    {
        QTest::addColumn<PlaybackStatus>("status");
        QTest::addColumn<double>("elapsed");
        QTest::addColumn<double>("duration");
        QTest::addColumn<int>("offsetMs"); // query time relative to the capture
        QTest::addColumn<double>("expected");
        QTest::newRow("playing advances") << PlaybackStatus::playing << 10.0 << 200.0 << 5000 << 15.0;
        QTest::newRow("playing stops at the end") << PlaybackStatus::playing << 10.0 << 200.0 << 500000 << 200.0;
        QTest::newRow("before the capture counts as 0") << PlaybackStatus::playing << 10.0 << 200.0 << -5000 << 10.0;
        QTest::newRow("paused stays") << PlaybackStatus::paused << 10.0 << 200.0 << 60000 << 10.0;
        QTest::newRow("stopped stays") << PlaybackStatus::stopped << 10.0 << 200.0 << 60000 << 10.0;
        QTest::newRow("no duration") << PlaybackStatus::playing << 10.0 << 0.0 << 5000 << 0.0;
        QTest::newRow("negative duration") << PlaybackStatus::playing << 10.0 << -3.0 << 5000 << 0.0;
        QTest::newRow("negative elapsed") << PlaybackStatus::paused << -4.0 << 200.0 << 0 << 0.0;
        QTest::newRow("elapsed past the end") << PlaybackStatus::paused << 250.0 << 200.0 << 0 << 200.0;
        QTest::newRow("elapsed not a number") << PlaybackStatus::playing << qQNaN() << 200.0 << 5000 << 0.0;
    }
    void position()
    {
        QFETCH(PlaybackStatus, status);
        QFETCH(double, elapsed);
        QFETCH(double, duration);
        QFETCH(int, offsetMs);
        QFETCH(double, expected);
        QCOMPARE(state(status, elapsed, duration).position(c.addMSecs(offsetMs)), expected);
    }

    void idleIsNothing()
    {
        const NowPlayingState &idle = NowPlayingState::idle();
        QVERIFY(!idle.isLive());
        QVERIFY(!idle.track && !idle.player && !idle.issue);
        QCOMPARE(idle.status, PlaybackStatus::stopped);
        QCOMPARE(idle.position(c), 0.0);
        QCOMPARE(idle.position(NowPlayingState::distantPast().addYears(5000)), 0.0);
        QVERIFY(idle.capturedAt < QDateTime(QDate(1900, 1, 1), QTime(0, 0), Qt::UTC));
    }

    void equality_data()
    {
        QTest::addColumn<int>("change");
        QTest::addColumn<bool>("equal");
        QTest::newRow("unchanged") << 0 << true;
        QTest::newRow("capture time") << 1 << false;
        QTest::newRow("artwork bytes") << 2 << false;
        QTest::newRow("artwork identity") << 3 << false;
        QTest::newRow("canonically equivalent title") << 4 << true;
        QTest::newRow("player name") << 5 << false;
        QTest::newRow("issue") << 6 << false;
        QTest::newRow("elapsed by a hair") << 7 << false;
        QTest::newRow("artwork URL") << 8 << false;
    }
    void equality()
    {
        QFETCH(int, change);
        QFETCH(bool, equal);
        NowPlayingState a = state(PlaybackStatus::playing, 10, 200);
        a.track->title = QStringLiteral("Caf\u00e9");
        a.track->artwork = NotchImage{a.track->id, QByteArray("png-1")};
        NowPlayingState b = a;
        switch (change) {
        case 1: b.capturedAt = c.addMSecs(1); break;
        case 2: b.track->artwork->bytes = QByteArray("png-2"); break;
        case 3: b.track->artwork->id = QStringLiteral("other"); break;
        case 4: b.track->title = QStringLiteral("Cafe\u0301"); break;
        case 5: b.player = PlayerIdentity{a.player->id, QStringLiteral("Music")}; break;
        case 6: b.issue = NowPlayingIssue::automationDenied(QStringLiteral("Music")); break;
        case 7: b.elapsed = std::nextafter(a.elapsed, 11.0); break;
        case 8: b.track->artworkURL = QUrl(QStringLiteral("https://example.invalid/a.jpg")); break;
        default: break;
        }
        QCOMPARE(a == b, equal);
        QCOMPARE(b == a, equal);
    }

    void statusFromText_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<int>("expected"); // -1: none
        QTest::newRow("stopped") << "stopped" << int(PlaybackStatus::stopped);
        QTest::newRow("paused") << "paused" << int(PlaybackStatus::paused);
        QTest::newRow("playing") << "playing" << int(PlaybackStatus::playing);
        QTest::newRow("capitalised") << "Paused" << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("padded") << "paused " << -1;
    }
    void statusFromText()
    {
        QFETCH(QString, raw);
        QFETCH(int, expected);
        const auto status = playbackStatusFromRaw(raw);
        QCOMPARE(status.has_value(), expected >= 0);
        if (status) {
            QCOMPARE(int(*status), expected);
            QCOMPARE(rawValue(*status), raw);
        }
    }
};

QTEST_GUILESS_MAIN(ModelsTest)
#include "tst_models.moc"
