// labels: dbus
// One program per session, over a private bus: the test is the first start, and runs itself again
// as the later starts.
#include "platform/SingleInstance.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>

using tavrenhold::platform::SingleInstance;

namespace {
constexpr auto claimBusVariable = "TAVRENHOLD_TEST_CLAIM_ON_BUS";

// How a later start ends.
enum ExitCode { handedOver = 0, primary = 10, unreachable = 11, noBus = 12 };

// The later start: claims on the bus named in the environment and exits with what it found.
int runLaterStart(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromLocal8Bit(qgetenv(claimBusVariable)),
                                                        QStringLiteral("later"));
    if (!bus.isConnected())
        return noBus;
    SingleInstance instance(bus, std::chrono::seconds(5));
    switch (instance.claim()) {
    case SingleInstance::Claim::primary: return primary;
    case SingleInstance::Claim::reopenedOther: return handedOver;
    case SingleInstance::Claim::otherUnreachable: return unreachable;
    }
    return -1;
}
} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        m_daemon.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        QVERIFY(m_daemon.waitForStarted(5000));
        QByteArray out;
        while (!out.contains('\n')) {
            QVERIFY(m_daemon.waitForReadyRead(10000));
            out += m_daemon.readAllStandardOutput();
        }
        m_address = QString::fromUtf8(out.trimmed());
    }

    void cleanupTestCase()
    {
        m_daemon.terminate();
        m_daemon.waitForFinished(3000);
    }

    void firstStartIsPrimary()
    {
        QCOMPARE(laterStart(), int(primary));
    }

    void laterStartsReopenTheFirst()
    {
        SingleInstance first(connection(QStringLiteral("first")));
        QSignalSpy reopened(&first, &SingleInstance::reopenRequested);
        QCOMPARE(first.claim(), SingleInstance::Claim::primary);
        QCOMPARE(first.claim(), SingleInstance::Claim::primary); // asking again changes nothing

        QCOMPARE(laterStart(), int(handedOver));
        QCOMPARE(reopened.size(), 1);
        QCOMPARE(laterStart(), int(handedOver));
        QCOMPARE(reopened.size(), 2);
    }

    void nameIsFreedWhenTheFirstEnds()
    {
        {
            SingleInstance first(connection(QStringLiteral("ending")));
            QCOMPARE(first.claim(), SingleInstance::Claim::primary);
        }
        QCOMPARE(laterStart(), int(primary));
    }

    void ownerThatDoesNotAnswerIsNotReplaced()
    {
        // Something holds the name but offers no reopen: the later start must not run beside it.
        QDBusConnection squatter = connection(QStringLiteral("squatter"));
        QCOMPARE(squatter.interface()->registerService(QLatin1String(SingleInstance::serviceName)).value(),
                 QDBusConnectionInterface::ServiceRegistered);

        QCOMPARE(laterStart(), int(unreachable));
        QCOMPARE(squatter.interface()->serviceOwner(QLatin1String(SingleInstance::serviceName)).value(),
                 squatter.baseService());
        squatter.interface()->unregisterService(QLatin1String(SingleInstance::serviceName));
    }

    void withoutBusEveryStartIsPrimary()
    {
        SingleInstance alone(QDBusConnection(QStringLiteral("no-such-connection")));
        QCOMPARE(alone.claim(), SingleInstance::Claim::primary);
        QVERIFY(alone.isPrimary());
    }

private:
    QDBusConnection connection(const QString &name)
    {
        return QDBusConnection::connectToBus(m_address, name);
    }

    // Runs a later start and returns its exit code, serving calls meanwhile.
    int laterStart()
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QLatin1String(claimBusVariable), m_address);
        process.setProcessEnvironment(env);
        process.start(QCoreApplication::applicationFilePath(), {});
        if (!process.waitForStarted(5000))
            return -1;
        if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 20000))
            return -2;
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -3;
    }

    QProcess m_daemon;
    QString m_address;
};

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet(claimBusVariable))
        return runLaterStart(argc, argv);
    QCoreApplication app(argc, argv);
    SingleInstanceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleinstance.moc"
