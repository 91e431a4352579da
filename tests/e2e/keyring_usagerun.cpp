// The built program with six connected usage vendors: the hosts come from
// TAVRENHOLD_USAGE_ENDPOINTS (every one a fake on 127.0.0.1 in this process), the sessions from a
// private gnome-keyring (tests/peers/keyring-session.sh) and the connections from the settings
// file. Its first refresh reaches every vendor with that vendor's requests.
#include "ProgramRig.h"
#include "fakes/FakeHttpServer.h"
#include "../usage/KeyringPeer.h"

#include "platform/Defaults.h"
#include "usage/UsageModels.h"
#include "usage/UsageStore.h"
#include "usage/VendorSessionStore.h"

#include <QJsonArray>

using namespace tavrenhold;
using tavrenhold::test::FakeHttpServer;
using tavrenhold::test::ProgramRig;
using Answer = FakeHttpServer::Answer;


namespace {
QByteArray js(const char *text) { return QByteArray(text).replace('\'', '"'); }

const QByteArray geminiPath = "/_/BardChatUi/graphql/schemas/GEMINI_WEB_GRAPHQL/executeQuery";

UsageSession sessionOf(UsageVendor vendor)
{
    switch (vendor) {
    case UsageVendor::openai: return {{QStringLiteral("__Secure-next-auth.session-token"), QStringLiteral("o-1")}};
    case UsageVendor::anthropic: return {{QStringLiteral("sessionKey"), QStringLiteral("sk-ant-1")}};
    case UsageVendor::google: return {{QStringLiteral("SID"), QStringLiteral("s")}, {QStringLiteral("__Secure-1PSID"), QStringLiteral("p")}};
    case UsageVendor::xai: return UsageStore::grokMarker();
    case UsageVendor::cursor: return {{QStringLiteral("WorkosCursorSessionToken"), QStringLiteral("user_1%3A%3Ahead.body.sig")}};
    case UsageVendor::copilot: return {{QStringLiteral("github_token"), QStringLiteral("gho_1")}};
    }
    return {};
}
} // namespace

class UsageRunTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeHttpServer> m_fake;
    QTemporaryDir m_files;

    [[nodiscard]] std::optional<FakeHttpServer::Request> requestTo(const QByteArray &path) const
    {
        for (const auto &r : m_fake->requests())
            if (r.path() == path)
                return r;
        return std::nullopt;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(tavrenhold::test::keyring::inPrivateSession(), "run through tests/peers/keyring-session.sh");
        QVERIFY(tavrenhold::test::keyring::unlock());
        QVERIFY(m_files.isValid());
    }

    // Over https the program trusts the fake's certificate through the endpoints file's caFile.
    void firstRefreshReachesEveryVendor_data()
    {
        QTest::addColumn<bool>("tls");
        QTest::newRow("http") << false;
        QTest::newRow("https, caFile") << true;
    }
    void firstRefreshReachesEveryVendor()
    {
        QFETCH(bool, tls);
        FakeHttpServer::Tls certificate;
        if (tls) {
            certificate = FakeHttpServer::makeCertificate(m_files.path());
            QVERIFY(!certificate.certificateFile.isEmpty());
            m_fake = std::make_unique<FakeHttpServer>(certificate);
        } else {
            m_fake = std::make_unique<FakeHttpServer>();
        }
        auto &s = *m_fake;
        QVERIFY(s.listen());
        s.on("/api/auth/session", Answer::json(js("{'accessToken':'tok'}")));
        s.on("/backend-api/wham/usage", Answer::json(js("{'rate_limit':{'primary_window':{'used_percent':11}}}")));
        s.on("/api/organizations", Answer::json(js("[{'uuid':'org-1'}]")));
        s.on("/api/organizations/org-1/usage", Answer::json(js("{'seven_day':{'utilization':22}}")));
        s.on(geminiPath, Answer::json(js("[{'data':{'viewer':{'rpcs':{'getUsageInfo':{'pools':[]}}}}}]")));
        s.on("/v1/billing", Answer::json(js("{'creditUsagePercent':44}")));
        s.on("/api/usage-summary", Answer{401, {}});
        s.on("/aiserver.v1.DashboardService/GetCurrentPeriodUsage",
            Answer::json(js("{'planUsage':{'autoPercentUsed':3,'apiPercentUsed':4}}")));
        s.on("/copilot_internal/user", Answer::json(js("{'quota_snapshots':{'chat':{'percent_remaining':34}}}")));

        // Every host of every vendor is the fake.
        QJsonObject hosts;
        for (const char *key : {"openai.web", "openai.api", "anthropic.web", "google.web", "google.accounts", "xai.proxy",
                 "xai.auth", "xai.accounts", "cursor.web", "cursor.api", "cursor.authenticator", "copilot.web",
                 "copilot.api"})
            hosts.insert(QLatin1String(key), s.origin());
        hosts.insert(QStringLiteral("copilot.clientID"), QStringLiteral("cid"));
        if (tls)
            hosts.insert(QStringLiteral("caFile"), certificate.certificateFile);
        QFile endpoints(m_files.filePath(QStringLiteral("endpoints.json")));
        QVERIFY(endpoints.open(QIODevice::WriteOnly));
        endpoints.write(QJsonDocument(hosts).toJson());
        endpoints.close();
        qputenv("TAVRENHOLD_USAGE_ENDPOINTS", endpoints.fileName().toUtf8());

        // The Grok tool's login, under the xai.auth origin.
        QFile grok(m_files.filePath(QStringLiteral("auth.json")));
        QVERIFY(grok.open(QIODevice::WriteOnly));
        grok.write(QJsonDocument(QJsonObject{{s.origin(), QJsonObject{{QStringLiteral("key"), QStringLiteral("grok-1")}}}}).toJson());
        grok.close();
        qputenv("GROK_HOME", m_files.path().toUtf8());

        // Sessions in the keyring, as the program stored them; connections in the settings file.
        QJsonArray connections;
        for (UsageVendor vendor : allUsageVendors) {
            QVERIFY(tavrenhold::test::keyring::store(VendorSessionStore::service(vendor), VendorSessionStore::account,
                VendorSessionStore::encode(sessionOf(vendor))));
            connections.append(QJsonObject{{QStringLiteral("vendor"), rawValue(vendor)}, {QStringLiteral("state"), QStringLiteral("connected")}});
        }
        ProgramRig rig;
        QVERIFY(rig.useSessionBus());
        QVERIFY(QDir().mkpath(QFileInfo(rig.defaultsPath()).absolutePath()));
        {
            platform::Defaults defaults(rig.defaultsPath());
            defaults.setData(QStringLiteral("usage.connections"), QJsonDocument(connections).toJson(QJsonDocument::Compact));
        }

        rig.start();
        QVERIFY2(rig.program.waitForStarted(10000), qPrintable(rig.program.errorString()));
        const QList<QByteArray> paths{"/api/auth/session", "/backend-api/wham/usage", "/api/organizations",
            "/api/organizations/org-1/usage", geminiPath, "/v1/billing", "/api/usage-summary",
            "/aiserver.v1.DashboardService/GetCurrentPeriodUsage", "/copilot_internal/user"};
        const auto allReached = [&] {
            for (const QByteArray &path : paths)
                if (!requestTo(path))
                    return false;
            return true;
        };
        const bool reached = QTest::qWaitFor(allReached, 60000);
        if (!reached) {
            QByteArrayList seen;
            for (const auto &r : s.requests())
                seen << r.method + ' ' + r.target;
            QFAIL(qPrintable("requests seen: " + seen.join(", ") + "\nstderr: " + rig.program.readAllStandardError()));
        }
        QCOMPARE(rig.program.state(), QProcess::Running);

        const auto session = *requestTo("/api/auth/session");
        QCOMPARE(session.method, QByteArray("GET"));
        QCOMPARE(session.header("Cookie"), QByteArray("__Secure-next-auth.session-token=o-1"));
        QCOMPARE(session.header("Referer"), (s.origin() + "/codex/settings/usage").toUtf8());
        QCOMPARE(requestTo("/backend-api/wham/usage")->header("Authorization"), QByteArray("Bearer tok"));

        for (const QByteArray &path : {QByteArray("/api/organizations"), QByteArray("/api/organizations/org-1/usage")}) {
            const auto r = *requestTo(path);
            QCOMPARE(r.method, QByteArray("GET"));
            QCOMPARE(r.header("Cookie"), QByteArray("sessionKey=sk-ant-1"));
        }

        const auto gemini = *requestTo(geminiPath);
        QCOMPARE(gemini.method, QByteArray("GET"));
        QCOMPARE(gemini.header("Cookie"), QByteArray("SID=s; __Secure-1PSID=p"));
        QVERIFY(gemini.query().contains("query_signature="));

        const auto billing = *requestTo("/v1/billing");
        QCOMPARE(billing.target, QByteArray("/v1/billing?format=credits"));
        QCOMPARE(billing.header("Authorization"), QByteArray("Bearer grok-1"));
        QCOMPARE(billing.header("x-xai-token-auth"), QByteArray("xai-grok-cli"));

        QCOMPARE(requestTo("/api/usage-summary")->header("Cookie"), QByteArray("WorkosCursorSessionToken=user_1%3A%3Ahead.body.sig"));
        const auto rpc = *requestTo("/aiserver.v1.DashboardService/GetCurrentPeriodUsage");
        QCOMPARE(rpc.method, QByteArray("POST"));
        QCOMPARE(rpc.header("Authorization"), QByteArray("Bearer head.body.sig"));
        QVERIFY(!rpc.has("Cookie"));

        const auto copilot = *requestTo("/copilot_internal/user");
        QCOMPARE(copilot.method, QByteArray("GET"));
        QCOMPARE(copilot.header("Authorization"), QByteArray("token gho_1"));
        QCOMPARE(copilot.header("X-Github-Api-Version"), QByteArray("2025-04-01"));

        // One refresh: each request once.
        QCOMPARE(s.requests().size(), paths.size());

        rig.program.terminate();
        QVERIFY(rig.program.waitForFinished(10000));
        QCOMPARE(rig.program.exitCode(), 0);
    }
};

int main(int argc, char **argv)
{
    return tavrenhold::test::runOnPrivateDisplay<UsageRunTest>(argc, argv);
}

#include "keyring_usagerun.moc"
