// labels: dbus
// A Secret Service that never answers (as when an unlock prompt waits for a user who is away):
// every keyring job becomes a store error after the store's own time-out, and the jobs behind it
// do too. An unfinished QtKeychain job reads as "no error, no data", which must never pass for
// an answer.
#include "fakes/TaskResult.h"

#include "platform/SecretStore.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QTest>

using namespace tavrenhold;
using namespace tavrenhold::platform;
using tavrenhold::test::resultOf;
using namespace std::chrono_literals;

namespace {
// Takes every call and never replies.
class SilentService final : public QDBusVirtualObject {
public:
    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
        ++calls;
        held << message; // kept, so the caller waits for ever
        return true;
    }
    int calls = 0;
    QList<QDBusMessage> held;
};
} // namespace

class TestSecretTimeout : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        m_daemon.setStandardErrorFile(QProcess::nullDevice());
        m_daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                       QStringLiteral("--print-address=1")});
        QVERIFY(m_daemon.waitForStarted(10000));
        QVERIFY(QTest::qWaitFor([&] { return m_daemon.canReadLine(); }, 10000));
        const QByteArray address = m_daemon.readLine().trimmed();
        QVERIFY(!address.isEmpty());
        // QtKeychain's libsecret takes the session bus from the environment on first use.
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        QDBusConnection bus = QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("silent"));
        QVERIFY(bus.isConnected());
        QVERIFY(bus.registerVirtualObject(QStringLiteral("/org/freedesktop/secrets"), &m_service, QDBusConnection::SubPath));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.secrets")));
    }

    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("silent"));
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }

    void hungJobsAreStoreErrors()
    {
        KeychainSecretStore store(300ms, QDBusConnection(QStringLiteral("silent")));
        const auto read = resultOf(store.read(QStringLiteral("app.tavrenhold.test"), QStringLiteral("session")), 20000);
        QVERIFY(read.has_value());
        QVERIFY(!read->ok());
        QCOMPARE(read->error(), (SecretError{SecretError::Kind::timedOut, 7}));
        // The request reaches the service even when the time-out came first (a busy machine).
        QTRY_VERIFY_WITH_TIMEOUT(m_service.calls > 0, 10000);

        // The first job still hangs inside QtKeychain; what comes behind it fails in time as well.
        const auto write = resultOf(store.write(QStringLiteral("app.tavrenhold.test"), QStringLiteral("session"),
                                                QStringLiteral("x")), 20000);
        QVERIFY(write && !write->ok());
        QCOMPARE(write->error().kind, SecretError::Kind::timedOut);
        const auto removed = resultOf(store.remove(QStringLiteral("app.tavrenhold.test"), QStringLiteral("session")), 20000);
        QVERIFY(removed && !removed->ok());
    }

private:
    QProcess m_daemon;
    SilentService m_service;
};

QTEST_GUILESS_MAIN(TestSecretTimeout)
#include "tst_secrettimeout.moc"
