// labels: unit
// The coordinator's player operations: the installed players, revealing and favouriting the current
// track, asking whether it is a favourite, and launching a player.
#include "fakes/FakeNowPlayingSource.h"
#include "fakes/FakePlayerWorkspace.h"
#include "fakes/FakeScriptHost.h"
#include "fakes/ManualClock.h"
#include "nowplaying/AppleEventRunner.h"
#include "nowplaying/NowPlayingCoordinator.h"
#include "nowplaying/PlayerLauncher.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

using namespace tavrenhold;
using namespace std::chrono_literals;
using test::FakeNowPlayingSource;

namespace {

const QString spotifyID = QStringLiteral("com.spotify.client");
const QString musicID = QStringLiteral("com.apple.Music");
const QUrl spotifyEntry = QUrl::fromLocalFile(QStringLiteral("/usr/share/applications/spotify.desktop"));
const QUrl musicEntry = QUrl::fromLocalFile(QStringLiteral("/usr/share/applications/mpv.desktop"));

void settle()
{
    for (int i = 0; i < 40; ++i)
        QCoreApplication::processEvents();
}

struct Rig {
    test::ManualClock clock;
    test::FakeScriptHost host{&clock};
    AppleEventRunner runner{host};
    test::FakePlayerWorkspace workspace;
    FakeNowPlayingSource *system = new FakeNowPlayingSource(QStringLiteral("system"));
    std::unique_ptr<NowPlayingCoordinator> coordinator;

    Rig()
    {
        coordinator = std::make_unique<NowPlayingCoordinator>(system, new FakeNowPlayingSource(QStringLiteral("applescript")),
                                                              clock);
        coordinator->usePlayerServices(runner, workspace);
        system->setProbeAnswer(true);
    }
    ~Rig()
    {
        coordinator.reset();
        settle();
    }
    // Starts the coordinator and publishes a paused track of the given player (none: nothing plays).
    void startWith(const std::optional<PlayerIdentity> &player)
    {
        coordinator->start();
        settle();
        NowPlayingState state;
        if (player) {
            state.track = NowPlayingTrack{QStringLiteral("t1"), QStringLiteral("Title"), {}, {}, 200};
            state.status = PlaybackStatus::paused;
            state.player = player;
        }
        system->push(state);
        settle();
        QCOMPARE(coordinator->state(), state);
    }
};

std::optional<PlayerIdentity> identity(const QString &id)
{
    if (id.isEmpty())
        return std::nullopt;
    return PlayerIdentity{id, id};
}

} // namespace

class CoordinatorPlayersTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void scriptsAsSent()
    {
        QCOMPARE(NowPlayingCoordinator::revealScript().size(), 127);
        QCOMPARE(NowPlayingCoordinator::favoriteScript().size(), 272);
        QCOMPARE(NowPlayingCoordinator::favoriteCheckScript().size(), 221);
        QVERIFY(NowPlayingCoordinator::revealScript().startsWith(
            QStringLiteral("with timeout of 5 seconds\ntell application id \"com.apple.Music\"\ntry\n\treveal current track\n")));
        QVERIFY(NowPlayingCoordinator::favoriteScript().contains(
            QStringLiteral("\n\t\ttry\n\t\t\tduplicate current track to playlist \"Favorites\"\n\tend try\n")));
        QVERIFY(NowPlayingCoordinator::favoriteCheckScript().endsWith(QStringLiteral("\nreturn \"false\"\nend tell\nend timeout")));
    }

    // Loaded at start, once per run.
    void installedPlayersComeFromTheCatalogue()
    {
        Rig rig;
        rig.workspace.install(spotifyID, spotifyEntry);
        QSignalSpy changes(rig.coordinator.get(), &NowPlayingCoordinator::installedPlayersChanged);
        rig.coordinator->start();
        rig.workspace.install(musicID, musicEntry);
        rig.coordinator->start();
        settle();
        QCOMPARE(rig.coordinator->installedPlayers(),
                 QList<MusicPlayerOption>{(MusicPlayerOption{spotifyID, QStringLiteral("Spotify"), spotifyEntry})});
        QCOMPARE(changes.count(), 1);

        rig.coordinator->stop();
        rig.coordinator->start();
        QCOMPARE(rig.coordinator->installedPlayers().size(), 2);
        QCOMPARE(rig.coordinator->installedPlayers().at(1).name, QStringLiteral("Music"));
    }

    // Music is scripted; any other player is brought to the front through the workspace.
    void trackOperationsByPlayer_data()
    {
        QTest::addColumn<QString>("player"); // "" for no player
        QTest::addColumn<bool>("isAppleMusic");
        QTest::addColumn<QStringList>("scripts"); // after openCurrent() and favoriteCurrent()
        QTest::addColumn<QStringList>("opened");
        QTest::newRow("Music") << musicID << true
                               << QStringList{NowPlayingCoordinator::revealScript(),
                                              NowPlayingCoordinator::favoriteScript()}
                               << QStringList{};
        QTest::newRow("Spotify") << spotifyID << false << QStringList{}
                                 << QStringList{spotifyID + " " + spotifyEntry.toString() + " activate"};
        QTest::newRow("a player the system names") << "mpv" << false << QStringList{}
                                                   << QStringList{"mpv " + musicEntry.toString() + " activate"};
        QTest::newRow("a player that cannot be located") << "vlc" << false << QStringList{} << QStringList{};
        QTest::newRow("no player") << "" << false << QStringList{} << QStringList{};
    }
    void trackOperationsByPlayer()
    {
        QFETCH(QString, player);
        QFETCH(bool, isAppleMusic);
        QFETCH(QStringList, scripts);
        QFETCH(QStringList, opened);
        Rig rig;
        rig.workspace.install(spotifyID, spotifyEntry);
        rig.workspace.install(QStringLiteral("mpv"), musicEntry);
        rig.startWith(identity(player));
        QCOMPARE(rig.coordinator->isAppleMusic(), isAppleMusic);

        rig.coordinator->openCurrent();
        settle();
        const int compiled = rig.runner.compiledCount();
        QCOMPARE(rig.coordinator->favoriteCurrent(), isAppleMusic);
        settle();
        QCOMPARE(rig.host.executed(), scripts);
        QCOMPARE(rig.workspace.opened(), opened);
        QCOMPARE(rig.runner.compiledCount(), compiled); // the favourite script is not kept
    }

    void favouriteCheck_data()
    {
        QTest::addColumn<QString>("player");
        QTest::addColumn<int>("error"); // 0: the script answers `reply`
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("favourite");
        QTest::addColumn<int>("scripts");
        QTest::newRow("True") << musicID << 0 << "True" << true << 1;
        QTest::newRow("YES") << musicID << 0 << "YES" << true << 1;
        QTest::newRow("1") << musicID << 0 << "1" << true << 1;
        QTest::newRow("false") << musicID << 0 << "false" << false << 1;
        QTest::newRow("empty") << musicID << 0 << "" << false << 1;
        QTest::newRow("a failed run") << musicID << int(platform::ScriptHost::timedOutError) << "" << false << 1;
        QTest::newRow("Spotify is never asked") << spotifyID << 0 << "true" << false << 0;
    }
    void favouriteCheck()
    {
        QFETCH(QString, player);
        QFETCH(int, error);
        QFETCH(QString, reply);
        QFETCH(bool, favourite);
        QFETCH(int, scripts);
        Rig rig;
        const QString check = NowPlayingCoordinator::favoriteCheckScript();
        if (error)
            rig.host.answerError(check, error);
        else
            rig.host.answerText(check, reply);
        rig.startWith(identity(player));
        QCOMPARE(QCoro::waitFor(rig.coordinator->isCurrentFavorited()), favourite);
        QCOMPARE(rig.host.executed().count(check), scripts);
    }

    // launchingPlayer shows the player from the launch until the launcher returns; meanwhile other
    // launches are refused, as are options that are neither player.
    void launchShowsThePlayerWhileItRuns()
    {
        Rig rig;
        rig.workspace.install(spotifyID, spotifyEntry);
        rig.workspace.install(musicID, musicEntry);
        const QString state = MusicLauncher::stateScript(PlayerKind::spotify);
        rig.host.answerText(state, QStringLiteral("playing"));
        QSignalSpy changes(rig.coordinator.get(), &NowPlayingCoordinator::launchingPlayerChanged);

        rig.coordinator->launch({QStringLiteral("org.videolan.vlc"), QStringLiteral("VLC"), QUrl()});
        QCOMPARE(rig.coordinator->launchingPlayer(), std::optional<QString>());

        rig.coordinator->launch({spotifyID, QStringLiteral("Spotify"), spotifyEntry});
        rig.coordinator->launch({musicID, QStringLiteral("Music"), musicEntry});
        settle();
        QCOMPARE(rig.coordinator->launchingPlayer(), spotifyID);
        QCOMPARE(rig.workspace.opened(), QStringList{spotifyID + " " + spotifyEntry.toString() + " background"});

        rig.clock.advance(200ms);
        settle();
        QCOMPARE(rig.host.executed(), QStringList{state});
        QCOMPARE(rig.coordinator->launchingPlayer(), std::optional<QString>());
        QCOMPARE(changes.count(), 2);

        // Free again.
        rig.coordinator->launch({musicID, QStringLiteral("Music"), musicEntry});
        QCOMPARE(rig.coordinator->launchingPlayer(), musicID);
    }

    void launchOfAPlayerThatCannotBeLocatedEndsAtOnce()
    {
        Rig rig;
        rig.coordinator->launch({spotifyID, QStringLiteral("Spotify"), spotifyEntry});
        settle();
        QCOMPARE(rig.coordinator->launchingPlayer(), std::optional<QString>());
        QVERIFY(rig.host.executed().isEmpty());
    }
};

QTEST_GUILESS_MAIN(CoordinatorPlayersTest)
#include "tst_coordinatorplayers.moc"
