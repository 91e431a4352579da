// labels: unit
// Which player is now playing, and how a player's position is carried through its events.
#include "PlayerState.h"

#include <QTest>

using namespace tavrenhold::adapter;

namespace {

// "<status> <playingSince> <lastActive> [untitled]", status one of playing, paused, stopped.
PlayerState player(const QString &spec)
{
    const QStringList f = spec.split(QLatin1Char(' '));
    PlayerState p;
    p.status = playbackStatusFrom(f.at(0).left(1).toUpper() + f.at(0).mid(1));
    p.playingSince = f.at(1).toULongLong();
    p.lastActive = f.at(2).toULongLong();
    if (!f.contains(QStringLiteral("untitled")))
        p.track.title = QStringLiteral("Song");
    return p;
}

const QDateTime t0 = QDateTime(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);

} // namespace

class PlayerChoiceTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void choose_data()
    {
        QTest::addColumn<QStringList>("players");
        QTest::addColumn<bool>("allowMissingTitle");
        QTest::addColumn<bool>("includeStopped");
        QTest::addColumn<int>("chosen"); // -1: none
        QTest::newRow("no players") << QStringList{} << false << false << -1;
        QTest::newRow("one paused") << QStringList{"paused 0 1"} << false << false << 0;
        QTest::newRow("the later start of two playing")
            << QStringList{"playing 5 6", "playing 3 9"} << false << false << 0;
        QTest::newRow("playing beats a more recently active paused one")
            << QStringList{"paused 2 9", "playing 1 3"} << false << false << 1;
        QTest::newRow("the most recently active of two paused")
            << QStringList{"paused 8 4", "paused 1 7"} << false << false << 1;
        QTest::newRow("stopped only") << QStringList{"stopped 0 5"} << false << false << -1;
        QTest::newRow("stopped only, for a command") << QStringList{"stopped 0 5"} << false << true << 0;
        QTest::newRow("paused before stopped, for a command")
            << QStringList{"stopped 0 9", "paused 0 1"} << false << true << 1;
        QTest::newRow("untitled playing one passed over")
            << QStringList{"playing 9 9 untitled", "paused 1 2"} << false << false << 1;
        QTest::newRow("untitled playing one allowed")
            << QStringList{"playing 9 9 untitled", "paused 1 2"} << true << false << 0;
        QTest::newRow("a tie goes to the first") << QStringList{"playing 0 0", "playing 0 0"} << false << false << 0;
    }
    void choose()
    {
        QFETCH(QStringList, players);
        QFETCH(bool, allowMissingTitle);
        QFETCH(bool, includeStopped);
        std::vector<PlayerState> states;
        for (const QString &spec : players)
            states.push_back(player(spec));
        const auto chosen = chooseNowPlaying(states, {allowMissingTitle, includeStopped});
        QTEST(chosen ? int(*chosen) : -1, "chosen");
    }

    // A player playing from `startUs` at t0 (rate `rate`, length `lengthUs`) meets one event
    // `msLater` ms after t0.
    void reckoning_data()
    {
        QTest::addColumn<QString>("event");
        QTest::addColumn<qlonglong>("startUs");
        QTest::addColumn<double>("rate");
        QTest::addColumn<qlonglong>("lengthUs");
        QTest::addColumn<int>("msLater");
        QTest::addColumn<qlonglong>("valueUs");   // the position the event carries
        QTest::addColumn<bool>("changed");
        QTest::addColumn<qlonglong>("anchorUs");  // the anchor afterwards
        QTest::addColumn<int>("anchorMs");        // its moment, ms after t0

        QTest::newRow("pause keeps the position reached") << "pause" << 1'000'000LL << 1.0 << 60'000'000LL << 3000 << 0LL
                                                          << true << 4'000'000LL << 3000;
        QTest::newRow("pause at double speed") << "pause" << 0LL << 2.0 << 60'000'000LL << 3000 << 0LL << true
                                               << 6'000'000LL << 3000;
        QTest::newRow("pause past the end stops at the length") << "pause" << 9'000'000LL << 1.0 << 10'000'000LL
                                                                << 3000 << 0LL << true << 10'000'000LL << 3000;
        QTest::newRow("rate change fixes the position under the old rate")
            << "rate" << 0LL << 1.0 << 60'000'000LL << 2000 << 0LL << true << 2'000'000LL << 2000;
        QTest::newRow("poll close to the reckoning changes nothing")
            << "poll" << 0LL << 1.0 << 60'000'000LL << 3000 << 3'400'000LL << false << 0LL << 0;
        QTest::newRow("poll far from the reckoning is a jump")
            << "poll" << 0LL << 1.0 << 60'000'000LL << 3000 << 30'000'000LL << true << 30'000'000LL << 3000;
        QTest::newRow("seek is taken as it is")
            << "seek" << 0LL << 1.0 << 60'000'000LL << 3000 << 3'100'000LL << true << 3'100'000LL << 3000;
        QTest::newRow("negative seek reads as 0")
            << "seek" << 5'000'000LL << 1.0 << 60'000'000LL << 1000 << -7LL << true << 0LL << 1000;
        QTest::newRow("new track starts at 0")
            << "newtrack" << 20'000'000LL << 1.0 << 60'000'000LL << 1000 << 0LL << true << 0LL << 1000;
        QTest::newRow("same track, more metadata: position kept")
            << "sametrack" << 20'000'000LL << 1.0 << 60'000'000LL << 1000 << 0LL << true << 20'000'000LL << 0;
        QTest::newRow("status repeated") << "play" << 20'000'000LL << 1.0 << 60'000'000LL << 1000 << 0LL << false
                                         << 20'000'000LL << 0;
    }
    void reckoning()
    {
        QFETCH(QString, event);
        QFETCH(qlonglong, startUs);
        QFETCH(double, rate);
        QFETCH(qlonglong, lengthUs);
        QFETCH(int, msLater);
        QFETCH(qlonglong, valueUs);

        PlayerState p;
        p.status = PlaybackStatus::Playing;
        p.rate = rate;
        p.track.title = QStringLiteral("Song");
        p.track.trackId = QStringLiteral("/0");
        p.track.lengthUs = lengthUs;
        p.position = PositionAnchor{startUs, t0};
        quint64 events = 10;
        const QDateTime at = t0.addMSecs(msLater);

        bool changed = false;
        if (event == QLatin1String("pause"))
            changed = p.applyStatus(PlaybackStatus::Paused, at, events);
        else if (event == QLatin1String("play"))
            changed = p.applyStatus(PlaybackStatus::Playing, at, events);
        else if (event == QLatin1String("rate"))
            changed = p.applyRate(3.0, at);
        else if (event == QLatin1String("poll"))
            changed = p.applyPolledPosition(valueUs, at, kPositionToleranceUs);
        else if (event == QLatin1String("seek"))
            changed = p.applySeek(valueUs, at);
        else if (event == QLatin1String("newtrack") || event == QLatin1String("sametrack")) {
            TrackInfo next = p.track;
            next.artist = QStringLiteral("Artist");
            if (event == QLatin1String("newtrack"))
                next.trackId = QStringLiteral("/1");
            changed = p.applyTrack(next, at, events);
        }
        QTEST(changed, "changed");
        QVERIFY(p.position);
        QTEST(qlonglong(p.position->us), "anchorUs");
        QTEST(int(t0.msecsTo(p.position->at)), "anchorMs");
    }

    // Starting to play makes a player the latest to start; a pause only makes it the latest active.
    void eventsOrderPlayers()
    {
        std::vector<PlayerState> players(2);
        quint64 events = 0;
        for (PlayerState &p : players) {
            p.track.title = QStringLiteral("Song");
            QVERIFY(p.applyStatus(PlaybackStatus::Playing, t0, events));
        }
        QCOMPARE(chooseNowPlaying(players, {}), std::optional<std::size_t>(1));
        QVERIFY(players[1].applyStatus(PlaybackStatus::Paused, t0, events));
        QCOMPARE(chooseNowPlaying(players, {}), std::optional<std::size_t>(0));
        QVERIFY(players[0].applyStatus(PlaybackStatus::Paused, t0, events));
        QCOMPARE(chooseNowPlaying(players, {}), std::optional<std::size_t>(0));
        QVERIFY(players[1].applyStatus(PlaybackStatus::Playing, t0, events));
        QCOMPARE(chooseNowPlaying(players, {}), std::optional<std::size_t>(1));
    }
};

QTEST_GUILESS_MAIN(PlayerChoiceTest)
#include "tst_playerchoice.moc"
