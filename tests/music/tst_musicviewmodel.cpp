// What the Music pane's view shows and does, as the view model computes it: titles, subtitles and
// tooltips across states, times while scrubbing, symbols, the empty-state tiles, the transport
// calls, the favourite refresh, and the volume controls over a fake output.
#include "MusicRig.h"
#include "music/MusicControls.h"
#include "music/MusicPaneViewModel.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <limits>

using namespace tavrenhold;
using namespace tavrenhold::test;

namespace {
const QString dot = QStringLiteral("  \u00B7  ");
const MusicPlayerOption spotifyOption{QStringLiteral("com.spotify.client"), QStringLiteral("Spotify"), {}};
const MusicPlayerOption musicOption{QStringLiteral("com.apple.Music"), QStringLiteral("Music"), {}};

struct ViewModelRig : MusicRig {
    MusicPaneViewModel model;
    ViewModelRig()
    {
        pane.startServices();
        model.setPane(&pane);
    }
};
} // namespace

class MusicViewModelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void texts_data()
    {
        QTest::addColumn<NowPlayingState>("state");
        QTest::addColumn<bool>("appleMusic");
        QTest::addColumn<bool>("players");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("subtitle");
        QTest::addColumn<QString>("help");
        const QDateTime at = QDateTime::fromSecsSinceEpoch(1'800'000'000);
        auto withTrack = [&](QString title, QString artist, QString album, std::optional<PlayerIdentity> player = spotify,
                             PlaybackStatus status = PlaybackStatus::playing) {
            NowPlayingTrack t = makeTrack("t", 200);
            t.title = title;
            t.artist = artist;
            t.album = album;
            return makeState(t, status, 0, at, player);
        };
        NowPlayingState denied = withTrack("Song", "Artist", "Album", music);
        denied.issue = NowPlayingIssue::automationDenied(QStringLiteral("Music"));
        NowPlayingState deniedIdle = NowPlayingState::idle();
        deniedIdle.issue = NowPlayingIssue::automationDenied(QStringLiteral("Spotify"));

        QTest::newRow("artist and album") << withTrack("Song", "Artist", "Album") << false << false << "Song"
                                          << "Artist" + dot + "Album" << "Open Spotify";
        QTest::newRow("artist only") << withTrack("Song", "Artist", "") << false << false << "Song" << "Artist"
                                     << "Open Spotify";
        QTest::newRow("album only") << withTrack("Song", "", "Album") << false << false << "Song" << "Album"
                                    << "Open Spotify";
        QTest::newRow("neither: player name") << withTrack("Song", "", "") << false << false << "Song" << "Spotify"
                                              << "Open Spotify";
        QTest::newRow("neither, no player") << withTrack("Song", "", "", std::nullopt) << false << false << "Song"
                                            << "" << "";
        QTest::newRow("empty title") << withTrack("", "Artist", "") << false << false << "Nothing playing"
                                     << "Artist" << "Open Spotify";
        QTest::newRow("music") << withTrack("Song", "A", "B", music) << true << false << "Song" << "A" + dot + "B"
                               << "Open in Music";
        QTest::newRow("stopped: no tooltip") << withTrack("Song", "A", "", spotify, PlaybackStatus::stopped) << false
                                             << false << "Song" << "A" << "";
        QTest::newRow("denied while live")
            << denied << true << false << "Song"
            << "Allow Automation for Music in System Settings to control playback." << "Open in Music";
        QTest::newRow("denied, nothing playing")
            << deniedIdle << false << true << "Nothing playing"
            << "Allow Automation for Spotify in System Settings to control playback." << "";
        QTest::newRow("nothing, players") << NowPlayingState::idle() << false << true << "Nothing playing"
                                          << "Play in any app, or start a player from here." << "";
        QTest::newRow("nothing, no players") << NowPlayingState::idle() << false << false << "Nothing playing"
                                             << "Play something in any app to control it here." << "";
    }
    void texts()
    {
        QFETCH(NowPlayingState, state);
        QFETCH(bool, appleMusic);
        QFETCH(bool, players);
        QFETCH(QString, title);
        QFETCH(QString, subtitle);
        QFETCH(QString, help);
        ViewModelRig rig;
        rig.publisher->appleMusic = appleMusic;
        if (players)
            rig.publisher->players = {spotifyOption, musicOption};
        rig.publish(state);
        QCOMPARE(rig.model.title(), title);
        QCOMPARE(rig.model.subtitle(), subtitle);
        QCOMPARE(rig.model.openSourceHelp(), help);
        QCOMPARE(rig.model.canOpenSource(), !help.isEmpty());
        rig.model.openSource();
        QCOMPARE(rig.publisher->calls.contains(QStringLiteral("open")), !help.isEmpty());
        QCOMPARE(rig.model.showsHeart(), appleMusic && state.isLive());
        QCOMPARE(rig.model.showsSettingsTile(), state.issue.has_value());
    }

    void playSymbol_data()
    {
        QTest::addColumn<PlaybackStatus>("status");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<bool>("live");
        QTest::newRow("playing") << PlaybackStatus::playing << "pause.fill" << true;
        QTest::newRow("paused") << PlaybackStatus::paused << "play.fill" << true;
        QTest::newRow("stopped") << PlaybackStatus::stopped << "play.fill" << false;
    }
    void playSymbol()
    {
        QFETCH(PlaybackStatus, status);
        QFETCH(QString, symbol);
        QFETCH(bool, live);
        ViewModelRig rig;
        rig.publish(makeState(makeTrack("a", 200), status, 0, rig.clock.wallNow()));
        QCOMPARE(rig.model.playSymbol(), symbol);
        QCOMPARE(rig.model.live(), live);
    }

    void transportCalls()
    {
        ViewModelRig rig;
        rig.publish(makeState(makeTrack("a", 200), PlaybackStatus::playing, 0, rig.clock.wallNow()));
        rig.publisher->calls.clear();
        rig.model.previous();
        rig.model.togglePlayback();
        rig.model.next();
        rig.model.openSettings();
        QCOMPARE(rig.publisher->calls, (QStringList{"send:previous", "send:toggle", "send:next", "settings"}));
    }

    // Dragging to 25 % of a 200 s track shows 0:50 before anything is sent; releasing seeks once.
    void scrubbing()
    {
        ViewModelRig rig;
        rig.publish(makeState(makeTrack("a", 200), PlaybackStatus::paused, 10, rig.clock.wallNow()));
        rig.publisher->calls.clear();
        QCOMPARE(rig.model.elapsedText(), QStringLiteral("0:10"));
        QCOMPARE(rig.model.durationText(), QStringLiteral("3:20"));
        rig.model.scrub(0.1);
        rig.model.scrub(0.25);
        QVERIFY(rig.model.scrubbing());
        QCOMPARE(rig.model.shownFraction(), 0.25);
        QCOMPARE(rig.model.elapsedText(), QStringLiteral("0:50"));
        QVERIFY(rig.publisher->calls.isEmpty());
        rig.model.commitScrub(0.25);
        QCOMPARE(rig.publisher->calls, QStringList{"seek:0.25"});
        QVERIFY(!rig.model.scrubbing());
        QCOMPARE(rig.model.shownFraction(), 0.25); // the pane's pin
        QCOMPARE(rig.model.elapsedText(), QStringLiteral("0:50"));
    }

    // A launch in flight reads "Starting …" at 0.6; the other tile is unchanged.
    void playerTiles()
    {
        ViewModelRig rig;
        rig.publisher->players = {spotifyOption, musicOption};
        rig.publisher->launching = spotifyOption.id;
        const QVariantList tiles = rig.model.playerTiles();
        QCOMPARE(tiles.size(), 2);
        QCOMPARE(tiles[0].toMap()[QStringLiteral("text")].toString(), QStringLiteral("Starting Spotify"));
        QCOMPARE(tiles[0].toMap()[QStringLiteral("opacity")].toDouble(), 0.6);
        QCOMPARE(tiles[1].toMap()[QStringLiteral("text")].toString(), QStringLiteral("Play in Music"));
        QCOMPARE(tiles[1].toMap()[QStringLiteral("opacity")].toDouble(), 1.0);
        rig.model.launch(musicOption.id);
        rig.model.launch(QStringLiteral("org.example.unknown"));
        QCOMPARE(rig.publisher->calls.filter(QStringLiteral("launch:")), QStringList{"launch:com.apple.Music"});
    }

    // The heart: set at once on a click; each new track reads the flag again, and a late answer for
    // an earlier track is dropped.
    void favoriteRefresh()
    {
        ViewModelRig rig;
        rig.publisher->appleMusic = true;
        rig.publish(makeState(makeTrack("a", 200), PlaybackStatus::playing, 0, rig.clock.wallNow(), music));
        QCOMPARE(rig.publisher->questions.size(), size_t(1));
        rig.publisher->answer(true);
        QVERIFY(rig.model.favorited());
        QCOMPARE(rig.model.heartSymbol(), QStringLiteral("heart.fill"));
        QCOMPARE(rig.model.heartHelp(), QStringLiteral("In Favorites"));

        rig.publish(makeState(makeTrack("b", 200), PlaybackStatus::playing, 0, rig.clock.wallNow(), music));
        QVERIFY(!rig.model.favorited());
        rig.publish(makeState(makeTrack("c", 200), PlaybackStatus::playing, 0, rig.clock.wallNow(), music));
        QCOMPARE(rig.publisher->questions.size(), size_t(2));
        rig.publisher->answer(true); // for b: too late
        QVERIFY(!rig.model.favorited());
        rig.publisher->answer(false);
        QVERIFY(!rig.model.favorited());
        QCOMPARE(rig.model.heartHelp(), QStringLiteral("Add to Favorites"));

        rig.model.favorite();
        QVERIFY(rig.model.favorited());
        QVERIFY(rig.publisher->calls.contains(QStringLiteral("favorite")));
    }

    void volume_data()
    {
        QTest::addColumn<double>("volume");
        QTest::addColumn<bool>("muted");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QString>("help");
        QTest::addColumn<double>("slider");
        QTest::newRow("loud") << 0.7 << false << "speaker.wave.2.fill" << "Mute" << 0.7;
        QTest::newRow("nearly silent") << 0.005 << false << "speaker.slash.fill" << "Mute" << 0.005;
        QTest::newRow("muted") << 0.7 << true << "speaker.slash.fill" << "Unmute" << 0.0;
    }
    void volume()
    {
        QFETCH(double, volume);
        QFETCH(bool, muted);
        QFETCH(QString, symbol);
        QFETCH(QString, help);
        QFETCH(double, slider);
        MusicRig rig;
        rig.audio.set(volume, muted);
        VolumeController controller;
        controller.setPane(&rig.pane);
        QCOMPARE(controller.symbol(), symbol);
        QCOMPARE(controller.muteHelp(), help);
        QCOMPARE(controller.sliderValue(), slider);
    }

    // Muted, a click on the slider at 30 % unmutes the output first, then sets its volume.
    void volumeWrites()
    {
        MusicRig rig;
        rig.audio.set(0.7, true);
        VolumeController controller;
        controller.setPane(&rig.pane);
        controller.setSliderValue(0.3);
        QCOMPARE(rig.audio.calls, (QStringList{"mute:0", "volume:0.3"}));
        QCOMPARE(controller.sliderValue(), 0.3);
        QCOMPARE(rig.audio.volume(), 0.3);
        QVERIFY(!rig.audio.isMuted());

        // Unmuting reads the device's own volume back, which changed meanwhile.
        controller.toggleMute();
        QVERIFY(rig.audio.isMuted());
        rig.audio.set(0.55, true);
        QCOMPARE(controller.sliderValue(), 0.0); // not listening while shown
        controller.toggleMute();
        QCOMPARE(controller.sliderValue(), 0.55);

        // A device that refuses writes leaves the value the user set on screen.
        rig.audio.refuses = true;
        controller.setSliderValue(0.9);
        QCOMPARE(controller.sliderValue(), 0.9);
        QCOMPARE(rig.audio.volume(), 0.55);
        controller.reload();
        QCOMPARE(controller.sliderValue(), 0.55);
    }

    // The neutral output of the product until a sound server is wired: 0, not muted, writes dropped.
    void neutralOutput()
    {
        ManualClock clock;
        FakeSystemAppearance appearance;
        MusicPane pane(new MusicPublisher, clock, &appearance);
        VolumeController controller;
        controller.setPane(&pane);
        controller.setSliderValue(0.8);
        controller.reload();
        QCOMPARE(controller.volume(), 0.0);
        QVERIFY(!controller.muted());
    }

    void barNumbers_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("fraction");
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("centre of 200") << 100.0 << 200.0 << 0.5;
        QTest::newRow("width 0") << 50.0 << 0.0 << 0.0;
        QTest::newRow("left of the bar") << -30.0 << 200.0 << 0.0;
        QTest::newRow("right of the bar") << 260.0 << 200.0 << 1.0;
        QTest::newRow("width nan") << 50.0 << std::nan("") << 0.0;
        QTest::newRow("width inf") << 50.0 << inf << 0.0;
        QTest::newRow("x nan") << std::nan("") << 200.0 << 0.0;
        QTest::newRow("x inf") << inf << 200.0 << 0.0;
    }
    void barNumbers()
    {
        QFETCH(double, x);
        QFETCH(double, width);
        QFETCH(double, fraction);
        QCOMPARE(musiccontrols::barFraction(x, width), fraction);
    }

    void knob_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("offset");
        QTest::newRow("start") << 0.0 << 200.0 << 0.0;
        QTest::newRow("end") << 1.0 << 200.0 << 187.0;
        QTest::newRow("beyond the end") << 1.3 << 200.0 << 187.0;
        QTest::newRow("narrower than the knob") << 0.5 << 10.0 << 0.0;
        QTest::newRow("value nan") << std::nan("") << 200.0 << 0.0;
    }
    void knob()
    {
        QFETCH(double, value);
        QFETCH(double, width);
        QFETCH(double, offset);
        QCOMPARE(musiccontrols::knobOffset(value, width), offset);
    }

    void marqueeNumbers_data()
    {
        QTest::addColumn<bool>("hovering");
        QTest::addColumn<double>("textWidth");
        QTest::addColumn<double>("containerWidth");
        QTest::addColumn<bool>("reduceMotion");
        QTest::addColumn<bool>("canScroll");
        QTest::addColumn<bool>("tooltip");
        QTest::newRow("fits") << true << 150.0 << 200.0 << false << false << false;
        QTest::newRow("1 point over") << true << 201.0 << 200.0 << false << false << false;
        QTest::newRow("over, hovered") << true << 300.0 << 200.0 << false << true << true;
        QTest::newRow("over, not hovered") << false << 300.0 << 200.0 << false << false << true;
        QTest::newRow("over, reduced motion") << true << 300.0 << 200.0 << true << false << true;
    }
    void marqueeNumbers()
    {
        QFETCH(bool, hovering);
        QFETCH(double, textWidth);
        QFETCH(double, containerWidth);
        QFETCH(bool, reduceMotion);
        QFETCH(bool, canScroll);
        QFETCH(bool, tooltip);
        QCOMPARE(musiccontrols::canScroll(hovering, textWidth, containerWidth, reduceMotion), canScroll);
        QCOMPARE(musiccontrols::marqueeTooltip(QStringLiteral("T"), textWidth, containerWidth).isEmpty(), !tooltip);
        // Exactly one copy shows at rest.
        QCOMPARE(musiccontrols::restingOpacity(0, canScroll) + musiccontrols::scrollingOpacity(0, canScroll), 1.0);
    }

    // 300 points in 200 sweep 116 points each way in 116 / 26 s.
    void sweep()
    {
        const double distance = musiccontrols::sweepDistance(300, 200);
        QCOMPARE(distance, 116.0);
        QCOMPARE(musiccontrols::sweepDuration(distance), 4462);
        QCOMPARE(musiccontrols::sweepDistance(100, 200), 16.0);
    }
};

QTEST_MAIN(MusicViewModelTest)
#include "tst_musicviewmodel.moc"
