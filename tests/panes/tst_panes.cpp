// labels: unit
#include "FakePublisher.h"
#include "clipboard/ClipboardPane.h"
#include "clipboard/ClipboardService.h"
#include "fakes/FakePasteboard.h"
#include "drop/DropPane.h"
#include "fakes/ManualClock.h"
#include "focus/FocusPane.h"
#include "music/MusicPane.h"
#include "notes/NotesPane.h"
#include "platform/Defaults.h"
#include "usage/UsagePane.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace tavrenhold;

namespace {
// An in-memory history over a clipboard no one copies to.
tavrenhold::ClipboardService &clipboardService()
{
    static tavrenhold::test::FakePasteboard pasteboard;
    static tavrenhold::test::FakeFrontmostApplication frontmost;
    static tavrenhold::ClipboardService service(pasteboard, frontmost, QString(), tavrenhold::Clock::system());
    return service;
}
} // namespace
using namespace tavrenhold::test;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(tavrenhold::IdleSignal)
Q_DECLARE_METATYPE(tavrenhold::NowPlayingState)

namespace {

std::unique_ptr<NotchPane> makePane(const QString &name, FakePublisher *publisher, Clock &clock)
{
    if (name == QLatin1String("music"))
        return std::make_unique<MusicPane>(publisher, clock);
    if (name == QLatin1String("focus"))
    {
        // A store of its own, so the timer starts from its defaults.
        static QTemporaryDir home;
        static platform::Defaults defaults(home.filePath(QStringLiteral("defaults.json")));
        return std::make_unique<FocusPane>(defaults, clock);
    }
    if (name == QLatin1String("drop")) {
        static QTemporaryDir cache;
        return std::make_unique<DropPane>(cache.filePath(QStringLiteral("DropShelf")), clock);
    }
    if (name == QLatin1String("notes"))
        return std::make_unique<NotesPane>();
    if (name == QLatin1String("clipboard"))
        return std::make_unique<ClipboardPane>(clipboardService());
    return std::make_unique<UsagePane>();
}

NowPlayingTrack track(double duration, std::optional<NotchImage> artwork = std::nullopt)
{
    return NowPlayingTrack{QStringLiteral("t1"), QStringLiteral("Song"), QStringLiteral("Artist"), QString(),
                           duration, std::nullopt, std::move(artwork)};
}

NowPlayingState stateOf(std::optional<NowPlayingTrack> t, PlaybackStatus status, double elapsed, const QDateTime &at)
{
    NowPlayingState s;
    s.track = std::move(t);
    s.status = status;
    s.elapsed = elapsed;
    s.capturedAt = at;
    return s;
}

} // namespace

class PanesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Before anything of their own exists, each pane has its identity, its height and its offer to
    // the collapsed bar; only the AI Usage pane is never inactive.
    void contract_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("height");
        QTest::addColumn<IdleSignal>("idle");

        const IdleSignal usage{false, 24, std::nullopt, IdleItem(IdleGlyph{QStringLiteral("gauge.with.dots.needle.67percent")}),
                               std::nullopt, std::nullopt, 0};
        QTest::newRow("usage") << "usage" << 120.0 << usage;
        QTest::newRow("music") << "music" << 156.0 << IdleSignal::inactive;
        QTest::newRow("clipboard") << "clipboard" << 200.0 << IdleSignal::inactive;
        QTest::newRow("notes") << "notes" << 170.0 << IdleSignal::inactive;
        QTest::newRow("drop") << "drop" << 160.0 << IdleSignal::inactive;
        QTest::newRow("focus") << "focus" << 132.0 << IdleSignal::inactive;
    }
    void contract()
    {
        QFETCH(QString, name);
        QFETCH(double, height);
        QFETCH(IdleSignal, idle);

        ManualClock clock;
        auto pane = makePane(name, new FakePublisher, clock);
        QCOMPARE(rawValue(pane->id()), name);
        QCOMPARE(pane->contentHeight(), height);
        QVERIFY(pane->idle() == idle);
        QVERIFY(pane->content().toString().endsWith(QStringLiteral(".qml")));
        // Activation round trips leave the offer as it was.
        pane->activate();
        pane->deactivate();
        QVERIFY(pane->idle() == idle);
        QCOMPARE(pane->property("title").toString(), title(pane->id()));
        QCOMPARE(pane->property("symbol").toString(), symbol(pane->id()));
    }

    // The Music pane offers its items while the now-playing state is live, with the playback fraction
    // at the time the state was applied.
    void musicIdle_data()
    {
        QTest::addColumn<NowPlayingState>("state");
        QTest::addColumn<bool>("live");
        QTest::addColumn<double>("progress");
        QTest::addColumn<double>("elapsed");

        const QDateTime at = ManualClock().wallNow().addSecs(-10); // captured ten seconds ago
        QTest::newRow("nothing playing") << NowPlayingState::idle() << false << 0.0 << 0.0;
        QTest::newRow("stopped track") << stateOf(track(200), PlaybackStatus::stopped, 50, at) << false << 0.0 << 0.0;
        QTest::newRow("paused") << stateOf(track(200), PlaybackStatus::paused, 50, at) << true << 0.25 << 50.0;
        QTest::newRow("playing") << stateOf(track(200), PlaybackStatus::playing, 50.5, at) << true << 0.3025 << 60.0;
        QTest::newRow("playing past the end") << stateOf(track(200), PlaybackStatus::playing, 199, at) << true << 1.0
                                              << 200.0;
        QTest::newRow("no duration") << stateOf(track(0), PlaybackStatus::playing, 50, at) << true << 0.0 << 0.0;
        QTest::newRow("elapsed not a number")
            << stateOf(track(200), PlaybackStatus::paused, std::nan(""), at) << true << 0.0 << 0.0;
    }
    void musicIdle()
    {
        QFETCH(NowPlayingState, state);
        QFETCH(bool, live);
        QFETCH(double, progress);
        QFETCH(double, elapsed);

        ManualClock clock;
        auto *publisher = new FakePublisher;
        MusicPane pane(publisher, clock);
        pane.startServices();
        publisher->publish(state);
        QCoreApplication::processEvents(); // the pane takes a state on the next turn

        const IdleSignal idle = pane.idle();
        if (!live) {
            QVERIFY(idle == IdleSignal::inactive);
            return;
        }
        QVERIFY(idle.isLive);
        QCOMPARE(idle.priority, 100);
        QVERIFY(!idle.pinnedLeading);
        QVERIFY(idle.identity && *idle.identity == IdleItem(IdleArtwork{}));
        QVERIFY(idle.rotating && *idle.rotating == IdleItem(IdleWaveform{MusicPane::flatLevels()}));
        QVERIFY(idle.progress);
        QCOMPARE(*idle.progress, progress);
        QCOMPARE(pane.elapsed(), elapsed);
        QCOMPARE(idle.pulse, 0);
    }

    void musicFollowsTheState()
    {
        ManualClock clock;
        auto *publisher = new FakePublisher;
        MusicPane pane(publisher, clock);
        QSignalSpy idle(&pane, &NotchPane::idleChanged);

        // Nothing is followed before the services start.
        publisher->publish(stateOf(track(100), PlaybackStatus::playing, 0, clock.wallNow()));
        QCoreApplication::processEvents(); // the pane takes a state on the next turn
        QCOMPARE(idle.count(), 0);
        QVERIFY(publisher->calls.isEmpty());

        pane.startServices();
        QCOMPARE(publisher->calls.first(), QStringLiteral("start"));
        QCOMPARE(idle.count(), 1);

        // A track that carries its artwork shows it.
        const NotchImage art{QStringLiteral("t1"), QByteArray("png")};
        publisher->publish(stateOf(track(100, art), PlaybackStatus::playing, 0, clock.wallNow()));
        QCoreApplication::processEvents(); // the pane takes a state on the next turn
        QCOMPARE(idle.count(), 2);
        QVERIFY(*pane.idle().identity == IdleItem(IdleArtwork{art}));

        pane.stopServices();
        QCOMPARE(publisher->calls.last(), QStringLiteral("stop"));
        publisher->publish(NowPlayingState::idle());
        QCoreApplication::processEvents(); // the pane takes a state on the next turn
        QCOMPARE(idle.count(), 3);
        QVERIFY(pane.idle() == IdleSignal::inactive);
        QVERIFY(!pane.artwork());
    }

    // Shown: foreground. Hidden: background while something is live, else suspended; a state that
    // changes while hidden sets it again.
    void musicCadence()
    {
        ManualClock clock;
        auto *publisher = new FakePublisher;
        MusicPane pane(publisher, clock);
        pane.startServices();
        publisher->calls.clear();

        pane.activate();
        QVERIFY(pane.isActive());
        QCOMPARE(publisher->calls, QStringList{"cadence:foreground"});
        pane.deactivate();
        QCOMPARE(publisher->calls.last(), QStringLiteral("cadence:suspended"));

        publisher->publish(stateOf(track(100), PlaybackStatus::paused, 3, clock.wallNow()));
        QCoreApplication::processEvents(); // the pane takes a state on the next turn
        QCOMPARE(publisher->calls.last(), QStringLiteral("cadence:background"));
        pane.activate();
        publisher->calls.clear();
        publisher->publish(stateOf(track(100), PlaybackStatus::playing, 3, clock.wallNow()));
        QCoreApplication::processEvents(); // the pane takes a state on the next turn
        QVERIFY(publisher->calls.isEmpty());
        pane.deactivate();
        QCOMPARE(publisher->calls, QStringList{"cadence:background"});
    }

    void dropPaneTargeting()
    {
        QTemporaryDir cache;
        ManualClock clock;
        DropPane pane(cache.filePath(QStringLiteral("DropShelf")), clock);
        QSignalSpy targeted(&pane, &DropPane::isTargetedChanged);
        int asked = 0;
        pane.setOnDragRequestsExpand([&asked] { ++asked; });
        pane.beginTargeting();
        pane.beginTargeting();
        QCOMPARE(targeted.count(), 1);
        QVERIFY(pane.isTargeted());
        QCOMPARE(asked, 2);
        pane.endTargeting();
        pane.endTargeting();
        QCOMPARE(targeted.count(), 2);
        QVERIFY(!pane.isTargeted());
        QCOMPARE(pane.pulse(), 0);
    }
};

QTEST_GUILESS_MAIN(PanesTest)
#include "tst_panes.moc"
