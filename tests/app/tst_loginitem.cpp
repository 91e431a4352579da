// labels: unit
#include "app/LoginItem.h"
#include "fakes/FakeLoginService.h"
#include "platform/Defaults.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace tavrenhold;
using platform::Defaults;
using platform::LoginStatus;
using test::FakeLoginService;

Q_DECLARE_METATYPE(tavrenhold::platform::LoginStatus)

namespace {
const QString kConfigured = QStringLiteral("launchAtLogin.configured");
}

class LoginItemTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void setEnabled_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<LoginStatus>("status");
        QTest::addColumn<bool>("enable");
        QTest::addColumn<bool>("serviceSucceeds");
        QTest::addColumn<bool>("result");
        QTest::addColumn<int>("registers");
        QTest::addColumn<int>("unregisters");

        QTest::newRow("outside a prefix, on") << false << LoginStatus::notRegistered << true << true << false << 0 << 0;
        QTest::newRow("outside a prefix, off") << false << LoginStatus::enabled << false << true << false << 0 << 0;
        QTest::newRow("on when enabled") << true << LoginStatus::enabled << true << true << true << 0 << 0;
        QTest::newRow("on when not registered") << true << LoginStatus::notRegistered << true << true << true << 1 << 0;
        QTest::newRow("on when awaiting approval") << true << LoginStatus::requiresApproval << true << true << true << 1
                                                   << 0;
        QTest::newRow("on when not found") << true << LoginStatus::notFound << true << true << true << 1 << 0;
        QTest::newRow("on, refused") << true << LoginStatus::notRegistered << true << false << false << 1 << 0;
        QTest::newRow("off, never registered") << true << LoginStatus::notRegistered << false << true << true << 0 << 0;
        QTest::newRow("off when not found") << true << LoginStatus::notFound << false << true << true << 0 << 0;
        QTest::newRow("off when enabled") << true << LoginStatus::enabled << false << true << true << 0 << 1;
        QTest::newRow("off when awaiting approval") << true << LoginStatus::requiresApproval << false << true << true
                                                    << 0 << 1;
        QTest::newRow("off, refused") << true << LoginStatus::enabled << false << false << false << 0 << 1;
    }
    void setEnabled()
    {
        QFETCH(bool, installed);
        QFETCH(LoginStatus, status);
        QFETCH(bool, enable);
        QFETCH(bool, serviceSucceeds);
        QFETCH(bool, result);
        QFETCH(int, registers);
        QFETCH(int, unregisters);
        FakeLoginService service;
        service.installed = installed;
        service.currentStatus = status;
        service.registerSucceeds = serviceSucceeds;
        service.unregisterSucceeds = serviceSucceeds;
        LoginItem item(service);

        QCOMPARE(item.setEnabled(enable), result);
        QCOMPARE(service.registerCalls, registers);
        QCOMPARE(service.unregisterCalls, unregisters);
        if (!installed)
            QCOMPARE(service.statusCalls, 0);
    }

    void firstLaunchDefault_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<LoginStatus>("status");
        QTest::addColumn<int>("registers");
        QTest::addColumn<bool>("configuredAfter");

        QTest::newRow("first launch") << true << QByteArray("{}") << LoginStatus::notRegistered << 1 << true;
        QTest::newRow("configured") << true << QByteArray(R"({"launchAtLogin.configured": true})")
                                    << LoginStatus::notRegistered << 0 << true;
        QTest::newRow("configured as text") << true << QByteArray(R"({"launchAtLogin.configured": "YES"})")
                                            << LoginStatus::notRegistered << 0 << true;
        QTest::newRow("stored false") << true << QByteArray(R"({"launchAtLogin.configured": false})")
                                      << LoginStatus::notRegistered << 1 << true;
        QTest::newRow("already enabled by hand") << true << QByteArray("{}") << LoginStatus::enabled << 0 << true;
        QTest::newRow("outside a prefix") << false << QByteArray("{}") << LoginStatus::notRegistered << 0 << false;
    }
    void firstLaunchDefault()
    {
        QFETCH(bool, installed);
        QFETCH(QByteArray, stored);
        QFETCH(LoginStatus, status);
        QFETCH(int, registers);
        QFETCH(bool, configuredAfter);
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.json");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(stored);
        }
        Defaults defaults(path);
        FakeLoginService service;
        service.installed = installed;
        service.currentStatus = status;
        bool configuredWhenRegistering = false;
        service.onRegister = [&] { configuredWhenRegistering = Defaults(path).boolean(kConfigured); };
        LoginItem item(service);

        item.applyDefaultOnFirstLaunch(defaults);
        item.applyDefaultOnFirstLaunch(defaults);

        QCOMPARE(service.registerCalls, registers);
        QCOMPARE(service.unregisterCalls, 0);
        if (registers > 0)
            QVERIFY2(configuredWhenRegistering, "registered before the key reached the file");
        QCOMPARE(Defaults(path).boolean(kConfigured), configuredAfter);
    }

    // A registration that fails at the first launch is not tried again at the next one.
    void failedFirstRegistrationIsNotRetried()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.json");
        FakeLoginService service;
        service.registerSucceeds = false;
        {
            Defaults defaults(path);
            LoginItem(service).applyDefaultOnFirstLaunch(defaults);
        }
        Defaults nextLaunch(path);
        LoginItem(service).applyDefaultOnFirstLaunch(nextLaunch);
        QCOMPARE(service.registerCalls, 1);
        QVERIFY(nextLaunch.boolean(kConfigured));
    }
};

int main(int argc, char **argv)
{
    // Nothing here may reach the user's own settings or autostart folder.
    QTemporaryDir home;
    for (const char *var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(var, QFile::encodeName(home.filePath(QString::fromLatin1(var))));
    QGuiApplication app(argc, argv);
    LoginItemTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_loginitem.moc"
