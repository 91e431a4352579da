#pragma once

// A real PulseAudio daemon for one test: its own runtime folder, home and socket, null sinks for
// outputs, pactl to look and change things behind the code's back, pacat streams that play into the
// sinks. Kept off the session bus and the display (two daemons on one bus: the second one dies).
// PULSE_SERVER is exported into this process while the peer lives, so the code under test reaches
// this daemon and no other; the old value comes back when the peer goes. Header-only.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <optional>
#include <vector>

namespace tavrenhold::test {

class PulsePeer {
public:
    // What is missing of the peer's tools; empty when everything is there.
    [[nodiscard]] static QString missingTools()
    {
        QStringList missing;
        for (const char *tool : {"pulseaudio", "pactl", "pacat"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                missing << QStringLiteral("%1 is missing (scripts/bootstrap installs it)").arg(QLatin1String(tool));
        }
        return missing.join(QLatin1Char('\n'));
    }

    PulsePeer()
    {
        m_hadServer = qEnvironmentVariableIsSet("PULSE_SERVER");
        m_previousServer = qgetenv("PULSE_SERVER");
    }
    PulsePeer(const PulsePeer &) = delete;
    PulsePeer &operator=(const PulsePeer &) = delete;
    ~PulsePeer()
    {
        for (auto &stream : m_streams)
            end(*stream);
        stop();
        if (m_hadServer)
            qputenv("PULSE_SERVER", m_previousServer);
        else
            qunsetenv("PULSE_SERVER");
    }

    [[nodiscard]] QString socket() const { return m_dir.filePath(QStringLiteral("native")); }
    [[nodiscard]] QString server() const { return QStringLiteral("unix:") + socket(); }

    // Starts a daemon with "Built-in Speakers" (sink "speakers") as the default sink and exports its
    // address; false when it does not answer within the ceiling. Also starts a new daemon on the
    // same socket after stop() (a restarted server).
    [[nodiscard]] bool start()
    {
        if (!m_dir.isValid())
            return false;
        QDir(m_dir.path()).mkpath(QStringLiteral("xdg"));
        QFile::setPermissions(m_dir.filePath(QStringLiteral("xdg")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QFile script(m_dir.filePath(QStringLiteral("t.pa")));
        if (!script.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        script.write(QStringLiteral("load-module module-native-protocol-unix auth-anonymous=1 socket=%1\n"
                                    "load-module module-null-sink sink_name=speakers sink_properties='"
                                    "device.description=\"Built-in Speakers\" device.class=sound device.bus=pci "
                                    "device.form_factor=internal'\n"
                                    "set-default-sink speakers\n")
                         .arg(socket())
                         .toUtf8());
        script.close();

        m_daemon = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("PULSE_SERVER"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("xdg")));
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("cfg")));
        m_daemon->setProcessEnvironment(env);
        m_daemon->setProcessChannelMode(QProcess::MergedChannels);
        m_daemon->setStandardOutputFile(m_dir.filePath(QStringLiteral("daemon.log")), QIODevice::Append);
        m_daemon->start(QStringLiteral("pulseaudio"),
                        {QStringLiteral("-n"), QStringLiteral("-F"), script.fileName(), QStringLiteral("--daemonize=no"),
                         QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--use-pid-file=no"),
                         QStringLiteral("--log-target=stderr")});
        if (!m_daemon->waitForStarted(10000))
            return false;
        qputenv("PULSE_SERVER", server().toUtf8());
        // Up within a fraction of a second; the ceiling is for a loaded machine.
        return QTest::qWaitFor([this] { return m_daemon->state() == QProcess::Running && pactl({"info"}).has_value(); },
                               20000);
    }

    // Ends the daemon at once (SIGKILL), as a crash would.
    void kill()
    {
        if (!m_daemon || m_daemon->state() == QProcess::NotRunning)
            return;
        m_daemon->kill();
        m_daemon->waitForFinished(5000);
    }
    void stop()
    {
        if (!m_daemon || m_daemon->state() == QProcess::NotRunning)
            return;
        m_daemon->terminate();
        if (!m_daemon->waitForFinished(5000)) {
            m_daemon->kill();
            m_daemon->waitForFinished(5000);
        }
    }

    [[nodiscard]] QString log() const
    {
        QFile file(m_dir.filePath(QStringLiteral("daemon.log")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // Runs pactl against this daemon; its output, or nothing when it failed.
    [[nodiscard]] std::optional<QString> pactl(const QStringList &arguments) const
    {
        QProcess process;
        process.setProcessEnvironment(clientEnvironment());
        process.start(QStringLiteral("pactl"), arguments);
        if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            return std::nullopt;
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }

    // Loads a null sink; `properties` as module-null-sink's sink_properties (quoted here). Its
    // module index, or nothing.
    [[nodiscard]] std::optional<QString> loadSink(const QString &name, const QString &properties) const
    {
        QStringList arguments{QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                              QStringLiteral("sink_name=") + name};
        if (!properties.isEmpty())
            arguments << QStringLiteral("sink_properties='%1'").arg(properties);
        return pactl(arguments);
    }

    // The index of a sink by name, or nothing.
    [[nodiscard]] std::optional<quint32> sinkIndex(const QString &name) const
    {
        const auto list = pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sinks")});
        if (!list)
            return std::nullopt;
        for (const QString &line : list->split(QLatin1Char('\n'))) {
            const QStringList fields = line.split(QLatin1Char('\t'));
            if (fields.size() > 1 && fields[1] == name)
                return fields[0].toUInt();
        }
        return std::nullopt;
    }

    [[nodiscard]] QString defaultSink() const
    {
        return pactl({QStringLiteral("get-default-sink")}).value_or(QString());
    }

    // Starts a silent stream; with a sink it is pinned there, without one it follows the default.
    // Returns the stream's client process (its stream shows up in sinkOfStream soon after).
    QProcess *play(const QString &sink = {})
    {
        auto stream = std::make_unique<QProcess>();
        stream->setProcessEnvironment(clientEnvironment());
        stream->setStandardInputFile(QStringLiteral("/dev/zero"));
        stream->setStandardOutputFile(QProcess::nullDevice());
        stream->setStandardErrorFile(QProcess::nullDevice());
        QStringList arguments{QStringLiteral("--playback"), QStringLiteral("--client-name=peer-%1").arg(m_streams.size())};
        if (!sink.isEmpty())
            arguments << QStringLiteral("--device=") + sink;
        stream->start(QStringLiteral("pacat"), arguments);
        stream->waitForStarted(10000);
        m_streams.push_back(std::move(stream));
        return m_streams.back().get();
    }

    // The sink name each stream plays into, in order of the stream's index; the one of a client
    // started by play(n), by its client name.
    [[nodiscard]] QString sinkOfStream(int n) const
    {
        const auto inputs = pactl({QStringLiteral("list"), QStringLiteral("sink-inputs")});
        if (!inputs)
            return {};
        // Blocks start with "Sink Input #"; each has "Sink: <index>" and a client name property.
        const QString wanted = QStringLiteral("application.name = \"peer-%1\"").arg(n);
        for (const QString &block : inputs->split(QStringLiteral("Sink Input #"))) {
            if (!block.contains(wanted))
                continue;
            for (const QString &line : block.split(QLatin1Char('\n'))) {
                const QString trimmed = line.trimmed();
                if (trimmed.startsWith(QLatin1String("Sink: "))) {
                    const quint32 index = trimmed.mid(6).toUInt();
                    const auto sinks = pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sinks")});
                    for (const QString &sinkLine : sinks.value_or(QString()).split(QLatin1Char('\n'))) {
                        const QStringList fields = sinkLine.split(QLatin1Char('\t'));
                        if (fields.size() > 1 && fields[0].toUInt() == index)
                            return fields[1];
                    }
                }
            }
        }
        return {};
    }

private:
    [[nodiscard]] QProcessEnvironment clientEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        env.remove(QStringLiteral("DISPLAY"));
        env.insert(QStringLiteral("PULSE_SERVER"), server());
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("xdg")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("cfg")));
        return env;
    }

    static void end(QProcess &process)
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.kill();
        process.waitForFinished(5000);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_daemon;
    std::vector<std::unique_ptr<QProcess>> m_streams;
    bool m_hadServer = false;
    QByteArray m_previousServer;
};

} // namespace tavrenhold::test
