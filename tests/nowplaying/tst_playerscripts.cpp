// labels: unit
// The player scripts, byte for byte, and the reading of the state script's answer.
#include "fakes/ManualClock.h"
#include "nowplaying/PlayerScripts.h"

#include <QLocale>
#include <QTest>

#include <clocale>
#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(tavrenhold::TransportCommand)
Q_DECLARE_METATYPE(tavrenhold::PlayerKind)

using namespace tavrenhold;
using tavrenhold::test::ManualClock;

namespace {

const QChar us{0x1F};

QString fields(const QStringList &parts) { return parts.join(us); }

QString lines(const QStringList &rows) { return rows.join(QLatin1Char('\n')); }

} // namespace

class PlayerScriptsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void wrapFramesABodyForTheBundle()
    {
        QCOMPARE(PlayerScripts::wrap(QStringLiteral("play"), PlayerKind::spotify),
                 QStringLiteral("with timeout of 8 seconds\ntell application id \"com.spotify.client\"\nplay\nend tell\nend timeout"));
        QCOMPARE(PlayerScripts::wrap(QStringLiteral("a\n\tb"), PlayerKind::appleMusic),
                 QStringLiteral("with timeout of 8 seconds\ntell application id \"com.apple.Music\"\na\n\tb\nend tell\nend timeout"));
    }

    void stateScriptsLineByLine_data()
    {
        QTest::addColumn<PlayerKind>("kind");
        QTest::addColumn<QStringList>("expected");
        const QStringList head{
            QStringLiteral("set sep to (character id 31)"),
            QStringLiteral("set extraField to \"\""),
            QStringLiteral("set theState to player state as text"),
            QStringLiteral("if theState is not \"playing\" and theState is not \"paused\" then return \"stopped\""),
            QStringLiteral("set thePosition to 0"),
            QStringLiteral("try"),
            QStringLiteral("\tset thePosition to player position"),
            QStringLiteral("end try"),
            QStringLiteral("set theTrack to current track"),
            QStringLiteral("set theID to \"\""),
            QStringLiteral("try"),
        };
        const QString last = QStringLiteral(
            "return theState & sep & theID & sep & (name of theTrack) & sep & (artist of theTrack) & sep & (album of theTrack) & "
            "sep & ((duration of theTrack) as text) & sep & (thePosition as text) & sep & extraField");
        const QString tail1 = QStringLiteral("end tell");
        const QString tail2 = QStringLiteral("end timeout");
        QTest::newRow("spotify") << PlayerKind::spotify
                                 << (QStringList{QStringLiteral("with timeout of 8 seconds"),
                                                 QStringLiteral("tell application id \"com.spotify.client\"")}
                                     + head
                                     + QStringList{QStringLiteral("\tset theID to (id of theTrack) as text"), QStringLiteral("end try"),
                                                   QStringLiteral("\ttry"), QStringLiteral("\t\tset extraField to artwork url of theTrack"),
                                                   QStringLiteral("\tend try"), last, tail1, tail2});
        QTest::newRow("music") << PlayerKind::appleMusic
                               << (QStringList{QStringLiteral("with timeout of 8 seconds"),
                                               QStringLiteral("tell application id \"com.apple.Music\"")}
                                   + head
                                   + QStringList{QStringLiteral("\tset theID to (persistent ID of theTrack) as text"),
                                                 QStringLiteral("end try"), last, tail1, tail2});
    }
    void stateScriptsLineByLine()
    {
        QFETCH(PlayerKind, kind);
        QFETCH(QStringList, expected);
        const QString script = PlayerScripts::stateScript(kind);
        QCOMPARE(script.split(QLatin1Char('\n')), expected);
        QCOMPARE(expected.size(), kind == PlayerKind::spotify ? 21 : 18);
        QVERIFY(!script.endsWith(QLatin1Char('\n')));
        QVERIFY(!script.contains(QLatin1Char('\r')));
    }

    void fixedBodies()
    {
        QCOMPARE(PlayerScripts::positionBody(),
                 lines({QStringLiteral("set theState to player state as text"),
                        QStringLiteral("if theState is not \"playing\" and theState is not \"paused\" then return \"stopped\""),
                        QStringLiteral("return theState & (character id 31) & (player position as text)")}));
        QCOMPARE(PlayerScripts::artworkBody(), QStringLiteral("return artwork url of current track"));
    }

    void commandBodies_data()
    {
        QTest::addColumn<TransportCommand>("command");
        QTest::addColumn<QString>("body");
        QTest::newRow("play") << TransportCommand::play() << QStringLiteral("play");
        QTest::newRow("pause") << TransportCommand::pause() << QStringLiteral("pause");
        QTest::newRow("toggle") << TransportCommand::toggle() << QStringLiteral("playpause");
        QTest::newRow("next") << TransportCommand::next() << QStringLiteral("next track");
        QTest::newRow("previous") << TransportCommand::previous() << QStringLiteral("previous track");
        QTest::newRow("seek 42.5") << TransportCommand::seek(42.5) << QStringLiteral("set player position to 42.500");
        QTest::newRow("seek 75.25") << TransportCommand::seek(75.25) << QStringLiteral("set player position to 75.250");
        QTest::newRow("seek rounds") << TransportCommand::seek(1.23456) << QStringLiteral("set player position to 1.235");
        QTest::newRow("seek below 0") << TransportCommand::seek(-3) << QStringLiteral("set player position to 0.000");
        QTest::newRow("seek tiny") << TransportCommand::seek(0.0004) << QStringLiteral("set player position to 0.000");
        QTest::newRow("seek nan") << TransportCommand::seek(std::nan("")) << QStringLiteral("set player position to 0.000");
        QTest::newRow("seek infinity") << TransportCommand::seek(std::numeric_limits<double>::infinity())
                                       << QStringLiteral("set player position to 0.000");
        QTest::newRow("seek large") << TransportCommand::seek(12345.5) << QStringLiteral("set player position to 12345.500");
    }
    void commandBodies()
    {
        QFETCH(TransportCommand, command);
        QFETCH(QString, body);
        QCOMPARE(PlayerScripts::commandBody(command), body);
    }

    // A user whose numbers are written with a decimal comma and digit grouping still sends a point.
    void seekIgnoresTheLocale()
    {
        const QLocale before;
        const std::string numeric = std::setlocale(LC_NUMERIC, nullptr);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"}) {
            if (std::setlocale(LC_NUMERIC, name))
                break;
        }
        const QString body = PlayerScripts::commandBody(TransportCommand::seek(1234.5));
        std::setlocale(LC_NUMERIC, numeric.c_str());
        QLocale::setDefault(before);
        QCOMPARE(body, QStringLiteral("set player position to 1234.500"));
    }

    void parseReadsTheAnswer_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<PlayerKind>("kind");
        QTest::addColumn<QString>("previousID");     // a previous reading's track with this identity, if not empty
        QTest::addColumn<QString>("previousArtwork"); // and this artwork address (empty: none)
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("hasTrack");
        QTest::addColumn<QString>("id");
        QTest::addColumn<double>("duration");
        QTest::addColumn<double>("elapsed");
        QTest::addColumn<QString>("artwork"); // empty: none

        const auto playing = int(PlaybackStatus::playing);
        const auto paused = int(PlaybackStatus::paused);
        const auto stopped = int(PlaybackStatus::stopped);
        const QString art = QStringLiteral("https://i.scdn.co/image/ab67616d");
        const QString oldArt = QStringLiteral("https://i.scdn.co/image/old");
        const QStringList spotifyAnswer{QStringLiteral("playing"), QStringLiteral("spotify:track:6rqhFgbbKwnb9MLmUQDhG6"),
                                        QStringLiteral("Title"),   QStringLiteral("Artist"),
                                        QStringLiteral("Album"),   QStringLiteral("215000"),
                                        QStringLiteral("12.5"),    art};
        auto with = [&](int index, const QString &value) {
            QStringList f = spotifyAnswer;
            f[index] = value;
            return fields(f);
        };
        const QString id = spotifyAnswer.at(1);

        QTest::newRow("stopped") << QStringLiteral("stopped") << PlayerKind::spotify << id << art << stopped << false
                                 << QString() << 0.0 << 0.0 << QString();
        QTest::newRow("empty answer") << QString() << PlayerKind::appleMusic << QString() << QString() << stopped << false
                                      << QString() << 0.0 << 0.0 << QString();
        QTest::newRow("six fields, playing")
            << fields(spotifyAnswer.mid(0, 6)) << PlayerKind::spotify << QString() << QString() << stopped << false
            << QString() << 0.0 << 0.0 << QString();
        QTest::newRow("stopped with fields") << with(0, QStringLiteral("stopped")) << PlayerKind::spotify << QString()
                                             << QString() << stopped << false << QString() << 0.0 << 0.0 << QString();
        QTest::newRow("spotify in milliseconds") << fields(spotifyAnswer) << PlayerKind::spotify << QString() << QString()
                                                 << playing << true << id << 215.0 << 12.5 << art;
        QTest::newRow("music in seconds") << fields(spotifyAnswer) << PlayerKind::appleMusic << QString() << QString()
                                          << playing << true << id << 215000.0 << 12.5 << art;
        QTest::newRow("music keeps the artwork of the same track")
            << with(7, QString()) << PlayerKind::appleMusic << id << oldArt << playing << true << id << 215000.0 << 12.5
            << oldArt;
        QTest::newRow("seven fields keep the artwork of the same track")
            << fields(spotifyAnswer.mid(0, 7)) << PlayerKind::spotify << id << oldArt << playing << true << id << 215.0
            << 12.5 << oldArt;
        QTest::newRow("another track's artwork is not taken")
            << with(7, QString()) << PlayerKind::appleMusic << QStringLiteral("other") << oldArt << playing << true << id
            << 215000.0 << 12.5 << QString();
        QTest::newRow("a new address replaces the old one")
            << fields(spotifyAnswer) << PlayerKind::spotify << id << oldArt << playing << true << id << 215.0 << 12.5 << art;
        QTest::newRow("state word paused") << with(0, QStringLiteral("paused")) << PlayerKind::spotify << QString()
                                           << QString() << paused << true << id << 215.0 << 12.5 << art;
        QTest::newRow("state word with a capital") << with(0, QStringLiteral("Playing")) << PlayerKind::spotify << QString()
                                                   << QString() << paused << true << id << 215.0 << 12.5 << art;
        QTest::newRow("Stopped with a capital") << with(0, QStringLiteral("Stopped")) << PlayerKind::spotify << QString()
                                                << QString() << paused << true << id << 215.0 << 12.5 << art;
        QTest::newRow("decimal comma duration") << with(5, QStringLiteral("215,5")) << PlayerKind::appleMusic << QString()
                                                << QString() << playing << true << id << 0.0 << 12.5 << art;
        QTest::newRow("word position") << with(6, QStringLiteral("missing value")) << PlayerKind::spotify << QString()
                                       << QString() << playing << true << id << 215.0 << 0.0 << art;
        QTest::newRow("exponent") << with(5, QStringLiteral("2.15e2")) << PlayerKind::appleMusic << QString() << QString()
                                  << playing << true << id << 215.0 << 12.5 << art;
        QTest::newRow("negative position is kept") << with(6, QStringLiteral("-1.5")) << PlayerKind::spotify << QString()
                                                   << QString() << playing << true << id << 215.0 << -1.5 << art;
        QTest::newRow("nan duration") << with(5, QStringLiteral("nan")) << PlayerKind::appleMusic << QString() << QString()
                                      << playing << true << id << 0.0 << 12.5 << art;
        QTest::newRow("infinite position") << with(6, QStringLiteral("inf")) << PlayerKind::spotify << QString() << QString()
                                           << playing << true << id << 215.0 << 0.0 << art;
        QTest::newRow("overflowing position") << with(6, QStringLiteral("1e999")) << PlayerKind::spotify << QString()
                                              << QString() << playing << true << id << 215.0 << 0.0 << art;
        QTest::newRow("hex duration") << with(5, QStringLiteral("0x10")) << PlayerKind::appleMusic << QString() << QString()
                                      << playing << true << id << 0.0 << 12.5 << art;
        QTest::newRow("padded duration") << with(5, QStringLiteral(" 215")) << PlayerKind::appleMusic << QString()
                                         << QString() << playing << true << id << 0.0 << 12.5 << art;
        QTest::newRow("file address is no artwork") << with(7, QStringLiteral("file:///tmp/cover.png"))
                                                    << PlayerKind::spotify << QString() << QString() << playing << true
                                                    << id << 215.0 << 12.5 << QString();
        QTest::newRow("words are no artwork") << with(7, QStringLiteral("no cover here")) << PlayerKind::spotify << QString()
                                              << QString() << playing << true << id << 215.0 << 12.5 << QString();
        QTest::newRow("capital scheme is no artwork") << with(7, QStringLiteral("HTTPS://i.scdn.co/x")) << PlayerKind::spotify
                                                      << QString() << QString() << playing << true << id << 215.0 << 12.5
                                                      << QString();
        QTest::newRow("relative path after http is no artwork")
            << with(7, QStringLiteral("httpc/:ss/i.dn.o")) << PlayerKind::spotify << QString() << QString() << playing
            << true << id << 215.0 << 12.5 << QString();
        QTest::newRow("plain http artwork") << with(7, QStringLiteral("http://covers.example/a.jpg")) << PlayerKind::spotify
                                            << QString() << QString() << playing << true << id << 215.0 << 12.5
                                            << QStringLiteral("http://covers.example/a.jpg");
        QTest::newRow("composed identity") << fields({QStringLiteral("paused"), QString(), QStringLiteral("T"), QString(),
                                                      QStringLiteral("B"), QStringLiteral("1"), QStringLiteral("0"), QString()})
                                           << PlayerKind::appleMusic << QString() << QString() << paused << true
                                           << (QStringLiteral("T") + us + us + QStringLiteral("B")) << 1.0 << 0.0 << QString();
    }
    void parseReadsTheAnswer()
    {
        QFETCH(QString, answer);
        QFETCH(PlayerKind, kind);
        QFETCH(QString, previousID);
        QFETCH(QString, previousArtwork);
        QFETCH(int, status);
        QFETCH(bool, hasTrack);
        QFETCH(QString, id);
        QFETCH(double, duration);
        QFETCH(double, elapsed);
        QFETCH(QString, artwork);

        ManualClock clock;
        std::optional<PlayerSnapshot> previous;
        if (!previousID.isEmpty()) {
            previous = PlayerSnapshot::fresh(kind);
            NowPlayingTrack track;
            track.id = previousID;
            if (!previousArtwork.isEmpty())
                track.artworkURL = QUrl(previousArtwork);
            previous->track = track;
        }

        const PlayerSnapshot reading = PlayerScripts::parse(answer, kind, previous, clock);
        QCOMPARE(reading.kind, kind);
        QCOMPARE(int(reading.status), status);
        // Even a stopped reading is new: both dates are now, not the distant past.
        QCOMPARE(reading.updatedAt, clock.wallNow());
        QCOMPARE(reading.capturedAt, clock.wallNow());
        QCOMPARE(reading.track.has_value(), hasTrack);
        QCOMPARE(reading.elapsed, elapsed);
        if (!hasTrack)
            return;
        const NowPlayingTrack &track = *reading.track;
        QCOMPARE(track.id, id);
        QCOMPARE(track.duration, duration);
        QCOMPARE(track.artworkURL.has_value(), !artwork.isEmpty());
        if (!artwork.isEmpty())
            QCOMPARE(track.artworkURL->toString(), artwork);
        QVERIFY(!track.artwork);
    }

    void parseKeepsTheTextFields()
    {
        ManualClock clock;
        const QString answer = fields({QStringLiteral("playing"), QStringLiteral("42"), QStringLiteral("Tïtle"), QString(),
                                       QStringLiteral("Album, Live"), QStringLiteral("10"), QStringLiteral("1"), QString()});
        const PlayerSnapshot reading = PlayerScripts::parse(answer, PlayerKind::appleMusic, std::nullopt, clock);
        QVERIFY(reading.track);
        QCOMPARE(reading.track->title, QStringLiteral("Tïtle"));
        QCOMPARE(reading.track->artist, QString());
        QCOMPARE(reading.track->album, QStringLiteral("Album, Live"));
        QCOMPARE(reading.track->id, QStringLiteral("42"));
    }

    void composedIdentity_data()
    {
        QTest::addColumn<QStringList>("parts"); // "-" stands for an absent value
        QTest::addColumn<QString>("expected");
        QTest::newRow("all three") << QStringList{"T", "A", "B"} << fields({"T", "A", "B"});
        QTest::newRow("no artist") << QStringList{"T", "-", "B"} << fields({"T", "B"});
        QTest::newRow("empty artist takes part") << QStringList{"T", "", "B"} << fields({"T", "", "B"});
        QTest::newRow("only album") << QStringList{"-", "-", "B"} << QStringLiteral("B");
        QTest::newRow("none") << QStringList{"-", "-", "-"} << QString();
    }
    void composedIdentity()
    {
        QFETCH(QStringList, parts);
        QFETCH(QString, expected);
        auto part = [&](int i) -> std::optional<QString> {
            if (parts.at(i) == QLatin1String("-"))
                return std::nullopt;
            return parts.at(i);
        };
        QCOMPARE(PlayerScripts::composedID(part(0), part(1), part(2)), expected);
    }

    void freshReadingIsFromTheDistantPast()
    {
        const PlayerSnapshot s = PlayerSnapshot::fresh(PlayerKind::appleMusic);
        QCOMPARE(s.kind, PlayerKind::appleMusic);
        QCOMPARE(s.status, PlaybackStatus::stopped);
        QVERIFY(!s.track);
        QCOMPARE(s.elapsed, 0.0);
        QCOMPARE(s.capturedAt, NowPlayingState::distantPast());
        QCOMPARE(s.updatedAt, NowPlayingState::distantPast());
    }

    void playerKinds()
    {
        QCOMPARE(bundleIdentifier(PlayerKind::spotify), QStringLiteral("com.spotify.client"));
        QCOMPARE(bundleIdentifier(PlayerKind::appleMusic), QStringLiteral("com.apple.Music"));
        QCOMPARE(displayName(PlayerKind::spotify), QStringLiteral("Spotify"));
        QCOMPARE(displayName(PlayerKind::appleMusic), QStringLiteral("Music"));
        QCOMPARE(playerKindFromRaw(u"appleMusic"), PlayerKind::appleMusic);
        QCOMPARE(playerKindFromRaw(u"applemusic"), std::nullopt);
        QCOMPARE(playerKindForBundleID(u"com.spotify.client"), PlayerKind::spotify);
        QCOMPARE(playerKindForBundleID(u"com.apple.music"), std::nullopt);
        QCOMPARE(allPlayerKinds.front(), PlayerKind::spotify);
    }
};

QTEST_GUILESS_MAIN(PlayerScriptsTest)
#include "tst_playerscripts.moc"
