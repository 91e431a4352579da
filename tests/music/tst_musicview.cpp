// labels: qml
// The Music pane's view offscreen over a recording service: both faces, the transport buttons,
// dragging the scrubber, the bar's hover, the volume controls over a fake output, and the title's
// sweep, all through the pointer.
#include "MusicRig.h"
#include "design/QuickHarness.h"

#include <QQuickItem>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <memory>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_MusicPlugin)

using namespace tavrenhold;
using namespace tavrenhold::test;

class MusicViewTest : public QObject {
    Q_OBJECT

    StepDriver m_driver;
    std::unique_ptr<QuickHarness> m_quick;
    std::unique_ptr<MusicRig> m_rig;

    QWindow *window() { return &m_quick->window(); }
    // A named item among the view's items (a repeater's items are found through the item tree).
    QQuickItem *find(const char *name) { return findIn(m_quick->item(), QLatin1String(name)); }
    static QQuickItem *findIn(QQuickItem *item, QLatin1String name)
    {
        if (item->objectName() == name)
            return item;
        for (QQuickItem *child : item->childItems()) {
            if (QQuickItem *found = findIn(child, name))
                return found;
        }
        return item->findChild<QQuickItem *>(name);
    }
    QString text(const char *name) { return find(name)->property("text").toString(); }
    // A point of a named item, in window coordinates; (fx, fy) are fractions of its size.
    QPoint at(const char *name, double fx = 0.5, double fy = 0.5)
    {
        QQuickItem *item = find(name);
        return item->mapToScene(QPointF(item->width() * fx, item->height() * fy)).toPoint();
    }
    void click(const char *name)
    {
        QTest::mouseClick(window(), Qt::LeftButton, {}, at(name));
        QCoreApplication::processEvents();
    }

    bool loadContent()
    {
        m_quick->appearance.setReduceMotion(true);
        if (!m_quick->load("import Tavrenhold.Music\nMusicPaneContent {}", {640, 156}))
            return false;
        m_quick->item()->setProperty("pane", QVariant::fromValue(&m_rig->pane));
        m_quick->advance(m_driver, 20);
        return true;
    }

private Q_SLOTS:
    void initTestCase() { m_driver.install(); }
    void init()
    {
        m_rig = std::make_unique<MusicRig>();
        m_rig->pane.startServices();
        m_quick = std::make_unique<QuickHarness>();
    }
    void cleanup()
    {
        m_quick.reset();
        m_rig.reset();
    }

    void liveFace()
    {
        NowPlayingTrack track = makeTrack("a", 200);
        track.title = QStringLiteral("Song");
        m_rig->publish(makeState(track, PlaybackStatus::paused, 30, m_rig->clock.wallNow()));
        QVERIFY(loadContent());
        QCOMPARE(text("musicTitle"), QStringLiteral("Song"));
        QCOMPARE(text("musicSubtitle"), QStringLiteral("Artist  \u00B7  Album"));
        QCOMPARE(text("musicElapsed"), QStringLiteral("0:30"));
        QCOMPARE(text("musicDuration"), QStringLiteral("3:20"));
        QCOMPARE(find("musicPlayPause")->property("symbol").toString(), QStringLiteral("play.fill"));
        QVERIFY(find("musicTransport")->isVisible());
        QVERIFY(find("musicLevels")->isVisible());
        QVERIFY(!find("musicEmptyActions")->isVisible());
        QVERIFY(!find("musicHeart")->isVisible()); // Spotify has no favourites here

        m_rig->publisher->calls.clear();
        click("musicPrevious");
        click("musicPlayPause");
        click("musicNext");
        click("musicSubtitle");
        QCOMPARE(m_rig->publisher->calls, (QStringList{"send:previous", "send:toggle", "send:next", "open"}));

        // Stopping hides the transport and the meter together.
        m_rig->publish(makeState(track, PlaybackStatus::stopped, 30, m_rig->clock.wallNow()));
        QVERIFY(!find("musicTransport")->isVisible());
        QVERIFY(!find("musicLevels")->isVisible());
        QVERIFY(find("musicEmptyActions")->isVisible());
    }

    void emptyFace()
    {
        m_rig->publisher->players = {{QStringLiteral("com.spotify.client"), QStringLiteral("Spotify"), {}},
                                     {QStringLiteral("com.apple.Music"), QStringLiteral("Music"), {}}};
        NowPlayingState denied = NowPlayingState::idle();
        denied.issue = NowPlayingIssue::automationDenied(QStringLiteral("Music"));
        m_rig->publish(denied);
        QVERIFY(loadContent());
        QCOMPARE(text("musicTitle"), QStringLiteral("Nothing playing"));
        QVERIFY(find("musicPlaceholder")->isVisible());
        QVERIFY(find("musicOpenSettings")->isVisible());
        QVERIFY(!find("musicTransport")->isVisible());
        // The settings tile leads, then one tile per player.
        QQuickItem *spotifyTile = find("playerTile_com.spotify.client");
        QVERIFY(spotifyTile);
        QTRY_VERIFY(find("musicOpenSettings")->x() < spotifyTile->x()); // once the row has laid out
        QCOMPARE(spotifyTile->findChild<QObject *>(QStringLiteral("playerTileText"))->property("text").toString(),
                 QStringLiteral("Play in Spotify"));
        m_rig->publisher->calls.clear();
        click("playerTile_com.apple.Music");
        click("musicOpenSettings");
        click("musicTitle"); // nothing to open
        QCOMPARE(m_rig->publisher->calls, (QStringList{"launch:com.apple.Music", "settings"}));

        // Narrower than the three tiles: they share the row, none reaching past it, texts cut short.
        m_quick->item()->setWidth(500);
        QQuickItem *row = find("musicEmptyActions");
        QQuickItem *musicTile = find("playerTile_com.apple.Music");
        const auto rightEdge = [](QQuickItem *item) { return item->mapToScene(QPointF(item->width(), 0)).x(); };
        QTRY_VERIFY2(rightEdge(musicTile) <= rightEdge(row) + 0.5,
                     qPrintable(QStringLiteral("%1 past %2").arg(rightEdge(musicTile)).arg(rightEdge(row))));
        QVERIFY(find("musicOpenSettings")->x() < spotifyTile->x() && spotifyTile->x() < musicTile->x());
        QVERIFY(musicTile->findChild<QObject *>(QStringLiteral("playerTileText"))->property("truncated").toBool());
    }

    // Going live and leaving it cross-fade the two faces with the content spring: part-way both show,
    // the meter sliding; at rest only one does. Under reduced motion the face swaps at once.
    void facesFade_data()
    {
        QTest::addColumn<bool>("reduceMotion");
        QTest::newRow("motion") << false;
        QTest::newRow("reduced motion") << true;
    }
    void facesFade()
    {
        QFETCH(bool, reduceMotion);
        const NowPlayingTrack track = makeTrack("a", 200);
        m_rig->publish(makeState(track, PlaybackStatus::playing, 30, m_rig->clock.wallNow()));
        QVERIFY(loadContent());
        m_quick->appearance.setReduceMotion(reduceMotion);
        QQuickItem *transport = find("musicTransport");
        QQuickItem *actions = find("musicEmptyActions");
        QQuickItem *levels = find("musicLevels");
        QCOMPARE(transport->opacity(), 1.0);
        QVERIFY(!actions->isVisible());
        // The meter ends at the trailing padding (34), once the layout has run.
        const auto meterRight = [&] { return levels->mapToScene(QPointF(levels->width(), 0)).x(); };
        const double padded = m_quick->item()->width() - 34;
        QTRY_COMPARE(meterRight(), padded);

        for (const PlaybackStatus status : {PlaybackStatus::stopped, PlaybackStatus::playing}) {
            const bool live = status != PlaybackStatus::stopped;
            m_rig->publish(makeState(track, status, 30, m_rig->clock.wallNow()));
            m_quick->advance(m_driver, 48);
            if (reduceMotion) {
                QCOMPARE(transport->isVisible(), live);
                QCOMPARE(actions->isVisible(), !live);
                QCOMPARE(levels->isVisible(), live);
            } else {
                QVERIFY2(transport->isVisible() && transport->opacity() > 0.02 && transport->opacity() < 0.98,
                         qPrintable(QString::number(transport->opacity())));
                QVERIFY(actions->isVisible());
                QCOMPARE(actions->opacity() + transport->opacity(), 1.0);
                QVERIFY(levels->isVisible() && levels->opacity() == transport->opacity());
            }
            m_quick->advance(m_driver, 1500);
            QCOMPARE(transport->isVisible(), live);
            QCOMPARE(actions->isVisible(), !live);
            QCOMPARE(levels->isVisible(), live);
            QCOMPARE((live ? transport : actions)->opacity(), 1.0);
        }
        // Back where it started: the meter at the far right again.
        QTRY_COMPARE(meterRight(), padded);
    }

    // A press at 25 % shows 0:50 before anything is sent; the release seeks there once.
    void scrubberDrag()
    {
        m_rig->publish(makeState(makeTrack("a", 200), PlaybackStatus::paused, 10, m_rig->clock.wallNow()));
        QVERIFY(loadContent());
        m_rig->publisher->calls.clear();
        QTest::mousePress(window(), Qt::LeftButton, {}, at("musicScrubber", 0.1));
        QTest::mouseMove(window(), at("musicScrubber", 0.25));
        QCoreApplication::processEvents();
        QCOMPARE(text("musicElapsed"), QStringLiteral("0:50"));
        QVERIFY(m_rig->publisher->calls.isEmpty());
        QTest::mouseRelease(window(), Qt::LeftButton, {}, at("musicScrubber", 0.25));
        QCoreApplication::processEvents();
        QCOMPARE(m_rig->publisher->calls.size(), 1);
        QVERIFY(m_rig->publisher->calls[0].startsWith(QStringLiteral("seek:0.2")));
        QCOMPARE(text("musicElapsed"), QStringLiteral("0:50"));
    }

    // Hovering thickens the bar from 3 to 5 and shows the knob; leaving undoes it.
    void barHover()
    {
        m_rig->publish(makeState(makeTrack("a", 200), PlaybackStatus::paused, 100, m_rig->clock.wallNow()));
        QVERIFY(loadContent());
        QQuickItem *bar = find("musicScrubber");
        QQuickItem *knob = bar->findChild<QQuickItem *>(QStringLiteral("barKnob"));
        QCOMPARE(bar->property("thickness").toDouble(), 3.0);
        QCOMPARE(knob->opacity(), 0.0);
        QTest::mouseMove(window(), QPoint(1, 1));
        QTest::mouseMove(window(), at("musicScrubber", 0.5, 0.1)); // above the thin bar still counts
        QTRY_VERIFY(bar->property("hovering").toBool());
        QCOMPARE(bar->property("thickness").toDouble(), 5.0);
        QCOMPARE(knob->opacity(), 1.0);
        QCOMPARE(knob->x(), (bar->width() - 13) * 0.5);
        QTest::mouseMove(window(), QPoint(1, 1));
        QTRY_VERIFY(!bar->property("hovering").toBool());
        QCOMPARE(bar->property("thickness").toDouble(), 3.0);
    }

    // Muted, a click on the slider at 30 % unmutes the output and sets 0.3; the button mutes again.
    void volumeControls()
    {
        m_rig->audio.set(0.7, true);
        m_rig->publish(makeState(makeTrack("a", 200), PlaybackStatus::paused, 0, m_rig->clock.wallNow()));
        QVERIFY(loadContent());
        QCOMPARE(find("muteButton")->property("symbol").toString(), QStringLiteral("speaker.slash.fill"));
        QTest::mouseClick(window(), Qt::LeftButton, {}, at("volumeSlider", 0.3));
        QCoreApplication::processEvents();
        QCOMPARE(m_rig->audio.calls.value(0), QStringLiteral("mute:0"));
        const double written = m_rig->audio.calls.value(1).mid(7).toDouble();
        QVERIFY2(written > 0.25 && written < 0.35, qPrintable(m_rig->audio.calls.join(u' ')));
        QVERIFY(!m_rig->audio.isMuted());
        QCOMPARE(find("muteButton")->property("symbol").toString(), QStringLiteral("speaker.wave.2.fill"));
        click("muteButton");
        QVERIFY(m_rig->audio.isMuted());
        QCOMPARE(find("volumeSlider")->property("value").toDouble(), 0.0);
    }

    // A title too wide for its place waits 0.55 s under the pointer, then sweeps out and back; on
    // leaving it returns to rest. Under reduced motion nothing moves, but the tooltip stays.
    void marquee_data()
    {
        QTest::addColumn<bool>("reduceMotion");
        QTest::newRow("motion") << false;
        QTest::newRow("reduced motion") << true;
    }
    void marquee()
    {
        QFETCH(bool, reduceMotion);
        m_quick->appearance.setReduceMotion(reduceMotion);
        QVERIFY(m_quick->load("import Tavrenhold.Music\n"
                              "Item { property alias marquee: marquee\n"
                              "  MarqueeText { id: marquee; objectName: \"marquee\"; x: 10; y: 10; width: 100;\n"
                              "    text: \"A title far too long to fit in one hundred points\"; font: Style.title;\n"
                              "    color: Style.ink } }",
                              {200, 60}));
        QQuickItem *marquee = find("marquee");
        const double overflow = marquee->property("textWidth").toDouble() - 100;
        QVERIFY(overflow > 1);
        QCOMPARE(marquee->property("tooltip").toString(), marquee->property("text").toString());
        QTest::mouseMove(window(), QPoint(1, 1));
        QTest::mouseMove(window(), QPoint(50, 20));
        QTRY_VERIFY(marquee->property("hovering").toBool());
        QCOMPARE(marquee->property("canScroll").toBool(), !reduceMotion);
        m_quick->advance(m_driver, 500);
        QCOMPARE(marquee->property("offset").toDouble(), 0.0);
        if (reduceMotion) {
            m_quick->advance(m_driver, 3000);
            QCOMPARE(marquee->property("offset").toDouble(), 0.0);
            return;
        }
        // The whole string shows, still at rest, until the lead-in ends.
        QCOMPARE(marquee->findChild<QQuickItem *>(QStringLiteral("marqueeResting"))->opacity(), 0.0);
        QCOMPARE(marquee->findChild<QQuickItem *>(QStringLiteral("marqueeScrolling"))->opacity(), 1.0);
        m_quick->advance(m_driver, 200);
        QVERIFY(marquee->property("offset").toDouble() > 0);
        // Out to overflow + 16 at 26 points a second, then straight back.
        const double distance = overflow + 16;
        const int sweepMs = int(distance / 26 * 1000);
        m_quick->advance(m_driver, sweepMs - 200);
        QVERIFY(std::abs(marquee->property("offset").toDouble() - distance) < 3);
        m_quick->advance(m_driver, sweepMs / 2);
        const double halfway = marquee->property("offset").toDouble();
        QVERIFY(halfway > 3 && halfway < distance - 3);
        // Leaving springs back to rest, where the resting copy shows again.
        QTest::mouseMove(window(), QPoint(190, 55));
        QTRY_VERIFY(!marquee->property("hovering").toBool());
        m_quick->advance(m_driver, 1500);
        QVERIFY(std::abs(marquee->property("offset").toDouble()) < 0.5);
        QCOMPARE(marquee->findChild<QQuickItem *>(QStringLiteral("marqueeResting"))->opacity(), 1.0);
    }
};

QTEST_MAIN(MusicViewTest)
#include "tst_musicview.moc"
