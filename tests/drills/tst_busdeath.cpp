// labels: process
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>

namespace {
const QString kLibexec = QStringLiteral(ADAPTER_LIBEXEC_DIR);

// Children end with the test, even when it crashes.
void dieWithParent(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

// A session bus of the test's own, and a connection of the test to it.
class Bus {
public:
    Bus() = default;
    Bus(const Bus &) = delete;
    ~Bus() { end(); }

    bool start()
    {
        dieWithParent(m_daemon);
        m_daemon.setStandardErrorFile(QProcess::nullDevice());
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted(5000))
            return false;
        QByteArray out;
        while (!out.contains('\n')) {
            if (!m_daemon.waitForReadyRead(10000))
                return false;
            out += m_daemon.readAllStandardOutput();
        }
        address = QString::fromUtf8(out.trimmed());
        static int serial = 0;
        m_name = QStringLiteral("busdeath-%1").arg(++serial);
        return QDBusConnection::connectToBus(address, m_name).isConnected();
    }
    // Whether the name has an owner on this bus.
    [[nodiscard]] bool owned(const QString &name) const
    {
        const auto reply = QDBusConnection(m_name).interface()->isServiceRegistered(name);
        return reply.isValid() && reply.value();
    }
    // The daemon dies at once, as it does when the session's bus is killed.
    void kill()
    {
        QDBusConnection::disconnectFromBus(m_name);
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
    void end()
    {
        if (!m_name.isEmpty())
            QDBusConnection::disconnectFromBus(std::exchange(m_name, QString()));
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.terminate();
            if (!m_daemon.waitForFinished(5000))
                m_daemon.kill();
            m_daemon.waitForFinished(2000);
        }
    }

    QString address;

private:
    QProcess m_daemon;
    QString m_name;
};

void stopProgram(QProcess &program)
{
    if (program.state() == QProcess::NotRunning)
        return;
    program.terminate();
    if (!program.waitForFinished(10000))
        program.kill();
    program.waitForFinished(2000);
}
} // namespace

// The adapter's helper on a session bus that dies under it: it must end with a failure (so that the
// program supervising it restarts or gives up) instead of living on with its last report.
class BusDeathTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void helperEndsWhenItsBusDies()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            QSKIP("dbus-daemon is not installed");
        QProcess bus;
        bus.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        QVERIFY(bus.waitForStarted(5000));
        QByteArray address;
        while (!address.contains('\n')) {
            QVERIFY(bus.waitForReadyRead(10000));
            address += bus.readAllStandardOutput();
        }

        QProcess helper;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromUtf8(address.trimmed()));
        helper.setProcessEnvironment(environment);
        helper.start(QStringLiteral("/usr/bin/perl"),
                     {kLibexec + QStringLiteral("/mediaremote-adapter.pl"),
                      kLibexec + QStringLiteral("/MediaRemoteAdapter.framework"), QStringLiteral("stream"),
                      QStringLiteral("--no-diff")});
        QVERIFY(helper.waitForStarted(5000));
        // The first line says it is connected and reporting.
        QTRY_VERIFY_WITH_TIMEOUT(helper.canReadLine() || helper.state() == QProcess::NotRunning, 20000);
        QCOMPARE(helper.state(), QProcess::Running);

        bus.kill();
        QVERIFY(bus.waitForFinished(5000));
        QVERIFY2(helper.waitForFinished(15000), "the helper lives on without its bus");
        QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
        QVERIFY(helper.exitCode() != 0);
    }

    // The program on a session bus that dies: it can no longer be found there, so a later start on
    // the session's next bus would run a second notch beside it, the first one showing what it last
    // knew for ever. The first ends (the ordinary way: its settings stay as they were) with a
    // failure, and the later start runs as the only one.
    void programEndsWhenItsBusDies()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            QSKIP("dbus-daemon is not installed");
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("no X display (run under xvfb-run)");
        const QString name = QStringLiteral("app.tavrenhold");

        QTemporaryDir home;
        QVERIFY(home.isValid());
        for (const char *folder : {"config/app.tavrenhold", "data", "cache", "runtime"})
            QVERIFY(QDir(home.path()).mkpath(QLatin1String(folder)));
        QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        const QString defaultsPath = home.filePath(QStringLiteral("config/app.tavrenhold/defaults.json"));
        const QJsonObject settings{{QStringLiteral("notch.expandedWidth"), 560}};
        {
            QFile file(defaultsPath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QJsonDocument(settings).toJson());
        }
        const auto start = [&](QProcess &program, const Bus &bus) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address);
            env.insert(QStringLiteral("HOME"), home.path());
            env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
            env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
            env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
            env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
            env.remove(QStringLiteral("WAYLAND_DISPLAY"));
            program.setProcessEnvironment(env);
            program.setStandardOutputFile(QProcess::nullDevice());
            dieWithParent(program);
            program.start(QStringLiteral(TAVRENHOLD_BINARY), {});
        };

        Bus first;
        QVERIFY2(first.start(), "dbus-daemon did not start");
        QProcess running;
        start(running, first);
        QVERIFY(running.waitForStarted(10000));
        QTRY_VERIFY2_WITH_TIMEOUT(first.owned(name) || running.state() == QProcess::NotRunning,
                                  "the program never took its name", 30000);
        QCOMPARE(running.state(), QProcess::Running);

        first.kill();
        QVERIFY2(running.waitForFinished(20000), "the program runs on without its bus");
        QCOMPARE(running.exitStatus(), QProcess::NormalExit);
        QVERIFY(running.exitCode() != 0);
        QVERIFY2(running.readAllStandardError().contains("session bus"), "the program ended without saying why");

        // The session's next bus: a later start runs, and it is the only one.
        Bus second;
        QVERIFY2(second.start(), "dbus-daemon did not start");
        QProcess later;
        start(later, second);
        QVERIFY(later.waitForStarted(10000));
        QTRY_VERIFY2_WITH_TIMEOUT(second.owned(name) || later.state() == QProcess::NotRunning,
                                  "the later start never took its name", 30000);
        QCOMPARE(later.state(), QProcess::Running);
        stopProgram(later);
        QCOMPARE(later.exitStatus(), QProcess::NormalExit);
        QCOMPARE(later.exitCode(), 0);

        // Neither run lost the user's settings.
        QFile file(defaultsPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject kept = QJsonDocument::fromJson(file.readAll()).object();
        QCOMPARE(kept.value(QStringLiteral("notch.expandedWidth")), settings.value(QStringLiteral("notch.expandedWidth")));
    }
};

QTEST_GUILESS_MAIN(BusDeathTest)
#include "tst_busdeath.moc"
