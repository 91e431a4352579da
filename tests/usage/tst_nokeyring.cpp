// labels: dbus
// A session bus with no Secret Service and nothing to start one (as the program's bus in the
// end-to-end tests): every keyring job is a store error at once, long before the jobs' own
// time-out, and nothing answers under the keyring's name afterwards.
#include "fakes/TaskResult.h"

#include "platform/SecretStore.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace tavrenhold;
using namespace tavrenhold::platform;
using tavrenhold::test::resultOf;

class TestNoKeyring : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_daemon;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // A session bus without service directories: it activates nothing.
        const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<busconfig>\n"
                   "  <type>session</type>\n"
                   "  <listen>unix:tmpdir=/tmp</listen>\n"
                   "  <auth>EXTERNAL</auth>\n"
                   "  <policy context=\"default\">\n"
                   "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                   "    <allow eavesdrop=\"true\"/>\n"
                   "    <allow own=\"*\"/>\n"
                   "  </policy>\n"
                   "</busconfig>\n");
        file.close();
        m_daemon.start(QStringLiteral("dbus-daemon"),
            {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        QVERIFY(m_daemon.waitForStarted(10000));
        QVERIFY(QTest::qWaitFor([&] { return m_daemon.canReadLine(); }, 10000));
        const QByteArray address = m_daemon.readLine().trimmed();
        QVERIFY(!address.isEmpty());
        // QtKeychain's libsecret takes the session bus from the environment on first use.
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        QVERIFY(QDBusConnection::sessionBus().isConnected());
    }

    void cleanupTestCase()
    {
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }

    void everyJobFailsAtOnce()
    {
        KeychainSecretStore store; // the program's store: two-minute job time-out
        QElapsedTimer elapsed;
        elapsed.start();
        const auto read = resultOf(store.read(QStringLiteral("app.tavrenhold.test"), QStringLiteral("session")), 60000);
        QVERIFY(read.has_value());
        QVERIFY(!read->ok());
        QVERIFY(read->error().kind != SecretError::Kind::timedOut);
        const auto write = resultOf(
            store.write(QStringLiteral("app.tavrenhold.test"), QStringLiteral("session"), QStringLiteral("x")), 60000);
        QVERIFY(write && !write->ok());
        QVERIFY(write->error().kind != SecretError::Kind::timedOut);
        const auto removed = resultOf(store.remove(QStringLiteral("app.tavrenhold.test"), QStringLiteral("session")), 60000);
        QVERIFY(removed && !removed->ok());
        QVERIFY(elapsed.elapsed() < 60000);
        QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")).value());
    }
};

QTEST_GUILESS_MAIN(TestNoKeyring)
#include "tst_nokeyring.moc"
