// labels: process
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <csignal>

namespace {
const QString kLibexec = QStringLiteral(ADAPTER_LIBEXEC_DIR);
}

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
};

QTEST_GUILESS_MAIN(BusDeathTest)
#include "tst_busdeath.moc"
