#pragma once

// A real MPRIS player for tests that need one: a private session bus (dbus-daemon), mpv with the
// mpv-mpris script on tones made here with sox, and reads and calls of the player over that bus.
//
// The bus is exported into this process's environment while the peer lives, so every child the code
// under test starts (the media-remote adapter, say) reaches the same player; the previous value comes
// back when the peer goes. Header-only: include it from a test file.

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTest>
#include <QVariantMap>

#include <csignal>
#include <memory>
#include <vector>

namespace tavrenhold::test {

class MprisPeer {
public:
    // The first mpv on a bus takes this name; later ones take "….mpv.instance<pid>".
    static inline const QString playerName = QStringLiteral("org.mpris.MediaPlayer2.mpv");
    static inline const QString mprisPlugin = QStringLiteral("/usr/lib/mpv-mpris/mpris.so");
    static inline const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
    static inline const QString objectPath = QStringLiteral("/org/mpris/MediaPlayer2");

    struct Tone {
        QString path;
        QString title;
        QString artist;
        QString album;
        int seconds = 40;
    };

    // What is missing of the peer's tools, one line each; empty when everything is there.
    [[nodiscard]] static QString missingTools()
    {
        QStringList missing;
        for (const char *tool : {"mpv", "sox", "dbus-daemon"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                missing << QStringLiteral("%1 is missing (scripts/bootstrap installs it)").arg(QLatin1String(tool));
        }
        if (!QFile::exists(mprisPlugin))
            missing << QStringLiteral("mpv-mpris is missing (%1; scripts/bootstrap installs it)").arg(mprisPlugin);
        return missing.join(QLatin1Char('\n'));
    }

    // A sine tone in a tagged FLAC file; the error text of sox, or empty on success.
    [[nodiscard]] static QString makeTone(const Tone &tone)
    {
        QProcess sox;
        sox.start(QStringLiteral("sox"),
                  {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("8000"), QStringLiteral("-c"), QStringLiteral("1"),
                   QStringLiteral("--comment"), QStringLiteral("TITLE=") + tone.title, QStringLiteral("--add-comment"),
                   QStringLiteral("ARTIST=") + tone.artist, QStringLiteral("--add-comment"),
                   QStringLiteral("ALBUM=") + tone.album, tone.path, QStringLiteral("synth"),
                   QString::number(tone.seconds), QStringLiteral("sine"), QStringLiteral("440")});
        if (!sox.waitForFinished(20000))
            return QStringLiteral("sox did not finish");
        if (sox.exitStatus() != QProcess::NormalExit || sox.exitCode() != 0)
            return QString::fromLocal8Bit(sox.readAllStandardError());
        return {};
    }

    // A small real JPEG; mpv-mpris names a "cover.jpg" lying next to the track as its art. The file's
    // bytes, or nothing when it could not be written.
    [[nodiscard]] static QByteArray writeCover(const QString &path)
    {
        QImage image(64, 64, QImage::Format_RGB32);
        image.fill(QColor(200, 40, 60));
        for (int y = 16; y < 48; ++y) {
            for (int x = 16; x < 48; ++x)
                image.setPixel(x, y, qRgb(30, 90, 220));
        }
        if (!image.save(path, "JPG"))
            return {};
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    MprisPeer() = default;
    MprisPeer(const MprisPeer &) = delete;
    MprisPeer &operator=(const MprisPeer &) = delete;
    ~MprisPeer() { stop(); }

    // Starts the private bus, connects to it and exports its address; false when any step failed.
    [[nodiscard]] bool startBus()
    {
        m_bus.setStandardErrorFile(QProcess::nullDevice());
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!m_bus.waitForStarted(10000))
            return false;
        if (!QTest::qWaitFor([&] { return m_bus.canReadLine(); }, 10000))
            return false;
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
        if (m_address.isEmpty())
            return false;
        static int serial = 0;
        m_connection = QStringLiteral("mpris-peer-%1").arg(++serial);
        if (!QDBusConnection::connectToBus(m_address, m_connection).isConnected())
            return false;
        m_previousAddress = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        m_hadAddress = qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS");
        m_exported = true;
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
        return true;
    }

    // Starts mpv (no config, no video, no audio device) on the files; nullptr when it did not start.
    QProcess *launchPlayer(const QStringList &files)
    {
        auto p = std::make_unique<QProcess>();
        p->setStandardOutputFile(QProcess::nullDevice());
        p->setStandardErrorFile(QProcess::nullDevice());
        // Without --no-config Debian loads the script a second time and every signal arrives twice.
        QStringList args{QStringLiteral("--no-config"), QStringLiteral("--no-video"), QStringLiteral("--ao=null"),
                         QStringLiteral("--no-terminal"), QStringLiteral("--script=") + mprisPlugin};
        p->start(QStringLiteral("mpv"), args + files);
        if (!p->waitForStarted(10000))
            return nullptr;
        m_players.push_back(std::move(p));
        return m_players.back().get();
    }

    // Ends every player (SIGTERM, then SIGKILL) and waits for them.
    void stopPlayers()
    {
        for (auto &p : m_players)
            end(*p);
        m_players.clear();
    }

    // Ends the players and the bus and restores the environment.
    void stop()
    {
        stopPlayers();
        if (!m_connection.isEmpty())
            QDBusConnection::disconnectFromBus(std::exchange(m_connection, QString()));
        end(m_bus);
        if (std::exchange(m_exported, false)) {
            if (m_hadAddress)
                qputenv("DBUS_SESSION_BUS_ADDRESS", m_previousAddress);
            else
                qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        }
    }

    [[nodiscard]] QString address() const { return m_address; }
    [[nodiscard]] QDBusConnection bus() const { return QDBusConnection(m_connection); }

    [[nodiscard]] bool isRegistered(const QString &name = playerName) const
    {
        return bus().interface()->isServiceRegistered(name).value();
    }

    // A property of the player interface; invalid when the player does not answer within 2 s.
    [[nodiscard]] QVariant property(const QString &name, const QString &busName = playerName) const
    {
        QDBusMessage get = QDBusMessage::createMethodCall(busName, objectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("Get"));
        get << playerInterface << name;
        const QDBusMessage reply = bus().call(get, QDBus::Block, 2000);
        if (reply.type() != QDBusMessage::ReplyMessage)
            return {};
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

    [[nodiscard]] QVariantMap metadata(const QString &busName = playerName) const
    {
        const QVariant value = property(QStringLiteral("Metadata"), busName);
        if (!value.isValid())
            return {};
        return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    }
    [[nodiscard]] QString title(const QString &busName = playerName) const
    {
        return metadata(busName).value(QStringLiteral("xesam:title")).toString();
    }
    // "Playing", "Paused", "Stopped", or empty when the player does not answer.
    [[nodiscard]] QString status(const QString &busName = playerName) const
    {
        return property(QStringLiteral("PlaybackStatus"), busName).toString();
    }
    // The position in seconds; negative when the player does not answer.
    [[nodiscard]] double position(const QString &busName = playerName) const
    {
        const QVariant value = property(QStringLiteral("Position"), busName);
        return value.isValid() ? double(value.toLongLong()) / 1e6 : -1;
    }

    // Calls a method of the player interface without arguments; true when the player answered.
    bool call(const QString &method, const QString &busName = playerName) const
    {
        const QDBusMessage message = QDBusMessage::createMethodCall(busName, objectPath, playerInterface, method);
        return bus().call(message, QDBus::Block, 2000).type() == QDBusMessage::ReplyMessage;
    }

    // Waits for the player's tags: mpv shows the file name as the title before it has read them.
    [[nodiscard]] bool waitForTitle(const QString &title, int timeoutMs = 10000, const QString &busName = playerName) const
    {
        return QTest::qWaitFor([&] { return this->title(busName) == title; }, timeoutMs);
    }

private:
    static void end(QProcess &p)
    {
        if (p.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(p.processId()), SIGCONT); // a stopped process would not see SIGTERM
        p.terminate();
        if (!p.waitForFinished(5000)) {
            p.kill();
            p.waitForFinished(5000);
        }
    }

    QProcess m_bus;
    QString m_address;
    QString m_connection;
    QByteArray m_previousAddress;
    bool m_hadAddress = false;
    bool m_exported = false;
    std::vector<std::unique_ptr<QProcess>> m_players;
};

} // namespace tavrenhold::test
