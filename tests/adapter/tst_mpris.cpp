// labels: mpris dbus
// The adapter against a real MPRIS player: mpv with mpv-mpris on a private session bus, playing tones
// made here. Every test starts its own bus and player.
#include "fakes/FakeHttpServer.h"
#include "peers/FakeSpotify.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

namespace {

const QString kLibexec = QStringLiteral(ADAPTER_LIBEXEC_DIR);
const QString kScriptName = QStringLiteral("mediaremote-adapter.pl");
const QString kFrameworkName = QStringLiteral("MediaRemoteAdapter.framework");
const QString kTestClient = kLibexec + QStringLiteral("/MediaRemoteAdapterTestClient");
const QString kMprisPlugin = QStringLiteral("/usr/lib/mpv-mpris/mpris.so");
const QString kMpv = QStringLiteral("org.mpris.MediaPlayer2.mpv");
const QString kPlayerIface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");

struct Run {
    int status = -1;
    QByteArray out;
    qint64 ms = 0;
};

void stopProcess(QProcess &p)
{
    if (p.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(p.processId()), SIGCONT);
    p.terminate();
    if (!p.waitForFinished(3000)) {
        p.kill();
        p.waitForFinished(3000);
    }
}

} // namespace

class MprisTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_tones;     // tones and a cover, made once
    QTemporaryDir m_home;      // HOME and XDG folders for every child
    // Links to the built script and framework that belong to this test alone: a program starting
    // meanwhile ends the streams it finds under its own paths, and must not meet ours.
    QTemporaryDir m_links;
    QString m_script;
    QString m_framework;
    QProcess m_bus;
    QString m_address;
    QString m_connectionName;
    std::vector<std::unique_ptr<QProcess>> m_players;

    QProcessEnvironment childEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
        env.insert(QStringLiteral("HOME"), m_home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.filePath(QStringLiteral("runtime")));
        env.remove(QStringLiteral("DISPLAY"));
        return env;
    }

    QDBusConnection bus() const { return QDBusConnection(m_connectionName); }

    QString tone(const QString &name) const { return m_tones.filePath(name); }

    // Starts mpv on the given files; its bus name is "org.mpris.MediaPlayer2.mpv" for the first player
    // on the bus and "….mpv.instance<pid>" for the others.
    QProcess *launchPlayer(const QStringList &files)
    {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(childEnvironment());
        p->setStandardOutputFile(QProcess::nullDevice());
        p->setStandardErrorFile(QProcess::nullDevice());
        QStringList args{QStringLiteral("--no-config"), QStringLiteral("--no-video"), QStringLiteral("--ao=null"),
                         QStringLiteral("--no-terminal"), QStringLiteral("--script=") + kMprisPlugin};
        args += files;
        p->start(QStringLiteral("mpv"), args);
        if (!p->waitForStarted(5000))
            return nullptr;
        m_players.push_back(std::move(p));
        return m_players.back().get();
    }
    static QString instanceName(const QProcess *player)
    {
        return QStringLiteral("org.mpris.MediaPlayer2.mpv.instance%1").arg(player->processId());
    }
    // Waits for the player's name and then for its tags (mpv shows the file name first).
    bool waitForTitle(const QString &busName, const QString &title) const
    {
        return QTest::qWaitFor([&] { return metadataTitle(busName) == title; }, 8000);
    }

    QVariant property(const QString &busName, const QString &name) const
    {
        QDBusMessage get = QDBusMessage::createMethodCall(busName, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("Get"));
        get << kPlayerIface << name;
        const QDBusMessage reply = bus().call(get, QDBus::Block, 2000);
        if (reply.type() != QDBusMessage::ReplyMessage)
            return {};
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

    QString metadataTitle(const QString &busName) const
    {
        const QVariant metadata = property(busName, QStringLiteral("Metadata"));
        if (!metadata.isValid())
            return {};
        return qdbus_cast<QVariantMap>(metadata.value<QDBusArgument>()).value(QStringLiteral("xesam:title")).toString();
    }

    QString status(const QString &busName = kMpv) const { return property(busName, QStringLiteral("PlaybackStatus")).toString(); }

    bool callPlayer(const QString &method, const QString &busName = kMpv)
    {
        const QDBusMessage call = QDBusMessage::createMethodCall(busName, kPath, kPlayerIface, method);
        return bus().call(call, QDBus::Block, 2000).type() == QDBusMessage::ReplyMessage;
    }

    QStringList adapterArguments(const QStringList &command) const
    {
        return QStringList{m_script, m_framework} + command;
    }

    Run adapter(const QStringList &command, const QProcessEnvironment &env, int timeoutMs = 8000) const
    {
        QProcess p;
        p.setProcessEnvironment(env);
        p.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer timer;
        timer.start();
        p.start(QStringLiteral("/usr/bin/perl"), adapterArguments(command));
        if (!p.waitForFinished(timeoutMs)) {
            p.kill();
            p.waitForFinished(2000);
            return {-2, p.readAllStandardOutput(), timer.elapsed()};
        }
        const int status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        return {status, p.readAllStandardOutput(), timer.elapsed()};
    }
    Run adapter(const QStringList &command) const { return adapter(command, childEnvironment()); }

    // The next stream line's envelope, or an empty object when none comes in time.
    static QJsonObject nextLine(QProcess &stream, int timeoutMs)
    {
        if (!stream.canReadLine() && !QTest::qWaitFor([&] { return stream.canReadLine(); }, timeoutMs))
            return {};
        return QJsonDocument::fromJson(stream.readLine()).object();
    }

    // The stream as the program runs it, with another debounce time when asked.
    void startStream(QProcess &stream, int debounceMs = 120)
    {
        stream.setProcessEnvironment(childEnvironment());
        stream.setStandardErrorFile(QProcess::nullDevice());
        stream.start(QStringLiteral("/usr/bin/perl"),
                     adapterArguments({QStringLiteral("stream"), QStringLiteral("--no-diff"),
                                       QStringLiteral("--debounce=%1").arg(debounceMs), QStringLiteral("--no-artwork"),
                                       QStringLiteral("--allow-missing-title")}));
        QVERIFY(stream.waitForStarted(5000));
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const char *tool : {"mpv", "sox", "dbus-daemon"})
            QVERIFY2(!QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty(),
                     qPrintable(QStringLiteral("%1 is missing (scripts/bootstrap installs it)").arg(QLatin1String(tool))));
        QVERIFY2(QFile::exists(kMprisPlugin), "mpv-mpris is missing (scripts/bootstrap installs it)");
        QVERIFY2(QFile::exists(QStringLiteral("/usr/bin/perl")), "perl is missing");
        const QString script = kLibexec + QLatin1Char('/') + kScriptName;
        const QString framework = kLibexec + QLatin1Char('/') + kFrameworkName;
        for (const QString &part : {script, framework + QStringLiteral("/MediaRemoteAdapter"), kTestClient})
            QVERIFY2(QFile::exists(part), qPrintable(part + QStringLiteral(" was not built")));
        QVERIFY(m_tones.isValid() && m_home.isValid() && m_links.isValid());
        m_script = m_links.filePath(kScriptName);
        m_framework = m_links.filePath(kFrameworkName);
        QVERIFY(QFile::link(script, m_script));
        QVERIFY(QFile::link(framework, m_framework));
        QDir(m_home.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(m_home.filePath(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        const struct {
            const char *file, *title, *artist;
        } tones[] = {{"first.flac", "Adapter Tone", "Test Artist"},
                     {"second.flac", "Second Tone", "Test Artist"},
                     {"other/other.flac", "Other Tone", "Other Artist"}};
        QDir(m_tones.path()).mkpath(QStringLiteral("other"));
        for (const auto &t : tones) {
            QProcess sox;
            sox.start(QStringLiteral("sox"),
                      {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("8000"), QStringLiteral("-c"), QStringLiteral("1"),
                       QStringLiteral("--comment"), QStringLiteral("TITLE=") + QLatin1String(t.title),
                       QStringLiteral("--add-comment"), QStringLiteral("ARTIST=") + QLatin1String(t.artist),
                       QStringLiteral("--add-comment"), QStringLiteral("ALBUM=Tones"), tone(QLatin1String(t.file)),
                       QStringLiteral("synth"), QStringLiteral("40"), QStringLiteral("sine"), QStringLiteral("440")});
            QVERIFY(sox.waitForFinished(10000));
            QVERIFY2(sox.exitCode() == 0, sox.readAllStandardError().constData());
        }
        // mpv-mpris names a cover lying next to the track as its art.
        QFile cover(tone(QStringLiteral("cover.png")));
        QVERIFY(cover.open(QIODevice::WriteOnly));
        cover.write("\x89PNG\r\n\x1a\ncover bytes");
    }

    void init()
    {
        m_bus.setStandardErrorFile(QProcess::nullDevice());
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        QVERIFY(m_bus.waitForStarted(5000));
        QVERIFY(QTest::qWaitFor([&] { return m_bus.canReadLine(); }, 5000));
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
        QVERIFY(!m_address.isEmpty());
        m_connectionName = QStringLiteral("adapter-test-%1").arg(quintptr(QTest::currentTestFunction()));
        QVERIFY(QDBusConnection::connectToBus(m_address, m_connectionName).isConnected());

        if (QTest::currentTestFunction() == QLatin1String("testFailsWithoutASessionBus"))
            return; // needs no player
        QVERIFY(launchPlayer({tone(QStringLiteral("first.flac")), tone(QStringLiteral("second.flac"))}));
        QVERIFY2(waitForTitle(kMpv, QStringLiteral("Adapter Tone")), "mpv did not come up on the bus");
        QCOMPARE(status(), QStringLiteral("Playing"));
    }

    void cleanup()
    {
        for (auto &p : m_players)
            stopProcess(*p);
        m_players.clear();
        QDBusConnection::disconnectFromBus(m_connectionName);
        stopProcess(m_bus);
    }

    void getReportsThePlayingTone_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("artwork");
        QTest::newRow("as the program refreshes") << QStringList{"--no-artwork", "--allow-missing-title"} << QByteArray();
        QTest::newRow("with artwork") << QStringList{"--allow-missing-title"} << QByteArray("\x89PNG\r\n\x1a\ncover bytes");
    }
    void getReportsThePlayingTone()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, artwork);
        const Run run = adapter(QStringList{QStringLiteral("get")} + options);
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out.count('\n'), 1);
        const QJsonObject p = QJsonDocument::fromJson(run.out).object();
        QCOMPARE(p.value("title").toString(), QStringLiteral("Adapter Tone"));
        QCOMPARE(p.value("artist").toString(), QStringLiteral("Test Artist"));
        QCOMPARE(p.value("album").toString(), QStringLiteral("Tones"));
        QCOMPARE(p.value("playing").toBool(false), true);
        QCOMPARE(p.value("bundleIdentifier").toString(), QStringLiteral("mpv"));
        QVERIFY(qAbs(p.value("duration").toDouble() - 40.0) < 0.1);
        QVERIFY(p.value("elapsedTime").toDouble(-1) >= 0 && p.value("elapsedTime").toDouble() < 10);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d(\\.\\d{3})?Z$"))
                    .match(p.value("timestamp").toString())
                    .hasMatch());
        QCOMPARE(QByteArray::fromBase64(p.value("artworkData").toString().toLatin1()), artwork);
    }

    // A player naming its cover by a web address (as streaming players do), here a loopback HTTPS
    // server with a certificate of its own: "get" with artwork downloads it within the size cap;
    // an answer that is not a picture, too big, or from a server not trusted gives none, and the
    // rest of the report stays. A stream with artwork reports it once it has arrived.
    void fetchesArtworkFromTheWeb_data()
    {
        QTest::addColumn<bool>("stream");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<bool>("expected");
        QTest::newRow("a cover") << false << 200 << 3000 << true << true;
        QTest::newRow("not found") << false << 404 << 3000 << true << false;
        QTest::newRow("empty") << false << 200 << 0 << true << false;
        QTest::newRow("beyond the cap") << false << 200 << 9 * 1024 * 1024 << true << false;
        QTest::newRow("a certificate nobody trusts") << false << 200 << 3000 << false << false;
        QTest::newRow("a cover, streamed") << true << 200 << 3000 << true << true;
    }
    void fetchesArtworkFromTheWeb()
    {
        QFETCH(bool, stream);
        QFETCH(int, status);
        QFETCH(int, size);
        QFETCH(bool, trusted);
        QFETCH(bool, expected);
        for (auto &p : m_players)
            stopProcess(*p);
        QVERIFY(QTest::qWaitFor([&] { return !bus().interface()->isServiceRegistered(kMpv).value(); }, 5000));

        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const auto tls = tavrenhold::test::FakeHttpServer::makeCertificate(folder.path());
        QVERIFY2(!tls.certificateFile.isEmpty(), "openssl could not make a certificate");
        tavrenhold::test::FakeHttpServer server(tls);
        QVERIFY(server.listen());
        QByteArray cover(size, 'c');
        cover.replace(0, qMin(size, 8), QByteArray("\x89PNG\r\n\x1a\n").left(size));
        server.on("/art/cover.png", tavrenhold::test::FakeHttpServer::Answer{status, cover, {{"Content-Type", "image/png"}}});

        tavrenhold::test::FakeSpotify spotify;
        spotify.metadata = {{QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath("/track/1"))},
                            {QStringLiteral("xesam:title"), QStringLiteral("Web Song")},
                            {QStringLiteral("mpris:length"), qlonglong(180'000'000)},
                            {QStringLiteral("mpris:artUrl"), server.origin() + QStringLiteral("/art/cover.png")}};
        QVERIFY(spotify.publish(bus()));
        const auto unpublish = qScopeGuard([&] {
            bus().unregisterObject(tavrenhold::test::FakeSpotify::objectPath);
            bus().unregisterService(tavrenhold::test::FakeSpotify::busName);
        });

        QProcessEnvironment env = childEnvironment();
        if (trusted)
            env.insert(QStringLiteral("SSL_CERT_FILE"), tls.certificateFile);
        else
            env.remove(QStringLiteral("SSL_CERT_FILE"));
        // The player and the server live in this process: its loop turns while the adapter runs.
        QProcess p;
        p.setProcessEnvironment(env);
        p.setStandardErrorFile(QProcess::nullDevice());
        p.start(QStringLiteral("/usr/bin/perl"),
                adapterArguments(stream ? QStringList{"stream", "--no-diff", "--allow-missing-title"}
                                        : QStringList{"get", "--allow-missing-title"}));
        QVERIFY(p.waitForStarted(5000));
        if (stream) {
            QJsonObject payload;
            for (QJsonObject line; !(line = nextLine(p, 20000)).isEmpty();) {
                payload = line.value("payload").toObject();
                if (payload.contains("artworkData"))
                    break;
            }
            stopProcess(p);
            QCOMPARE(payload.value("title").toString(), QStringLiteral("Web Song"));
            QCOMPARE(QByteArray::fromBase64(payload.value("artworkData").toString().toLatin1()), cover);
            QCOMPARE(server.requests().size(), 1);
            return;
        }
        QVERIFY2(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 20000), "the adapter did not end");
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        const QJsonObject payload = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
        QCOMPARE(payload.value("title").toString(), QStringLiteral("Web Song"));
        QCOMPARE(QByteArray::fromBase64(payload.value("artworkData").toString().toLatin1()), expected ? cover : QByteArray());
        QCOMPARE(server.requests().size(), trusted ? 1 : 0);
    }

    void getWithoutPlayerFails()
    {
        for (auto &p : m_players)
            stopProcess(*p);
        QVERIFY(QTest::qWaitFor([&] { return !bus().interface()->isServiceRegistered(kMpv).value(); }, 5000));
        const Run run = adapter({QStringLiteral("get"), QStringLiteral("--allow-missing-title")});
        QCOMPARE(run.status, 3);
        QCOMPARE(run.out, QByteArray());
    }

    // A player that stopped answering must not hold the adapter for D-Bus's 25 s.
    void getPassesOverAHungPlayer()
    {
        const QProcess *second = launchPlayer({tone(QStringLiteral("other/other.flac"))});
        QVERIFY(second);
        QVERIFY(waitForTitle(instanceName(second), QStringLiteral("Other Tone")));
        ::kill(pid_t(m_players.front()->processId()), SIGSTOP);

        const Run run = adapter({QStringLiteral("get"), QStringLiteral("--no-artwork"), QStringLiteral("--allow-missing-title")});
        QCOMPARE(run.status, 0);
        QCOMPARE(QJsonDocument::fromJson(run.out).object().value("title").toString(), QStringLiteral("Other Tone"));
        QVERIFY2(run.ms < 6000, qPrintable(QStringLiteral("took %1 ms").arg(run.ms)));
    }

    void sendDrivesThePlayer_data()
    {
        QTest::addColumn<bool>("startPaused");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("title");
        QTest::newRow("pause") << false << "1" << "Paused" << "Adapter Tone";
        QTest::newRow("toggle") << false << "2" << "Paused" << "Adapter Tone";
        QTest::newRow("play") << true << "0" << "Playing" << "Adapter Tone";
        QTest::newRow("next") << false << "4" << "Playing" << "Second Tone";
    }
    void sendDrivesThePlayer()
    {
        QFETCH(bool, startPaused);
        QFETCH(QString, code);
        if (startPaused) {
            QVERIFY(callPlayer(QStringLiteral("Pause")));
            QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Paused"), 2000);
        }
        QCOMPARE(adapter({QStringLiteral("send"), code}).status, 0);
        QFETCH(QString, status);
        QFETCH(QString, title);
        QTRY_COMPARE_WITH_TIMEOUT(this->status(), status, 2000);
        QTRY_COMPARE_WITH_TIMEOUT(metadataTitle(kMpv), title, 2000);
    }

    void seekMovesThePlayer()
    {
        QVERIFY(callPlayer(QStringLiteral("Pause")));
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Paused"), 2000);
        QCOMPARE(adapter({QStringLiteral("seek"), QStringLiteral("5000000")}).status, 0);
        const auto seconds = [&] { return double(property(kMpv, QStringLiteral("Position")).toLongLong()) / 1e6; };
        QVERIFY2(QTest::qWaitFor([&] { return qAbs(seconds() - 5.0) < 0.5; }, 2000),
                 qPrintable(QStringLiteral("position %1 s").arg(seconds())));
        QCOMPARE(metadataTitle(kMpv), QStringLiteral("Adapter Tone"));
    }

    void streamFollowsThePlayer()
    {
        QProcess stream;
        startStream(stream);

        QJsonObject line = nextLine(stream, 3000);
        QCOMPARE(line.value("type").toString(), QStringLiteral("data"));
        QCOMPARE(line.value("payload").toObject().value("title").toString(), QStringLiteral("Adapter Tone"));
        QCOMPARE(line.value("payload").toObject().value("playing").toBool(), true);

        // The program finds stale streams by this command line, so the helper must keep it.
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(stream.processId()));
        QVERIFY(cmdline.open(QIODevice::ReadOnly));
        const QList<QByteArray> argv = cmdline.readAll().split('\0');
        QCOMPARE(argv.value(0), QByteArray("/usr/bin/perl"));
        QCOMPARE(argv.value(1), m_script.toUtf8());
        QCOMPARE(argv.value(2), m_framework.toUtf8());
        QCOMPARE(argv.value(3), QByteArray("stream"));

        // Playing steadily: the position is read every second and matches, so nothing is written. (One
        // line is allowed: a player starved of CPU may really fall behind once.)
        QTest::qWait(2200);
        int lines = 0;
        while (stream.canReadLine()) {
            stream.readLine();
            ++lines;
        }
        QVERIFY2(lines <= 1, qPrintable(QStringLiteral("%1 lines while nothing changed").arg(lines)));

        QElapsedTimer sincePause;
        sincePause.start();
        QVERIFY(callPlayer(QStringLiteral("Pause")));
        line = nextLine(stream, 2000);
        QVERIFY2(sincePause.elapsed() < 1000, qPrintable(QStringLiteral("%1 ms").arg(sincePause.elapsed())));
        QCOMPARE(line.value("payload").toObject().value("playing").toBool(true), false);
        QCOMPARE(line.value("payload").toObject().value("title").toString(), QStringLiteral("Adapter Tone"));

        // The player announces the seek; the stream reports the new position.
        QCOMPARE(adapter({QStringLiteral("seek"), QStringLiteral("5000000")}).status, 0);
        line = nextLine(stream, 1000);
        QVERIFY2(qAbs(line.value("payload").toObject().value("elapsedTime").toDouble() - 5.0) < 0.5,
                 QJsonDocument(line).toJson().constData());

        // The player goes: a payload with every field absent.
        stopProcess(*m_players.front());
        line = nextLine(stream, 3000);
        QCOMPARE(line.value("type").toString(), QStringLiteral("data"));
        QVERIFY(line.contains("payload"));
        QCOMPARE(line.value("payload").toObject(), QJsonObject());

        stream.terminate();
        QVERIFY(stream.waitForFinished(2000));
        QCOMPARE(stream.exitStatus(), QProcess::NormalExit);
    }

    // A resume and a pause within the debounce time make one line, written after that time. The
    // player starts paused, so no position reading can open a window of its own.
    void streamGathersChangesForTheDebounceTime()
    {
        constexpr int debounceMs = 800;
        QVERIFY(callPlayer(QStringLiteral("Pause")));
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Paused"), 2000);
        QProcess stream;
        startStream(stream, debounceMs);
        QCOMPARE(nextLine(stream, 3000).value("payload").toObject().value("playing").toBool(true), false);
        // Let whatever the player still had to say be written first.
        while (QTest::qWaitFor([&] { return stream.canReadLine(); }, debounceMs + 100))
            stream.readLine();

        QElapsedTimer sincePlay;
        sincePlay.start();
        QVERIFY(callPlayer(QStringLiteral("Play")));
        // Long enough for the player to signal it, well inside the debounce time.
        QTest::qWait(200);
        QVERIFY(!stream.canReadLine());
        QVERIFY(callPlayer(QStringLiteral("Pause")));
        const QJsonObject line = nextLine(stream, 5000);
        QVERIFY2(sincePlay.elapsed() >= debounceMs, qPrintable(QStringLiteral("%1 ms").arg(sincePlay.elapsed())));
        QCOMPARE(line.value("payload").toObject().value("playing").toBool(true), false);
        QTest::qWait(200);
        QVERIFY(!stream.canReadLine());
        stream.terminate();
        QVERIFY(stream.waitForFinished(2000));
    }

    // The player that started playing last is the now-playing one; when it pauses, the one still
    // playing takes over.
    void streamChoosesTheLatestStartedPlayer()
    {
        QProcess stream;
        startStream(stream);
        QCOMPARE(nextLine(stream, 3000).value("payload").toObject().value("title").toString(), QStringLiteral("Adapter Tone"));

        const QProcess *second = launchPlayer({tone(QStringLiteral("other/other.flac"))});
        QVERIFY(second);
        const QString other = instanceName(second);
        QVERIFY(waitForTitle(other, QStringLiteral("Other Tone")));

        const auto titleEventually = [&](const QString &title) {
            return QTest::qWaitFor([&] {
                const QJsonObject l = nextLine(stream, 0);
                return l.value("payload").toObject().value("title").toString() == title
                    && l.value("payload").toObject().value("playing").toBool();
            }, 20000);
        };
        QVERIFY(titleEventually(QStringLiteral("Other Tone")));
        QVERIFY(callPlayer(QStringLiteral("Pause"), other));
        QVERIFY(titleEventually(QStringLiteral("Adapter Tone")));
        stream.terminate();
        QVERIFY(stream.waitForFinished(2000));
    }

    void streamDiesWithItsParent()
    {
        QProcess parent;
        parent.setProcessEnvironment(childEnvironment());
        parent.start(QStringLiteral("/bin/sh"),
                     {QStringLiteral("-c"),
                      QStringLiteral("/usr/bin/perl \"$0\" \"$1\" stream --no-artwork >/dev/null 2>&1 & echo $!; exec sleep 30"),
                      m_script, m_framework});
        QVERIFY(parent.waitForStarted(5000));
        QVERIFY(QTest::qWaitFor([&] { return parent.canReadLine(); }, 3000));
        const pid_t child = pid_t(parent.readLine().trimmed().toInt());
        QVERIFY(child > 0);
        const auto alive = [&] {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(child));
            if (!stat.open(QIODevice::ReadOnly))
                return false;
            const QByteArray s = stat.readAll();
            return !s.mid(s.lastIndexOf(')') + 2, 1).contains('Z');
        };
        // Once the helper has replaced perl, the parent dies at once: before, while or after the helper
        // sets up its watch, it must end.
        QVERIFY(QTest::qWaitFor([&] {
            return QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(child)).endsWith(QLatin1String("/MediaRemoteAdapter"));
        }, 3000));
        parent.kill();
        parent.waitForFinished(2000);
        const bool ended = QTest::qWaitFor([&] { return !alive(); }, 3000);
        if (!ended)
            ::kill(child, SIGKILL);
        QVERIFY2(ended, "the helper outlived its parent");
    }

    void testThroughTheClient()
    {
        const Run probe = adapter({kTestClient, QStringLiteral("test")}, childEnvironment(), 15000);
        QCOMPARE(probe.status, 0);
        QCOMPARE(adapter({QStringLiteral("test")}).status, 0);
    }

    void testFailsWithoutASessionBus_data()
    {
        QTest::addColumn<QString>("address"); // "-": none set
        QTest::newRow("no session bus") << "-";
        QTest::newRow("bus address that nobody answers") << "unix:path=@/nobus";
    }
    void testFailsWithoutASessionBus()
    {
        QFETCH(QString, address);
        QProcessEnvironment env = childEnvironment();
        if (address == QLatin1String("-"))
            env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        else
            env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address.replace(QLatin1Char('@'), m_home.path()));
        const Run probe = adapter({kTestClient, QStringLiteral("test")}, env, 15000);
        QVERIFY2(probe.status != -2, "the probe outlived the program's 15 s");
        QVERIFY(probe.status != 0);
        QVERIFY(adapter({QStringLiteral("test")}, env).status != 0);
        QVERIFY(adapter({QStringLiteral("get")}, env).status != 0);
    }
};

QTEST_GUILESS_MAIN(MprisTest)
#include "tst_mpris.moc"
