// labels: process
#include "SystemSourceHarness.h"

#include <QSemaphore>
#include <QTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(tavrenhold::TransportCommand)

using namespace tavrenhold;
using namespace tavrenhold::test;

namespace {

const QString kPlayer = QStringLiteral("org.example.Player");

// A state as the tables write it: title|artist|album|duration|status|elapsed|player id/name|capture,
// where the capture time is "@<seconds since the fixture began>".
QString describe(const NowPlayingState &state, const QDateTime &origin)
{
    if (state == NowPlayingState::idle())
        return QStringLiteral("idle");
    const NowPlayingTrack track = state.track.value_or(NowPlayingTrack{});
    const QString player = state.player ? state.player->id + QLatin1Char('/') + state.player->name
                                        : QStringLiteral("-");
    return QStringList{track.title,
                       track.artist,
                       track.album,
                       QString::number(track.duration),
                       rawValue(state.status),
                       QString::number(state.elapsed),
                       player,
                       QLatin1Char('@') + QString::number(origin.msecsTo(state.capturedAt) / 1000.0)}
        .join(QLatin1Char('|'));
}

// The short form of the hold table: "<ms>:<title> <status> <player id>" or "<ms>:idle".
QString brief(const StateLog::Entry &entry)
{
    const NowPlayingState &s = entry.state;
    if (!s.track)
        return QStringLiteral("%1:idle").arg(entry.at);
    return QStringLiteral("%1:%2 %3 %4")
        .arg(entry.at)
        .arg(s.track->title, rawValue(s.status), s.player ? s.player->id : QStringLiteral("-"));
}

// Runs table steps: a payload's JSON is taken in; "+<ms>" moves the clock.
void runSteps(SourceFixture &f, const QStringList &steps)
{
    const AdapterDecoder decoder = AdapterStream::makeDecoder(f.clock);
    for (const QString &step : steps) {
        if (step.startsWith(QLatin1Char('+'))) {
            f.advance(Millis(step.mid(1).toInt()));
            continue;
        }
        const auto payload = decoder.decodePayload(step.toUtf8());
        QVERIFY2(payload.has_value(), qPrintable(step));
        QCoro::waitFor(f.source.ingest(*payload));
        drain();
    }
}

// A payload of the tables: {"title": title, "bundleIdentifier": bundle, "playing": playing}.
QString song(const QString &title, const QString &bundle, bool playing)
{
    QString json = QStringLiteral(R"({"title":"%1","playing":%2)").arg(title, playing ? "true" : "false");
    if (!bundle.isEmpty())
        json += QStringLiteral(R"(,"bundleIdentifier":"%1")").arg(bundle);
    return json + QLatin1Char('}');
}

} // namespace

class SystemSourceTest : public QObject {
    Q_OBJECT
    std::unique_ptr<DesktopEntries> m_entries;

private Q_SLOTS:
    void initTestCase() { m_entries = std::make_unique<DesktopEntries>(); }

    // The probe answers true only for an adapter with a test client whose self-test passes.
    void probe_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("selfTestRun");
        QTest::newRow("self-test passes") << "" << true << true;
        QTest::newRow("self-test fails") << "selftest.fail" << false << true;
        QTest::newRow("no test client") << "no client" << false << false;
        QTest::newRow("no adapter at all") << "no adapter" << false << false;
    }
    void probe()
    {
        QFETCH(QString, setup);
        QFETCH(bool, answer);
        QFETCH(bool, selfTestRun);
        SourceFixture f;
        if (setup == "selftest.fail")
            f.write(setup, "");
        if (setup == "no client")
            QVERIFY(QFile::remove(f.adapter.testClientPath()));
        if (setup == "no adapter")
            qunsetenv("TAVRENHOLD_ADAPTER_DIR");
        QCOMPARE(QCoro::waitFor(f.source.probe()), answer);
        QCOMPARE(f.adapter.log(), selfTestRun ? QStringList{"test " + f.adapter.testClientPath()} : QStringList{});
        // A failed self-test keeps the location it found.
        QCOMPARE(f.source.location().has_value(), selfTestRun);
    }

    void startAndStop()
    {
        SourceFixture f;
        auto log = f.watch();
        QCoro::waitFor(f.source.start());
        QCoro::waitFor(f.source.start()); // running already: nothing more
        QVERIFY(f.source.isRunning());
        QTRY_VERIFY(f.adapter.savedPid() > 0);
        const qint64 pid = f.adapter.savedPid();
        f.feed(song("One", kPlayer, true).toUtf8());
        QTRY_COMPARE(log->entries.size(), 2);
        QCOMPARE(f.count("stream"), 1);

        QCoro::waitFor(f.source.stop());
        drain();
        QVERIFY(!f.source.isRunning());
        QCOMPARE(f.source.current(), NowPlayingState::idle());
        QVERIFY(log->ended);
        QTRY_VERIFY(!processAlive(pid));
        // No timer of the run is left behind: no hold, no artwork pull.
        QCOMPARE(f.clock.sleepers(), 0);
        QVERIFY(!f.source.isHolding());

        // Started again, it reads a fresh stream and reports the same track again.
        auto again = f.watch();
        QCoro::waitFor(f.source.start());
        QTRY_COMPARE(f.count("stream"), 2);
        QTRY_COMPARE(again->entries.size(), 2);
        QCOMPARE(again->states().constLast().track->title, "One");
    }

    void startWithoutAdapterStaysStopped()
    {
        SourceFixture f;
        qunsetenv("TAVRENHOLD_ADAPTER_DIR");
        auto log = f.watch();
        QCoro::waitFor(f.source.start());
        QVERIFY(!f.source.isRunning());
        drain();
        QCOMPARE(log->states(), QList<NowPlayingState>{NowPlayingState::idle()});
        QVERIFY(!log->ended);
    }

    // events() ends the stream it handed out before; the new one starts with the current state.
    void eventsTwice()
    {
        SourceFixture f;
        QCoro::waitFor(f.source.start());
        QCoro::waitFor(f.source.ingest(*AdapterStream::makeDecoder(f.clock).decodePayload(song("One", "", true).toUtf8())));
        auto first = f.watch();
        auto second = f.watch();
        drain();
        QVERIFY(first->ended);
        QCOMPARE(first->entries.size(), 1);
        QVERIFY(!second->ended);
        QCOMPARE(second->states(), QList<NowPlayingState>{f.source.current()});
        QCOMPARE(second->states().first().track->title, "One");
    }

    // Payload intake: the states that follow the first (idle) one, once any hand-over hold ran out.
    void intake_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("expected");
        const QString known = R"({"title":"Song","artist":"A","album":"L","bundleIdentifier":"org.example.Player","playing":true})";
        const QString knownState = "Song|A|L|0|playing|0|org.example.Player/Example Player|@0";

        QTest::newRow("every field absent before a first payload: ignored") << QStringList{"{}"} << QStringList{};
        QTest::newRow("every field absent after a payload: idle")
            << QStringList{known, "{}"} << QStringList{knownState, "idle"};
        QTest::newRow("no title and no bundle before a first payload: ignored")
            << QStringList{R"({"artist":"A","title":""})"} << QStringList{};
        QTest::newRow("no title and no bundle after a payload: idle")
            << QStringList{known, R"({"artist":"A","playing":true})"} << QStringList{knownState, "idle"};
        QTest::newRow("a known application's display name stands in for the title")
            << QStringList{R"({"title":"","bundleIdentifier":"org.example.Player"})"}
            << QStringList{"Example Player|||0|paused|0|org.example.Player/Example Player|@0"};
        QTest::newRow("an unknown application is named by its identifier")
            << QStringList{R"({"bundleIdentifier":"org.example.Unknown","playbackRate":1})"}
            << QStringList{"org.example.Unknown|||0|playing|0|org.example.Unknown/org.example.Unknown|@0"};
        QTest::newRow("the parent application is the player")
            << QStringList{R"({"title":"Song","bundleIdentifier":"org.example.Helper","parentApplicationBundleIdentifier":"org.example.Player"})"}
            << QStringList{"Song|||0|paused|0|org.example.Player/Example Player|@0"};
        QTest::newRow("a title without any bundle has no player")
            << QStringList{R"({"title":"Song","playing":false,"playbackRate":1})"}
            << QStringList{"Song|||0|paused|0|-|@0"};
        QTest::newRow("milliseconds and microseconds are scaled to seconds")
            << QStringList{R"({"title":"S","duration":215000,"elapsedTime":100000})",
                           R"({"title":"S","duration":215000000,"elapsedTime":99999.5})"}
            << QStringList{"S|||215|paused|100|-|@0", "S|||215|paused|99999.5|-|@0"};
        QTest::newRow("absent, zero and negative times are 0")
            << QStringList{R"({"title":"S","duration":0,"elapsedTime":-1})", R"({"title":"S","duration":-1})"}
            << QStringList{"S|||0|paused|0|-|@0", "S|||0|paused|0|-|@0"};
        QTest::newRow("playing from the playback rate when playing is absent")
            << QStringList{R"({"title":"S","playbackRate":0.5})", R"({"title":"S","playbackRate":0})",
                           R"({"title":"S","playbackRate":1})", R"({"title":"S"})"}
            << QStringList{"S|||0|playing|0|-|@0", "S|||0|paused|0|-|@0", "S|||0|playing|0|-|@0",
                           "S|||0|paused|0|-|@0"};
        QTest::newRow("the timestamp is the capture time, else now")
            << QStringList{R"({"title":"S","elapsedTime":3,"timestamp":"2026-01-05T08:59:58Z"})", "+2500",
                           R"({"title":"T"})"}
            << QStringList{"S|||0|paused|3|-|@-2", "T|||0|paused|0|-|@2.5"};
        QTest::newRow("identical states are yielded once") << QStringList{known, known} << QStringList{knownState};
        QTest::newRow("pausing the same track keeps the shown position")
            << QStringList{R"({"title":"S","duration":300,"elapsedTime":60,"playing":true})", "+1200",
                           R"({"title":"S","duration":300,"elapsedTime":60,"playing":false})"}
            << QStringList{"S|||300|playing|60|-|@0", "S|||300|paused|61.2|-|@1.2"};
        QTest::newRow("a report far from the shown position is taken as it is")
            << QStringList{R"({"title":"S","duration":300,"elapsedTime":60,"playing":true})", "+1200",
                           R"({"title":"S","duration":300,"elapsedTime":58,"playing":false,"timestamp":"2026-01-05T09:00:01Z"})"}
            << QStringList{"S|||300|playing|60|-|@0", "S|||300|paused|58|-|@1"};
    }
    void intake()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);
        SourceFixture f;
        const QDateTime origin = f.clock.wallNow();
        QCoro::waitFor(f.source.start());
        auto log = f.watch();
        runSteps(f, steps);
        f.advance(SystemNowPlayingSource::handoverHold);
        QStringList seen;
        for (const NowPlayingState &state : log->states().mid(1))
            seen.append(describe(state, origin));
        QCOMPARE(seen, expected);
    }

    // Track ids and song keys join the player bundle, title, artist, album (and the duration as
    // reported) with U+001F, keeping empty fields.
    void identityStrings_data()
    {
        QTest::addColumn<QString>("payload");
        QTest::addColumn<QStringList>("idFields");
        QTest::newRow("only a bundle identifier")
            << R"({"title":"Song","artist":"A","duration":215000,"bundleIdentifier":"B"})"
            << QStringList{"B", "Song", "A", "", "215000"};
        QTest::newRow("the parent bundle wins")
            << R"({"title":"Song","duration":215.4,"bundleIdentifier":"B","parentApplicationBundleIdentifier":"P"})"
            << QStringList{"P", "Song", "", "", "215"};
        QTest::newRow("nothing but a title") << R"({"title":"Song"})" << QStringList{"", "Song", "", "", ""};
    }
    void identityStrings()
    {
        QFETCH(QString, payload);
        QFETCH(QStringList, idFields);
        SourceFixture f;
        QCoro::waitFor(f.source.start());
        const auto decoded = AdapterStream::makeDecoder(f.clock).decodePayload(payload.toUtf8());
        QVERIFY(decoded);
        QCoro::waitFor(f.source.ingest(*decoded));
        const QString sep(SystemNowPlayingSource::separator);
        QCOMPARE(f.source.current().track->id, idFields.join(sep));
        const QString key = idFields.mid(0, 4).join(sep);
        QCOMPARE(SystemNowPlayingSource::songKey(*decoded), key);
        QCOMPARE(SystemNowPlayingSource::songKey(f.source.current()), std::optional<QString>(key));
    }

    // The hand-over hold: "<ms>:<title> <status> <player>" for every state after the first idle one.
    void handoverHold_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("expected");
        const QString aOne = song("One", "org.a", true);
        QTest::newRow("another player's pause waits; its playing report overtakes it")
            << QStringList{aOne, song("Two", "org.b", false), "+1000", song("Two", "org.b", true), "+2000"}
            << QStringList{"0:One playing org.a", "1000:Two playing org.b"};
        QTest::newRow("another player's pause shows after 1.5 s")
            << QStringList{aOne, song("Two", "org.b", false), "+2000"}
            << QStringList{"0:One playing org.a", "1500:Two paused org.b"};
        QTest::newRow("the same player's pause shows at once")
            << QStringList{aOne, song("One", "org.a", false)}
            << QStringList{"0:One playing org.a", "0:One paused org.a"};
        QTest::newRow("a later transient state replaces the held one without extending the hold")
            << QStringList{aOne, song("Two", "org.b", false), "+1000", song("Three", "org.c", false), "+2000"}
            << QStringList{"0:One playing org.a", "1500:Three paused org.c"};
        QTest::newRow("a vanished track shows after 1.5 s")
            << QStringList{aOne, "{}", "+2000"} << QStringList{"0:One playing org.a", "1500:idle"};
        QTest::newRow("a report without a player waits while one plays")
            << QStringList{aOne, song("Solo", "", false), "+2000"}
            << QStringList{"0:One playing org.a", "1500:Solo paused -"};
        QTest::newRow("while paused, another player's pause shows at once")
            << QStringList{song("One", "org.a", false), song("Two", "org.b", false)}
            << QStringList{"0:One paused org.a", "0:Two paused org.b"};
    }
    void handoverHold()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);
        SourceFixture f;
        QCoro::waitFor(f.source.start());
        auto log = f.watch();
        runSteps(f, steps);
        QStringList seen;
        for (const StateLog::Entry &entry : log->entries.mid(1))
            seen.append(brief(entry));
        QCOMPARE(seen, expected);
        QVERIFY(!f.source.isHolding());
    }

    // A held state belongs to the run that held it: after stop and start it is never shown.
    void stopDropsTheHeldState()
    {
        SourceFixture f;
        QCoro::waitFor(f.source.start());
        runSteps(f, {song("One", "org.a", true), song("Two", "org.b", false)});
        QVERIFY(f.source.isHolding());
        QCoro::waitFor(f.source.stop());
        QCoro::waitFor(f.source.start());
        auto log = f.watch();
        f.advance(Millis(3000));
        QCOMPARE(log->states(), QList<NowPlayingState>{NowPlayingState::idle()});
    }

    // A payload still waiting for its player's name is taken after the payloads before it, before
    // the ones after it, and not at all once the source has stopped meanwhile.
    void payloadOrderAndStaleness_data()
    {
        QTest::addColumn<bool>("restart");
        QTest::addColumn<QString>("title");
        QTest::newRow("later payloads wait their turn") << false << "Later";
        QTest::newRow("a stop drops everything that was waiting") << true << "";
    }
    void payloadOrderAndStaleness()
    {
        QFETCH(bool, restart);
        QFETCH(QString, title);
        // The name of a new player is looked up on a worker thread; this one answers when let.
        auto answer = std::make_shared<QSemaphore>();
        SourceFixture f(kFakeAdapter, [answer](const QString &bundle) {
            answer->acquire();
            return bundle;
        });
        QCoro::waitFor(f.source.start());
        const AdapterDecoder decoder = AdapterStream::makeDecoder(f.clock);
        auto first = f.source.ingest(*decoder.decodePayload(song("First", "org.example.New", true).toUtf8()));
        auto later = f.source.ingest(*decoder.decodePayload(song("Later", "", true).toUtf8()));
        if (restart) {
            QCoro::waitFor(f.source.stop());
            QCoro::waitFor(f.source.start());
        }
        answer->release();
        QCoro::waitFor(first);
        QCoro::waitFor(later);
        drain();
        QCOMPARE(f.source.current().track.value_or(NowPlayingTrack{}).title, title);
    }

    // Payloads the adapter streams become states, in order; of lines that arrive together only the
    // newest counts.
    void streamedPayloadsBecomeStates()
    {
        SourceFixture f;
        f.write("stream", streamLine(song("Zero", kPlayer, true).toUtf8()) + streamLine("{}")
                              + streamLine(song("One", kPlayer, true).toUtf8()));
        auto log = f.watch();
        QCoro::waitFor(f.source.start());
        QTRY_COMPARE(log->entries.size(), 2);
        QCOMPARE(log->states().at(1).track->title, "One");
        // The empty report is held and then overtaken by the next track.
        f.feed("{}");
        QTRY_VERIFY(f.source.isHolding());
        f.feed(song("Two", kPlayer, true).toUtf8());
        QTRY_COMPARE(log->entries.size(), 3);
        QCOMPARE(log->states().at(1).track->title, "One");
        QCOMPARE(log->states().at(2).track->title, "Two");
        QCOMPARE(log->states().at(2).player, (std::optional<PlayerIdentity>(PlayerIdentity{kPlayer, "Example Player"})));
        f.feed("{}");
        QTRY_VERIFY(f.source.isHolding());
        f.advance(SystemNowPlayingSource::handoverHold);
        QTRY_COMPARE(log->entries.size(), 4);
        QCOMPARE(log->states().at(3), NowPlayingState::idle());
    }

    // Transport commands become detached adapter runs; the source need not be running.
    void send_data()
    {
        QTest::addColumn<TransportCommand>("command");
        QTest::addColumn<QStringList>("sent");
        QTest::newRow("play") << TransportCommand::play() << QStringList{"send 0"};
        QTest::newRow("pause") << TransportCommand::pause() << QStringList{"send 1"};
        QTest::newRow("toggle") << TransportCommand::toggle() << QStringList{"send 2"};
        QTest::newRow("next") << TransportCommand::next() << QStringList{"send 4"};
        QTest::newRow("previous") << TransportCommand::previous() << QStringList{"send 5"};
        QTest::newRow("seek, truncated to whole microseconds")
            << TransportCommand::seek(12.3456789) << QStringList{"seek 12345678"};
        QTest::newRow("seek before the start") << TransportCommand::seek(-3) << QStringList{"seek 0"};
        QTest::newRow("seek to no number") << TransportCommand::seek(std::nan("")) << QStringList{};
        QTest::newRow("seek to infinity")
            << TransportCommand::seek(std::numeric_limits<double>::infinity()) << QStringList{};
    }
    void send()
    {
        QFETCH(TransportCommand, command);
        QFETCH(QStringList, sent);
        SourceFixture f;
        QVERIFY(QCoro::waitFor(f.source.probe()));
        QCoro::waitFor(f.source.send(command));
        // A play sent afterwards shows that everything before it has run.
        QCoro::waitFor(f.source.send(TransportCommand::play()));
        // Detached runs are launched in order but may finish in any order; a stray run would show
        // within the short wait.
        QTRY_COMPARE(f.adapter.log().size(), 1 + sent.size() + 1);
        QTest::qWait(100);
        QStringList log = f.adapter.log().mid(1);
        QStringList expected = sent + QStringList{"send 0"};
        log.sort();
        expected.sort();
        QCOMPARE(log, expected);
    }

    // Without an adapter found nothing is sent and no pull is scheduled.
    void sendWithoutAdapter()
    {
        SourceFixture f;
        QCoro::waitFor(f.source.send(TransportCommand::next()));
        QCOMPARE(f.clock.sleepers(), 0);
        QVERIFY(settle());
        QCOMPARE(f.adapter.log(), QStringList{});
    }
};

QTEST_GUILESS_MAIN(SystemSourceTest)
#include "tst_systemsource.moc"
