// labels: unit
// The Apple Events source over a scripted host, a hand-set workspace and a hand-driven clock: which
// reading wins, late script answers, the cadence-driven position poll, notifications, commands and
// the automation issue.
#include "fakes/FakePlayerWorkspace.h"
#include "fakes/FakeScriptHost.h"
#include "fakes/ManualClock.h"
#include "nowplaying/AppleEventRunner.h"
#include "nowplaying/AppleScriptSource.h"

#include <QCoreApplication>
#include <QTest>

Q_DECLARE_METATYPE(tavrenhold::PlayerKind)
Q_DECLARE_METATYPE(tavrenhold::NowPlayingCadence)
Q_DECLARE_METATYPE(tavrenhold::PlayerSnapshot)

using namespace tavrenhold;
using namespace std::chrono_literals;
using test::FakePlayerWorkspace;
using test::FakeScriptHost;
using test::ManualClock;

namespace {

const QString spotifyID = QStringLiteral("com.spotify.client");
const QString musicID = QStringLiteral("com.apple.Music");

QString answer(const QStringList &fields) { return fields.join(PlayerScripts::separator); }

QString stateAnswer(const QString &state, const QString &id, const QString &title, const QString &duration,
                    const QString &position, const QString &extra = QString())
{
    return answer({state, id, title, QStringLiteral("Artist"), QStringLiteral("Album"), duration, position, extra});
}

QString positionScript(PlayerKind kind) { return PlayerScripts::wrap(PlayerScripts::positionBody(), kind); }
QString artworkScript() { return PlayerScripts::wrap(PlayerScripts::artworkBody(), PlayerKind::spotify); }

void settle()
{
    for (int i = 0; i < 40; ++i)
        QCoreApplication::processEvents();
}

QCoro::Task<> collect(std::shared_ptr<NowPlayingStateStream> stream, QList<NowPlayingState> *into, bool *ended)
{
    for (;;) {
        auto next = stream->next();
        const auto state = co_await next;
        if (!state)
            break;
        into->append(*state);
    }
    *ended = true;
}

PlayerSnapshot reading(PlayerKind kind, PlaybackStatus status, bool withTrack, int updatedSeconds)
{
    PlayerSnapshot s = PlayerSnapshot::fresh(kind);
    s.status = status;
    if (withTrack)
        s.track = NowPlayingTrack{rawValue(kind), rawValue(kind), {}, {}, 100};
    s.updatedAt = QDateTime(QDate(2026, 1, 5), QTime(9, 0), Qt::UTC).addSecs(updatedSeconds);
    return s;
}

// A source over fakes; published holds every state its events() stream delivered.
struct Rig {
    ManualClock clock;
    FakeScriptHost host{&clock};
    AppleEventRunner runner{host};
    FakePlayerWorkspace workspace;
    PlayerNotificationCenter center;
    std::unique_ptr<AppleScriptSource> source;
    QList<NowPlayingState> published;
    bool streamEnded = false;

    Rig()
    {
        workspace.install(spotifyID, QUrl::fromLocalFile(QStringLiteral("/usr/share/applications/spotify.desktop")));
        source = std::make_unique<AppleScriptSource>(clock, runner, workspace, center);
    }
    // Work the source left waiting on the event loop (the stream reader above among it) ends here,
    // while what it writes to still exists.
    ~Rig()
    {
        source.reset();
        settle();
    }

    void start()
    {
        source->start();
        settle();
        collect(QCoro::waitFor(source->events()), &published, &streamEnded);
        settle();
    }
    int runs(const QString &script) const { return int(host.executed().count(script)); }
    void advance(Millis d)
    {
        clock.advance(d);
        settle();
    }
    void post(PlayerKind kind, const QVariantMap &info)
    {
        Q_EMIT center.notificationPosted(PlayerNotificationCenter::notificationName(kind), info);
        settle();
    }
};

} // namespace

class AppleScriptSourceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startsOnceAndStopsClean()
    {
        Rig rig;
        rig.workspace.setRunning(spotifyID, true);
        rig.host.answerText(PlayerScripts::stateScript(PlayerKind::spotify),
                            stateAnswer("playing", "sp:1", "Song", "215000", "12.5", "https://i.scdn.co/image/one"));
        rig.source->start();
        rig.start(); // the second start does nothing

        QCOMPARE(rig.center.observerCount(), 1);
        QCOMPARE(rig.runs(PlayerScripts::stateScript(PlayerKind::spotify)), 1);
        QCOMPARE(rig.runs(PlayerScripts::stateScript(PlayerKind::appleMusic)), 0); // Music does not run
        const NowPlayingState &state = rig.source->current();
        QVERIFY(state.track);
        QCOMPARE(state.track->id, QStringLiteral("sp:1"));
        QCOMPARE(state.track->duration, 215.0);
        QCOMPARE(state.track->artworkURL, QUrl(QStringLiteral("https://i.scdn.co/image/one")));
        QCOMPARE(state.status, PlaybackStatus::playing);
        QCOMPARE(state.elapsed, 12.5);
        QCOMPARE(state.player, (PlayerIdentity{spotifyID, QStringLiteral("Spotify")}));
        QCOMPARE(rig.published.last(), state);
        QCOMPARE(rig.runs(artworkScript()), 0); // the reading came with its address
        QVERIFY(rig.source->isPolling());

        QCoro::waitFor(rig.source->stop());
        settle();
        QVERIFY(rig.streamEnded);
        QCOMPARE(rig.center.observerCount(), 0);
        QCOMPARE(rig.source->current(), NowPlayingState::idle());
        QVERIFY(rig.source->snapshots().empty());
        QVERIFY(!rig.source->isPolling());
        QCOMPARE(rig.clock.sleepers(), 0);
        QCoro::waitFor(rig.source->stop()); // stopping a stopped source only resets it
        QCOMPARE(rig.source->current(), NowPlayingState::idle());

        // Notifications after the stop reach nobody.
        rig.post(PlayerKind::spotify, {{"Player State", "Playing"}, {"Name", "Late"}});
        QVERIFY(rig.source->snapshots().empty());
    }

    void withNoPlayerRunningStaysIdle()
    {
        Rig rig;
        QVERIFY(QCoro::waitFor(rig.source->probe())); // Spotify is installed
        rig.start();
        QVERIFY(rig.host.executed().isEmpty());
        QCOMPARE(rig.published, QList<NowPlayingState>{NowPlayingState::idle()});
        QCOMPARE(rig.clock.sleepers(), 0);

        rig.workspace.uninstall(spotifyID);
        QVERIFY(!QCoro::waitFor(rig.source->probe()));
    }

    void winnerRules_data()
    {
        QTest::addColumn<QList<PlayerSnapshot>>("readings");
        QTest::addColumn<QString>("winner"); // "" for none

        QTest::newRow("Music playing beats a later-replaced paused Spotify")
            << QList{reading(PlayerKind::spotify, PlaybackStatus::paused, true, 50),
                     reading(PlayerKind::appleMusic, PlaybackStatus::playing, true, 10)}
            << "appleMusic";
        QTest::newRow("both paused: the one replaced last")
            << QList{reading(PlayerKind::spotify, PlaybackStatus::paused, true, 10),
                     reading(PlayerKind::appleMusic, PlaybackStatus::paused, true, 20)}
            << "appleMusic";
        QTest::newRow("both playing at the same time: the first in player order")
            << QList{reading(PlayerKind::spotify, PlaybackStatus::playing, true, 10),
                     reading(PlayerKind::appleMusic, PlaybackStatus::playing, true, 10)}
            << "spotify";
        QTest::newRow("playing without a track never wins")
            << QList{reading(PlayerKind::spotify, PlaybackStatus::playing, false, 90),
                     reading(PlayerKind::appleMusic, PlaybackStatus::paused, true, 10)}
            << "appleMusic";
        QTest::newRow("stopped readings are no candidates")
            << QList{reading(PlayerKind::spotify, PlaybackStatus::stopped, true, 90)} << "";
    }
    void winnerRules()
    {
        QFETCH(QList<PlayerSnapshot>, readings);
        QFETCH(QString, winner);
        std::map<PlayerKind, PlayerSnapshot> snapshots;
        for (const PlayerSnapshot &s : readings)
            snapshots[s.kind] = s;
        const auto won = AppleScriptSource::winner(snapshots);
        QCOMPARE(won ? rawValue(won->kind) : QString(), winner);
    }

    // A notification that replaces the reading while the state script runs makes that script's
    // answer be dropped, also when both fall within one tick of the clock.
    void lateStateAnswerIsDropped_data()
    {
        QTest::addColumn<int>("notifiedAfterMs");
        QTest::newRow("later than the script's start") << 40;
        QTest::newRow("within the same millisecond") << 0;
    }
    void lateStateAnswerIsDropped()
    {
        QFETCH(int, notifiedAfterMs);
        Rig rig;
        rig.workspace.setRunning(spotifyID, true);
        rig.host.answerText(PlayerScripts::stateScript(PlayerKind::spotify),
                            stateAnswer("playing", "old", "Old", "100000", "1", "https://a/x.jpg"), 100ms);
        rig.start();
        QCOMPARE(rig.runs(PlayerScripts::stateScript(PlayerKind::spotify)), 1);
        rig.advance(Millis(notifiedAfterMs));
        rig.post(PlayerKind::spotify, {{"Player State", "Paused"},
                                       {"Track ID", "new"},
                                       {"Name", "New"},
                                       {"Duration", 180000},
                                       {"Playback Position", 3.0}});
        QCOMPARE(rig.source->current().track->id, QStringLiteral("new"));
        rig.advance(200ms); // the state answer arrives, and also the artwork answer
        const NowPlayingState &state = rig.source->current();
        QCOMPARE(state.track->id, QStringLiteral("new"));
        QCOMPARE(state.status, PlaybackStatus::paused);
        QCOMPARE(state.elapsed, 3.0);
        QCOMPARE(state.track->duration, 180.0);
    }

    // The position poll runs only while the published state plays, and not while suspended.
    void pollFollowsTheCadence_data()
    {
        QTest::addColumn<NowPlayingCadence>("cadence");
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("intervalMs"); // 0: no poll
        QTest::newRow("foreground") << NowPlayingCadence::foreground << "playing" << 1000;
        QTest::newRow("background") << NowPlayingCadence::background << "playing" << 6000;
        QTest::newRow("suspended") << NowPlayingCadence::suspended << "playing" << 0;
        QTest::newRow("paused") << NowPlayingCadence::foreground << "paused" << 0;
    }
    void pollFollowsTheCadence()
    {
        QFETCH(NowPlayingCadence, cadence);
        QFETCH(QString, state);
        QFETCH(int, intervalMs);
        Rig rig;
        rig.workspace.setRunning(musicID, true);
        rig.host.answerText(PlayerScripts::stateScript(PlayerKind::appleMusic), stateAnswer(state, "m1", "Tune", "200", "10"));
        rig.host.answerText(positionScript(PlayerKind::appleMusic), answer({state, "10"}));
        QCoro::waitFor(rig.source->setCadence(cadence));
        rig.start();
        const QString poll = positionScript(PlayerKind::appleMusic);
        if (intervalMs == 0) {
            QCOMPARE(rig.clock.sleepers(), 0);
            rig.advance(60s);
            QCOMPARE(rig.runs(poll), 0);
            return;
        }
        rig.advance(Millis(intervalMs - 1));
        QCOMPARE(rig.runs(poll), 0);
        rig.advance(1ms);
        QCOMPARE(rig.runs(poll), 1);
        rig.advance(Millis(intervalMs));
        QCOMPARE(rig.runs(poll), 2);
    }

    void cadenceChangesRebuildThePoll()
    {
        Rig rig;
        rig.workspace.setRunning(musicID, true);
        const QString music = PlayerScripts::stateScript(PlayerKind::appleMusic);
        rig.host.answerText(music, stateAnswer("playing", "m1", "Tune", "200", "10"));
        rig.host.answerText(positionScript(PlayerKind::appleMusic), answer({"playing", "10"}));
        rig.start();
        QCOMPARE(rig.runs(music), 1);

        QCoro::waitFor(rig.source->setCadence(NowPlayingCadence::foreground));
        QCOMPARE(rig.runs(music), 2); // the foreground reads every player at once
        rig.advance(1s);
        QCOMPARE(rig.runs(positionScript(PlayerKind::appleMusic)), 1);

        QCoro::waitFor(rig.source->setCadence(NowPlayingCadence::background));
        QCOMPARE(rig.runs(music), 2);
        rig.advance(5s);
        QCOMPARE(rig.runs(positionScript(PlayerKind::appleMusic)), 1);
        rig.advance(1s);
        QCOMPARE(rig.runs(positionScript(PlayerKind::appleMusic)), 2);

        QCoro::waitFor(rig.source->setCadence(NowPlayingCadence::suspended));
        QCOMPARE(rig.clock.sleepers(), 0);
        QVERIFY(!rig.source->isPolling());
    }

    // A polled position is published only when the status changed or it moved more than 0.6 s away
    // from the extrapolated one; one that does not read changes nothing.
    void polledPositions_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("publishes");
        QTest::addColumn<QString>("status");
        QTest::addColumn<double>("elapsed");
        // Captured at 12.5 s; 6 s later the extrapolation is 18.5 s.
        QTest::newRow("on time") << answer({"playing", "18.9"}) << false << "playing" << 12.5;
        QTest::newRow("jumped") << answer({"playing", "40"}) << true << "playing" << 40.0;
        QTest::newRow("paused meanwhile") << answer({"paused", "18.5"}) << true << "paused" << 18.5;
        QTest::newRow("stopped") << QStringLiteral("stopped") << true << "stopped" << 0.0;
        QTest::newRow("no number") << answer({"playing", "1,5"}) << false << "playing" << 12.5;
        QTest::newRow("negative") << answer({"playing", "-4"}) << false << "playing" << 12.5;
        QTest::newRow("not finite") << answer({"playing", "inf"}) << false << "playing" << 12.5;
        QTest::newRow("no position") << QStringLiteral("playing") << false << "playing" << 12.5;
    }
    void polledPositions()
    {
        QFETCH(QString, reply);
        QFETCH(bool, publishes);
        QFETCH(QString, status);
        QFETCH(double, elapsed);
        Rig rig;
        rig.workspace.setRunning(spotifyID, true);
        rig.host.answerText(PlayerScripts::stateScript(PlayerKind::spotify),
                            stateAnswer("playing", "sp:1", "Song", "215000", "12.5", "https://a/x.jpg"));
        rig.host.answerText(positionScript(PlayerKind::spotify), reply);
        rig.start();
        const qsizetype before = rig.published.size();
        rig.advance(6s);
        QCOMPARE(rig.runs(positionScript(PlayerKind::spotify)), 1);
        QCOMPARE(rig.published.size() > before, publishes);
        QCOMPARE(rawValue(rig.source->current().status), status);
        QCOMPARE(rig.source->current().elapsed, elapsed);
    }

    // A notification without a position for a new track gives elapsed 0 at once, then asks the
    // player; an answer close to the extrapolation publishes nothing more.
    void notificationForANewTrackAsksForThePosition()
    {
        Rig rig;
        rig.workspace.setRunning(spotifyID, true);
        rig.host.answerText(PlayerScripts::stateScript(PlayerKind::spotify),
                            stateAnswer("playing", "sp:1", "Song", "215000", "80", "https://a/one.jpg"));
        rig.host.answerText(positionScript(PlayerKind::spotify), answer({"playing", "0.4"}));
        rig.start();
        rig.advance(1s);
        const qsizetype before = rig.published.size();
        rig.post(PlayerKind::spotify, {{"Player State", "Playing"}, {"Track ID", "sp:2"}, {"Name", "Next"}});

        QCOMPARE(rig.runs(positionScript(PlayerKind::spotify)), 1);
        QCOMPARE(rig.published.size(), before + 1);
        const NowPlayingState &state = rig.source->current();
        QCOMPARE(state.track->id, QStringLiteral("sp:2"));
        QCOMPARE(state.track->title, QStringLiteral("Next"));
        QCOMPARE(state.track->duration, 215.0); // carried over: the notification gave none
        QCOMPARE(state.track->artworkURL, std::optional<QUrl>()); // another track: not carried
        QCOMPARE(state.elapsed, 0.0);
        QCOMPARE(state.capturedAt, rig.clock.wallNow());
        QCOMPARE(rig.runs(artworkScript()), 1); // and its artwork is asked for
    }

    void notificationsKeepWhatTheySayNothingOf()
    {
        Rig rig;
        rig.workspace.setRunning(spotifyID, true);
        rig.host.answerText(PlayerScripts::stateScript(PlayerKind::spotify),
                            stateAnswer("playing", "sp:1", "Song", "215000", "30", "https://a/one.jpg"));
        rig.host.answerText(positionScript(PlayerKind::spotify), answer({"paused", "30.2"}));
        rig.start();
        const QDateTime captured = rig.source->current().capturedAt;
        rig.advance(1s);
        // The same track paused, without a position: the position and artwork stay, then the
        // player is asked and its answer (within 0.6 s of the extrapolation) is taken quietly.
        rig.post(PlayerKind::spotify, {{"Player State", "Paused"}, {"Track ID", "sp:1"}, {"Name", "Song"}});
        const NowPlayingState &state = rig.source->current();
        QCOMPARE(state.status, PlaybackStatus::paused);
        QCOMPARE(state.track->artworkURL, QUrl(QStringLiteral("https://a/one.jpg")));
        QCOMPARE(state.elapsed, 30.0);
        QCOMPARE(state.capturedAt, captured);
        QVERIFY(!rig.source->isPolling());

        // Stopped: the reading loses its track, and nothing is left to publish.
        rig.post(PlayerKind::spotify, {{"Player State", "Stopped"}});
        QCOMPARE(rig.source->current(), NowPlayingState::idle());
    }

    void lifecycleOfAKnownPlayerReadsAllPlayers()
    {
        Rig rig;
        rig.start();
        const QString spotify = PlayerScripts::stateScript(PlayerKind::spotify);
        rig.host.answerText(spotify, stateAnswer("paused", "sp:1", "Song", "215000", "5", "https://a/x.jpg"));
        rig.workspace.setRunning(spotifyID, true);
        Q_EMIT rig.center.applicationLaunched(QStringLiteral("org.videolan.vlc"));
        settle();
        QCOMPARE(rig.runs(spotify), 0);
        Q_EMIT rig.center.applicationLaunched(spotifyID);
        settle();
        QCOMPARE(rig.runs(spotify), 1);
        QCOMPARE(rig.source->current().status, PlaybackStatus::paused);

        // It quits: its reading goes at the next reading of all players.
        rig.workspace.setRunning(spotifyID, false);
        Q_EMIT rig.center.applicationTerminated(spotifyID);
        settle();
        QCOMPARE(rig.source->current(), NowPlayingState::idle());
    }

    // A running player that refused a script raises automationDenied, even while nothing plays; the
    // issue goes when it quits, and the next script it answers clears the refusal.
    void deniedAutomationIsAnIssueWhileThePlayerRuns()
    {
        Rig rig;
        rig.workspace.setRunning(musicID, true);
        const QString music = PlayerScripts::stateScript(PlayerKind::appleMusic);
        rig.host.answerError(music, platform::ScriptHost::deniedError);
        rig.start();
        QCOMPARE(rig.source->current().issue, NowPlayingIssue::automationDenied(QStringLiteral("Music")));
        QVERIFY(!rig.source->current().track);

        rig.workspace.setRunning(musicID, false);
        Q_EMIT rig.center.applicationTerminated(musicID);
        settle();
        QCOMPARE(rig.source->current(), NowPlayingState::idle());
        QCOMPARE(rig.source->deniedPlayers(), std::set<PlayerKind>{PlayerKind::appleMusic});

        rig.workspace.setRunning(musicID, true);
        rig.host.answerText(music, stateAnswer("paused", "m1", "Tune", "200", "10"));
        Q_EMIT rig.center.applicationLaunched(musicID);
        settle();
        QVERIFY(rig.source->deniedPlayers().empty());
        QCOMPARE(rig.source->current().issue, std::optional<NowPlayingIssue>());
        QCOMPARE(rig.source->current().track->title, QStringLiteral("Tune"));
    }

    void aStateScriptFindingNoTrackClearsTheReading()
    {
        Rig rig;
        rig.workspace.setRunning(musicID, true);
        const QString music = PlayerScripts::stateScript(PlayerKind::appleMusic);
        rig.host.answerText(music, stateAnswer("paused", "m1", "Tune", "200", "10"));
        rig.start();
        QVERIFY(rig.source->current().isLive());
        rig.host.answerError(music, platform::ScriptHost::noObjectError);
        Q_EMIT rig.center.applicationLaunched(musicID);
        settle();
        QCOMPARE(rig.source->current(), NowPlayingState::idle());
        // A time-out keeps the reading as it was.
        rig.host.answerText(music, stateAnswer("paused", "m1", "Tune", "200", "10"));
        Q_EMIT rig.center.applicationLaunched(musicID);
        settle();
        rig.host.answerError(music, platform::ScriptHost::timedOutError);
        Q_EMIT rig.center.applicationLaunched(musicID);
        settle();
        QCOMPARE(rig.source->current().track->id, QStringLiteral("m1"));
    }

    // A seek reaches the player as a fresh script with three decimals; 0.35 s later the player is
    // read again.
    void seekThenRereads()
    {
        Rig rig;
        rig.workspace.setRunning(spotifyID, true);
        const QString spotify = PlayerScripts::stateScript(PlayerKind::spotify);
        rig.host.answerText(spotify, stateAnswer("playing", "sp:1", "Song", "215000", "5", "https://a/x.jpg"));
        rig.start();
        const int compiled = rig.runner.compiledCount();
        const QString seek =
            PlayerScripts::wrap(QStringLiteral("set player position to 75.250"), PlayerKind::spotify);

        rig.source->send(TransportCommand::seek(75.25));
        settle();
        QCOMPARE(rig.runs(seek), 1);
        QCOMPARE(rig.runner.compiledCount(), compiled); // not kept: every seek differs
        QCOMPARE(rig.runs(spotify), 1);
        rig.advance(349ms);
        QCOMPARE(rig.runs(spotify), 1);
        rig.advance(1ms);
        QCOMPARE(rig.runs(spotify), 2);

        // A position that is no number is not sent.
        rig.source->send(TransportCommand::seek(std::numeric_limits<double>::quiet_NaN()));
        settle();
        QCOMPARE(rig.host.executed().filter(QStringLiteral("set player position")).size(), 1);
    }

    void commandsGoToTheRightPlayer_data()
    {
        QTest::addColumn<bool>("spotifyPublished"); // Spotify plays when the source starts
        QTest::addColumn<bool>("spotifyRuns");      // when the command is sent
        QTest::addColumn<bool>("musicRuns");
        QTest::addColumn<QString>("target"); // "" for none
        QTest::newRow("the published player") << true << true << true << "spotify";
        QTest::newRow("published Spotify has quit: Music") << true << false << true << "appleMusic";
        QTest::newRow("nothing published: Spotify first") << false << true << true << "spotify";
        QTest::newRow("nothing published, only Music") << false << false << true << "appleMusic";
        QTest::newRow("no player runs: dropped") << false << false << false << "";
    }
    void commandsGoToTheRightPlayer()
    {
        QFETCH(bool, spotifyPublished);
        QFETCH(bool, spotifyRuns);
        QFETCH(bool, musicRuns);
        QFETCH(QString, target);
        Rig rig;
        if (spotifyPublished) {
            rig.workspace.setRunning(spotifyID, true);
            rig.host.answerText(PlayerScripts::stateScript(PlayerKind::spotify),
                                stateAnswer("playing", "sp:1", "Song", "215000", "5", "https://a/x.jpg"));
        }
        rig.start();
        rig.workspace.setRunning(spotifyID, spotifyRuns);
        rig.workspace.setRunning(musicID, musicRuns);
        const int before = int(rig.host.executed().size());
        rig.source->send(TransportCommand::next());
        settle();
        const QStringList sent = rig.host.executed().mid(before);
        if (target.isEmpty()) {
            QVERIFY(sent.isEmpty());
            return;
        }
        const PlayerKind kind = *playerKindFromRaw(target);
        QCOMPARE(sent, QStringList{PlayerScripts::wrap(QStringLiteral("next track"), kind)});
    }

    // Only Spotify gives artwork addresses, and only web addresses count.
    void spotifyArtworkAddress_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("artwork"); // "" for none
        QTest::newRow("https") << "https://i.scdn.co/image/ab67" << "https://i.scdn.co/image/ab67";
        QTest::newRow("a file") << "file:///tmp/cover.png" << "";
        QTest::newRow("words") << "missing value" << "";
    }
    void spotifyArtworkAddress()
    {
        QFETCH(QString, reply);
        QFETCH(QString, artwork);
        Rig rig;
        rig.workspace.setRunning(spotifyID, true);
        rig.host.answerText(PlayerScripts::stateScript(PlayerKind::spotify),
                            stateAnswer("paused", "sp:1", "Song", "215000", "5", ""));
        rig.host.answerText(artworkScript(), reply);
        rig.start();
        QCOMPARE(rig.runs(artworkScript()), 1);
        const auto url = rig.source->current().track->artworkURL;
        QCOMPARE(url ? url->toString() : QString(), artwork);
    }

    // The player answers the artwork script for the track it plays then: when another track was
    // published meanwhile, the address is not pinned on it.
    void artworkForATrackThatChangedMeanwhileIsDropped()
    {
        Rig rig;
        rig.workspace.setRunning(spotifyID, true);
        rig.host.answerText(PlayerScripts::stateScript(PlayerKind::spotify),
                            stateAnswer("paused", "sp:1", "Song", "215000", "5", ""));
        rig.host.answerText(artworkScript(), QStringLiteral("https://i.scdn.co/image/one"), 100ms);
        rig.start();
        QCOMPARE(rig.runs(artworkScript()), 1);
        rig.advance(50ms);
        rig.post(PlayerKind::spotify,
                 {{"Player State", "Paused"}, {"Track ID", "sp:2"}, {"Name", "Other"}, {"Playback Position", 1.0}});
        rig.host.answerText(artworkScript(), QStringLiteral("https://i.scdn.co/image/two"));
        rig.advance(100ms);
        const NowPlayingState &state = rig.source->current();
        QCOMPARE(state.track->id, QStringLiteral("sp:2"));
        QCOMPARE(state.track->artworkURL, QUrl(QStringLiteral("https://i.scdn.co/image/two")));
    }

    // A command whose source stops before the player is read again leaves no reading behind.
    void aStoppedSourceReadsNoPlayerAfterACommand()
    {
        Rig rig;
        rig.workspace.setRunning(spotifyID, true);
        const QString spotify = PlayerScripts::stateScript(PlayerKind::spotify);
        rig.host.answerText(spotify, stateAnswer("paused", "sp:1", "Song", "215000", "5", "https://a/x.jpg"));
        rig.start();
        rig.source->send(TransportCommand::play());
        settle();
        QCoro::waitFor(rig.source->stop());
        rig.advance(1s);
        QCOMPARE(rig.runs(spotify), 1);
        QVERIFY(rig.source->snapshots().empty());
        QCOMPARE(rig.source->current(), NowPlayingState::idle());
    }
};

QTEST_GUILESS_MAIN(AppleScriptSourceTest)
#include "tst_aesource.moc"
