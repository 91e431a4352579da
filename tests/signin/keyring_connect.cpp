// Connecting Anthropic from start to end, with nothing faked in the program: the usage store opens
// the real sign-in program on a private X server, the fake site (https://localhost, a certificate
// made here) signs the user in and answers Claude's usage requests, the session is saved in a
// private gnome-keyring (tests/peers/keyring-session.sh) and the pane shows the vendor's gauge.
#include "../usage/KeyringPeer.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakeUsageServices.h"
#include "x11/X11TestSupport.h"

#include "platform/Defaults.h"
#include "platform/SecretStore.h"
#include "platform/WebSignInProcess.h"
#include "usage/UsagePane.h"
#include "usage/UsagePaneViewModel.h"
#include "usage/UsageHTTP.h"
#include "usage/UsageStore.h"
#include "usage/VendorLoginWebSignIn.h"
#include "usage/VendorSessionStore.h"
#include "usage/clients/LiveUsageClients.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace tavrenhold;
namespace keyring = tavrenhold::test::keyring;

namespace {
constexpr int peerCeilingMs = 90000; // a web engine starting on a busy machine
} // namespace

class KeyringConnectTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_files;
    QProcess m_site;
    QString m_origin;
    QString m_certificate;
    QStringList m_requests; // "request <path> <Cookie header>", as the site printed them

    void readRequests()
    {
        while (m_site.canReadLine())
            m_requests << QString::fromUtf8(m_site.readLine().trimmed());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(keyring::inPrivateSession(), "run through tests/peers/keyring-session.sh");
        QVERIFY(keyring::unlock());
        QVERIFY(m_files.isValid());
        // The web engine takes the site's own certificate; the usage requests trust it through caFile.
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--ignore-certificate-errors");

        m_certificate = m_files.filePath(QStringLiteral("site.pem"));
        const QString key = m_files.filePath(QStringLiteral("site.key"));
        QProcess openssl;
        openssl.setStandardOutputFile(QProcess::nullDevice());
        openssl.setStandardErrorFile(QProcess::nullDevice());
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                       QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-subj"),
                       QStringLiteral("/CN=localhost"), QStringLiteral("-addext"),
                       QStringLiteral("subjectAltName=DNS:localhost,IP:127.0.0.1"), QStringLiteral("-keyout"), key,
                       QStringLiteral("-out"), m_certificate});
        QVERIFY(openssl.waitForFinished(peerCeilingMs));
        QCOMPARE(openssl.exitCode(), 0);

        m_site.setProgram(QStringLiteral("python3"));
        m_site.setArguments({QStringLiteral(SIGNIN_SITE), m_certificate, key});
        m_site.setStandardErrorFile(QProcess::nullDevice());
        test::dieWithParent(m_site);
        m_site.start();
        QVERIFY(m_site.waitForStarted(peerCeilingMs));
        QTRY_VERIFY_WITH_TIMEOUT(m_site.canReadLine(), peerCeilingMs);
        const int port = m_site.readLine().trimmed().toInt();
        QVERIFY(port > 0);
        m_origin = QStringLiteral("https://localhost:%1").arg(port);
        connect(&m_site, &QProcess::readyReadStandardOutput, this, &KeyringConnectTest::readRequests);

        // Anthropic's one origin is the site, for the sign-in page and the usage requests alike.
        QFile endpoints(m_files.filePath(QStringLiteral("endpoints.json")));
        QVERIFY(endpoints.open(QIODevice::WriteOnly));
        endpoints.write(QJsonDocument(QJsonObject{{QStringLiteral("anthropic.web"), m_origin},
                                                  {QStringLiteral("caFile"), m_certificate}})
                            .toJson());
        endpoints.close();
        qputenv("TAVRENHOLD_USAGE_ENDPOINTS", endpoints.fileName().toUtf8());
    }

    void cleanupTestCase()
    {
        m_site.kill();
        m_site.waitForFinished(10000);
    }

    // beginConnect(anthropic): the sign-in window ends itself on the session cookie, the first
    // fetch reaches the site with it, the session (empty cookies left out) lands in the keyring,
    // the vendor is connected and its gauge shows the site's figure; the sign-in program is gone.
    void connectAnthropicEndToEnd()
    {
        QStringList problems;
        const UsageEndpoints endpoints = UsageEndpoints::fromFile(qEnvironmentVariable("TAVRENHOLD_USAGE_ENDPOINTS"), &problems);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
        QCOMPARE(endpoints.anthropicWeb, m_origin);

        QList<QPointer<platform::WebSignInProcess>> windows;
        VendorLoginWebSignIn web(
            VendorLoginController::Services{&Clock::system(),
                                            [&windows]() -> std::unique_ptr<platform::WebSignInWindow> {
                                                auto window = std::make_unique<platform::WebSignInProcess>(
                                                    QStringLiteral(SIGNIN_PROGRAM));
                                                windows.append(window.get());
                                                return window;
                                            },
                                            UsageHTTP::browserUserAgent},
            endpoints);
        platform::Defaults defaults(m_files.filePath(QStringLiteral("defaults.json")));
        platform::KeychainSecretStore keychain;
        test::FakeUrlOpener urls;
        test::FakePasteboard pasteboard;
        QNetworkAccessManager network;
        UsageStore store(UsageStoreServices{
            .defaults = defaults,
            .secrets = keychain,
            .clock = Clock::system(),
            .clients = liveUsageClients(endpoints),
            .webSignIn = &web,
            .urlOpener = urls,
            .clipboard = [&pasteboard]() -> platform::Pasteboard & { return pasteboard; },
            .network = network,
        });
        UsagePane pane(store);
        UsagePaneViewModel view;
        view.setStore(&store);
        QTRY_VERIFY_WITH_TIMEOUT(store.isStarted(), peerCeilingMs);
        QVERIFY(!view.connected());

        store.beginConnect(UsageVendor::anthropic);
        QTRY_VERIFY_WITH_TIMEOUT(store.state(UsageVendor::anthropic) != UsageAuthState::connecting, peerCeilingMs);
        QVERIFY2(store.loginError().value_or(QString()).isEmpty(), qPrintable(store.loginError().value_or(QString())));
        QCOMPARE(store.state(UsageVendor::anthropic), UsageAuthState::connected);
        QCOMPARE(store.connectedVendors(), QList<UsageVendor>{UsageVendor::anthropic});
        QCOMPARE(windows.size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(windows.constFirst().isNull(), peerCeilingMs);

        // Claude's requests carried the session key the site set, and nothing else.
        QTRY_VERIFY_WITH_TIMEOUT(m_requests.size() >= 2, peerCeilingMs);
        QCOMPARE(m_requests.mid(0, 2),
                 (QStringList{QStringLiteral("request /api/organizations sessionKey=sk-ant-local"),
                              QStringLiteral("request /api/organizations/org-local/usage sessionKey=sk-ant-local")}));

        // The item another program finds: the vendor's cookies, the empty one left out.
        QCOMPARE(keyring::lookup(VendorSessionStore::service(UsageVendor::anthropic), VendorSessionStore::account),
                 std::optional<QByteArray>("{\"sessionKey\":\"sk-ant-local\",\"theme\":\"dark\"}"));

        // The pane: taller, live in the collapsed bar, one gauge with the 5-hour figure.
        QVERIFY(view.connected());
        QCOMPARE(pane.contentHeight(), UsagePane::connectedHeight);
        QVERIFY(pane.idle().isLive);
        QCOMPARE(view.gauges().size(), 1);
        const QVariantMap gauge = view.gauges().constFirst().toMap();
        QCOMPARE(gauge.value(QStringLiteral("vendor")).toString(), QStringLiteral("anthropic"));
        QCOMPARE(gauge.value(QStringLiteral("percent")).toInt(), 37);
    }
};

int main(int argc, char **argv) { return tavrenhold::test::runOnPrivateDisplay<KeyringConnectTest>(argc, argv); }
#include "keyring_connect.moc"
