// Artwork downloads against a loopback HTTP server: a good answer becomes the artwork and the
// accent; failures change nothing and are not retried; a download whose track has gone or been
// replaced leaves no trace; only the web is fetched.
#include "LoopbackServer.h"
#include "MusicRig.h"

#include <QSignalSpy>
#include <QTest>

using namespace tavrenhold;
using namespace tavrenhold::test;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(tavrenhold::test::LoopbackServer::Mode)

namespace {
constexpr int ceiling = 10000;
}

class MusicArtworkTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { GradientWash::shared().setAccent(std::nullopt); }

    void goodAnswer()
    {
        LoopbackServer server;
        const QByteArray bytes = pngBytes();
        server.route(QStringLiteral("/a.png"), LoopbackServer::Mode::ok, bytes);
        MusicRig rig;
        rig.pane.startServices();
        QSignalSpy idle(&rig.pane, &NotchPane::idleChanged);
        rig.publish(makeState(makeTrack("a", 200, server.url("/a.png")), PlaybackStatus::paused, 0, rig.clock.wallNow()));
        QTRY_VERIFY_WITH_TIMEOUT(rig.pane.artwork().has_value(), ceiling);
        QCOMPARE(*rig.pane.artwork(), (NotchImage{QStringLiteral("a"), bytes}));
        QVERIFY(*rig.pane.idle().identity == IdleItem(IdleArtwork{rig.pane.artwork()}));
        QCOMPARE(idle.count(), 2); // the track, then its picture
        QTRY_VERIFY_WITH_TIMEOUT(GradientWash::shared().hasAccent(), ceiling);

        // A later state of the same track asks nothing again.
        rig.publish(makeState(makeTrack("a", 200, server.url("/a.png")), PlaybackStatus::playing, 3, rig.clock.wallNow()));
        QCOMPARE(rig.pane.downloadsStarted(), 1);
        QCOMPARE(server.requests(QStringLiteral("/a.png")), 1);
        rig.pane.stopServices();
    }

    void failuresChangeNothing_data()
    {
        QTest::addColumn<LoopbackServer::Mode>("mode");
        QTest::newRow("404") << LoopbackServer::Mode::notFound;
        QTest::newRow("empty body") << LoopbackServer::Mode::empty;
        QTest::newRow("dropped connection") << LoopbackServer::Mode::drop;
        QTest::newRow("oversized body") << LoopbackServer::Mode::oversized;
    }
    void failuresChangeNothing()
    {
        QFETCH(LoopbackServer::Mode, mode);
        LoopbackServer server;
        server.route(QStringLiteral("/a.png"), mode);
        MusicRig rig;
        rig.pane.startServices();
        const NotchImage old{QStringLiteral("old"), pngBytes()};
        rig.publish(makeState(makeTrack("old", 200, {}, old), PlaybackStatus::playing, 0, rig.clock.wallNow()));
        QSignalSpy artwork(&rig.pane, &MusicPane::artworkChanged);
        rig.publish(makeState(makeTrack("a", 200, server.url("/a.png")), PlaybackStatus::playing, 0, rig.clock.wallNow()));
        // Qt's HTTP layer itself sends a request once more when the connection drops unanswered.
        QTRY_VERIFY_WITH_TIMEOUT(server.requests(QStringLiteral("/a.png")) >= 1, ceiling);
        QTRY_COMPARE_WITH_TIMEOUT(rig.pane.downloadsEnded(), 1, ceiling);
        const int requests = server.requests(QStringLiteral("/a.png"));
        QCOMPARE(artwork.count(), 0);
        QCOMPARE(rig.pane.artwork(), std::optional(old)); // same player: the last picture stays
        rig.publish(makeState(makeTrack("a", 200, server.url("/a.png")), PlaybackStatus::paused, 9, rig.clock.wallNow()));
        QCOMPARE(rig.pane.downloadsStarted(), 1);
        QCOMPARE(server.requests(QStringLiteral("/a.png")), requests);
        rig.pane.stopServices();
    }

    // The server holds its answer while the track disappears, then answers: nothing shows.
    void staleAnswerIsDropped()
    {
        LoopbackServer server;
        server.route(QStringLiteral("/a.png"), LoopbackServer::Mode::hold, pngBytes());
        MusicRig rig;
        rig.pane.startServices();
        rig.publish(makeState(makeTrack("a", 200, server.url("/a.png")), PlaybackStatus::playing, 0, rig.clock.wallNow()));
        QTRY_COMPARE_WITH_TIMEOUT(server.held(), 1, ceiling);
        rig.publish(NowPlayingState::idle());
        QCOMPARE(rig.pane.downloadsEnded(), 1); // aborted with its track
        server.release();
        QCoreApplication::processEvents();
        QCOMPARE(rig.pane.artwork(), std::nullopt);
        QVERIFY(!GradientWash::shared().hasAccent());
    }

    // A newer track's download replaces the older one, whose late answer is ignored.
    void newerTrackCancelsOlderDownload()
    {
        LoopbackServer server;
        server.route(QStringLiteral("/a.png"), LoopbackServer::Mode::hold, pngBytes(Qt::red));
        const QByteArray second = pngBytes(Qt::green);
        server.route(QStringLiteral("/b.png"), LoopbackServer::Mode::ok, second);
        MusicRig rig;
        rig.pane.startServices();
        rig.publish(makeState(makeTrack("a", 200, server.url("/a.png")), PlaybackStatus::playing, 0, rig.clock.wallNow()));
        QTRY_COMPARE_WITH_TIMEOUT(server.held(), 1, ceiling);
        rig.publish(makeState(makeTrack("b", 200, server.url("/b.png")), PlaybackStatus::playing, 0, rig.clock.wallNow()));
        QTRY_VERIFY_WITH_TIMEOUT(rig.pane.artwork().has_value(), ceiling);
        QCOMPARE(rig.pane.artwork()->id, QStringLiteral("b"));
        QCOMPARE(rig.pane.downloadsEnded(), 2);
        server.release();
        QCoreApplication::processEvents();
        QCOMPARE(*rig.pane.artwork(), (NotchImage{QStringLiteral("b"), second}));
        rig.pane.stopServices();
    }

    // Only http and https are fetched; other schemes are taken as a failure.
    void onlyTheWeb_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::newRow("file") << QUrl(QStringLiteral("file:///etc/hostname"));
        QTest::newRow("data") << QUrl(QStringLiteral("data:image/png;base64,iVBORw0KGgo="));
        QTest::newRow("qrc") << QUrl(QStringLiteral("qrc:/tavrenhold/symbols/heart.svg"));
    }
    void onlyTheWeb()
    {
        QFETCH(QUrl, url);
        MusicRig rig;
        rig.pane.startServices();
        rig.publish(makeState(makeTrack("a", 200, url), PlaybackStatus::playing, 0, rig.clock.wallNow()));
        QCOMPARE(rig.pane.downloadsStarted(), 0);
        QCOMPARE(rig.pane.artwork(), std::nullopt);
    }
};

QTEST_MAIN(MusicArtworkTest)
#include "tst_musicartwork.moc"
