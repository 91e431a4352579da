// labels: mpris dbus qml
// The Music pane's expanded view over the real now-playing service: the pane owns a coordinator over
// the system source, which runs the built media-remote adapter against mpv playing two tagged 40 s
// tones on a private session bus. The view shows the tone's tags, its buttons and scrubber reach mpv,
// and its level bars move while mpv plays and lie flat once it pauses.
//
// One player for the whole run; the steps build on each other and run in order.
#include "EndToEndRig.h"
#include "design/QuickHarness.h"
#include "fakes/FakeNowPlayingSource.h"
#include "fakes/FakeSystemAppearance.h"
#include "music/MusicPane.h"
#include "nowplaying/NowPlayingCoordinator.h"
#include "nowplaying/SystemNowPlayingSource.h"

#include <QQuickItem>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <cmath>
#include <memory>
#include <set>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_MusicPlugin)

using namespace tavrenhold;
using namespace tavrenhold::test;

namespace {

QString describe(const NowPlayingState &state)
{
    if (!state.track)
        return QStringLiteral("no track, status %1").arg(rawValue(state.status));
    return QStringLiteral("\"%1\" %2 at %3 s").arg(state.track->title, rawValue(state.status)).arg(state.elapsed);
}

} // namespace

class MusicPaneViewEndToEnd : public QObject {
    Q_OBJECT

    EndToEndRig m_rig;
    std::unique_ptr<MprisPeer> m_peer;
    // The pane moves its bars (no reduced motion); the view swaps faces at once.
    FakeSystemAppearance m_paneAppearance;
    std::unique_ptr<MusicPane> m_pane;
    std::unique_ptr<QuickHarness> m_quick;

    QWindow *window() { return &m_quick->window(); }
    QQuickItem *find(const char *name) { return findIn(m_quick->item(), QLatin1String(name)); }
    static QQuickItem *findIn(QQuickItem *item, QLatin1String name)
    {
        if (item->objectName() == name)
            return item;
        for (QQuickItem *child : item->childItems()) {
            if (QQuickItem *found = findIn(child, name))
                return found;
        }
        return nullptr;
    }
    QString text(const char *name) { return find(name)->property("text").toString(); }
    void click(const char *name)
    {
        QQuickItem *item = find(name);
        QTest::mouseClick(window(), Qt::LeftButton, {},
                          item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint());
        QCoreApplication::processEvents();
    }
    [[nodiscard]] NowPlayingState state() const { return m_pane->coordinator()->state(); }
    [[nodiscard]] QString why() const
    {
        return describe(state()) + QStringLiteral("; mpv: %1 \"%2\" at %3 s")
                                       .arg(m_peer->status(), m_peer->title())
                                       .arg(m_peer->position());
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString problem = m_rig.prepare();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        m_peer = std::make_unique<MprisPeer>();
        QVERIFY2(m_peer->startBus(), "dbus-daemon did not start");
        QVERIFY2(m_peer->launchPlayer(m_rig.tones()), "mpv did not start");
        QVERIFY2(m_peer->waitForTitle(EndToEndRig::firstTitle), "mpv did not come up on the bus");
        QTRY_COMPARE_WITH_TIMEOUT(m_peer->status(), QStringLiteral("Playing"), 10000);

        auto *system = new SystemNowPlayingSource(Clock::system(), m_rig.adapterFolder());
        auto *coordinator = new NowPlayingCoordinator(system, new FakeNowPlayingSource(QStringLiteral("applescript")));
        m_pane = std::make_unique<MusicPane>(coordinator, Clock::system(), &m_paneAppearance);
        m_pane->startServices();
        m_pane->activate();

        m_quick = std::make_unique<QuickHarness>();
        m_quick->appearance.setReduceMotion(true);
        QVERIFY(m_quick->load("import Tavrenhold.Music\nMusicPaneContent {}", {560, 156}));
        m_quick->item()->setProperty("pane", QVariant::fromValue(m_pane.get()));
    }

    void cleanupTestCase()
    {
        m_quick.reset();
        if (m_pane) {
            m_pane->stopServices();
            // The adapter stream ends on its own signal; give it the moment it needs.
            QTest::qWait(300);
        }
        m_pane.reset();
        m_peer.reset();
    }

    void viewShowsTheTonesTags()
    {
        QTRY_COMPARE_WITH_TIMEOUT(text("musicTitle"), EndToEndRig::firstTitle, 30000);
        QCOMPARE(text("musicSubtitle"), EndToEndRig::artist + QStringLiteral("  \u00B7  ") + EndToEndRig::album);
        QTRY_COMPARE_WITH_TIMEOUT(text("musicDuration"), QStringLiteral("0:40"), 10000);
        QVERIFY(find("musicTransport")->isVisible());
        QVERIFY(!find("musicEmptyActions")->isVisible());
    }

    // Each button of the view moves mpv, and the view follows what mpv then reports.
    void buttonsReachThePlayer()
    {
        QTRY_COMPARE_WITH_TIMEOUT(find("musicPlayPause")->property("symbol").toString(), QStringLiteral("pause.fill"), 10000);
        click("musicPlayPause");
        QTRY_VERIFY2_WITH_TIMEOUT(m_peer->status() == QStringLiteral("Paused"), qPrintable(why()), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(find("musicPlayPause")->property("symbol").toString(), QStringLiteral("play.fill"), 10000);

        click("musicPlayPause");
        QTRY_VERIFY2_WITH_TIMEOUT(m_peer->status() == QStringLiteral("Playing"), qPrintable(why()), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(find("musicPlayPause")->property("symbol").toString(), QStringLiteral("pause.fill"), 10000);

        click("musicNext");
        QVERIFY2(m_peer->waitForTitle(EndToEndRig::secondTitle, 10000), qPrintable(why()));
        QTRY_COMPARE_WITH_TIMEOUT(text("musicTitle"), EndToEndRig::secondTitle, 15000);

        click("musicPrevious");
        QVERIFY2(m_peer->waitForTitle(EndToEndRig::firstTitle, 10000), qPrintable(why()));
        QTRY_COMPARE_WITH_TIMEOUT(text("musicTitle"), EndToEndRig::firstTitle, 15000);
        QTRY_VERIFY2_WITH_TIMEOUT(m_peer->status() == QStringLiteral("Playing"), qPrintable(why()), 10000);
    }

    // A click at the middle of the scrubber: the pane shows 0:20 of the 40 s tone at once, before mpv
    // has moved, and mpv then plays on from about 20 s.
    void scrubberCommitSeeksThePlayer()
    {
        QTRY_VERIFY2_WITH_TIMEOUT(state().status == PlaybackStatus::playing && m_pane->elapsed() < 15, qPrintable(why()),
                                  15000);
        QQuickItem *scrubber = find("musicScrubber");
        QVERIFY(scrubber->width() > 100);
        // The first whole pixel at or past the middle: a fraction from 0.5 to less than 0.51.
        const QPointF left = scrubber->mapToScene(QPointF(0, scrubber->height() / 2));
        const QPoint middle(int(std::ceil(left.x() + scrubber->width() / 2)), int(left.y()));
        QTest::mouseClick(window(), Qt::LeftButton, {}, middle);
        QCoreApplication::processEvents();
        QCOMPARE(text("musicElapsed"), QStringLiteral("0:20"));
        QVERIFY(std::abs(m_pane->fraction() - 0.5) < 0.01);

        QTRY_VERIFY2_WITH_TIMEOUT(m_peer->position() >= 19.5 && m_peer->position() < 24, qPrintable(why()), 10000);
        QCOMPARE(m_peer->title(), EndToEndRig::firstTitle);
        // The state the adapter reports next agrees: the shown position runs on from there.
        QTRY_VERIFY2_WITH_TIMEOUT(std::abs(state().position(QDateTime::currentDateTimeUtc()) - m_peer->position()) < 2,
                                  qPrintable(why()), 10000);
        QVERIFY2(m_pane->elapsed() >= 19 && m_pane->elapsed() < 26, qPrintable(why()));
    }

    // While mpv plays the display timer moves the bars; paused from the view, they lie flat.
    void barsFollowPlayback()
    {
        QTRY_VERIFY2_WITH_TIMEOUT(state().status == PlaybackStatus::playing, qPrintable(why()), 10000);
        std::set<std::vector<float>> seen;
        QTRY_VERIFY_WITH_TIMEOUT((seen.insert(m_pane->levels()), seen.size() >= 4), 10000);
        QVERIFY(m_pane->levels() != MusicPane::flatLevels());
        QVERIFY(find("musicLevels")->property("isPlaying").toBool());

        click("musicPlayPause");
        QTRY_VERIFY2_WITH_TIMEOUT(m_peer->status() == QStringLiteral("Paused"), qPrintable(why()), 10000);
        QTRY_VERIFY2_WITH_TIMEOUT(m_pane->levels() == MusicPane::flatLevels(), qPrintable(why()), 10000);
        QVERIFY(!find("musicLevels")->property("isPlaying").toBool());
        // And they stay flat: no display timer runs while paused.
        QVERIFY(!m_pane->tickerInterval());
    }
};

QTEST_MAIN(MusicPaneViewEndToEnd)
#include "tst_musicpaneview.moc"
