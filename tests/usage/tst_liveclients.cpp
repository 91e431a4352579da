// labels: unit
// The real clients behind the store's seam: all six vendors fetched at once from fakes, the xAI
// login check, and the Copilot sign-in steps.
#include "usage/clients/LiveUsageClients.h"

#include "fakes/FakeHttpServer.h"
#include "fakes/ManualClock.h"
#include "UsageTestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

using namespace tavrenhold;
using namespace tavrenhold::test;
using namespace std::chrono_literals;
using Answer = FakeHttpServer::Answer;

class LiveClientsTest : public QObject {
    Q_OBJECT

    VendorFake m_fake;
    QTemporaryDir m_grokHome;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_fake.start());
        QVERIFY(m_grokHome.isValid());
        qputenv("GROK_HOME", m_grokHome.path().toUtf8());
        m_fake.endpoints.copilotClientID = QStringLiteral("cid");
        auto &s = m_fake.server;
        s.on("/api/auth/session", Answer::json(js("{'accessToken':'t'}")));
        s.on("/backend-api/wham/usage", Answer::json(js("{'rate_limit':{'primary_window':{'used_percent':11}}}")));
        s.on("/api/organizations", Answer::json(js("[{'uuid':'o'}]")));
        s.on("/api/organizations/o/usage", Answer::json(js("{'seven_day':{'utilization':22}}")));
        s.on("/_/BardChatUi/graphql/schemas/GEMINI_WEB_GRAPHQL/executeQuery",
            Answer::json(js("[{'data':{'viewer':{'rpcs':{'getUsageInfo':{'pools':[{'poolType':'GXU_WEEKLY','percentageUsed':0.33}]}}}}}]")));
        s.on("/v1/billing", Answer::json(js("{'creditUsagePercent':44}")));
        s.on("/api/usage-summary", Answer::json(js("{'individualUsage':{'plan':{'autoPercentUsed':55,'apiPercentUsed':1}}}")));
        s.on("/copilot_internal/user", Answer::json(js("{'quota_snapshots':{'chat':{'percent_remaining':34}}}")));
    }

    void allSixAtOnce()
    {
        QFile auth(m_grokHome.filePath("auth.json"));
        QVERIFY(auth.open(QIODevice::WriteOnly));
        auth.write(js("{'https://auth.x.ai':{'key':'grok-token'}}"));
        auth.close();

        const UsageClients clients = liveUsageClients(m_fake.endpoints);
        const QMap<UsageVendor, UsageSession> sessions{{UsageVendor::openai, {{"__Secure-next-auth.session-token", "a"}}},
            {UsageVendor::anthropic, {{"sessionKey", "b"}}}, {UsageVendor::google, {{"SID", "c"}}},
            {UsageVendor::xai, {{"source", "grok-cli"}}}, {UsageVendor::cursor, {{"WorkosCursorSessionToken", "d"}}},
            {UsageVendor::copilot, {{"github_token", "e"}}}};
        std::vector<QCoro::Task<UsageFetchResult>> tasks;
        for (UsageVendor v : allUsageVendors)
            tasks.push_back(clients.fetch(v, sessions.value(v), m_fake.network, CancelToken()));
        const QMap<UsageVendor, int> expected{{UsageVendor::openai, 11}, {UsageVendor::anthropic, 22},
            {UsageVendor::google, 33}, {UsageVendor::xai, 44}, {UsageVendor::cursor, 55}, {UsageVendor::copilot, 66}};
        for (size_t i = 0; i < tasks.size(); ++i) {
            const auto result = finish(std::move(tasks[i]));
            const UsageVendor v = allUsageVendors[i];
            QVERIFY2(result.ok(), qPrintable(rawValue(v) + ": " + (result.ok() ? QString() : describe(result.error()))));
            QCOMPARE(result.value().vendor, v);
            QCOMPARE(result.value().headline(UsagePeriod::vendor)->percentUsed, expected.value(v));
        }
        QCOMPARE(m_fake.server.requests().size(), 8); // two each for OpenAI and Anthropic
    }

    void grokLogin()
    {
        const UsageClients clients = liveUsageClients(m_fake.endpoints);
        QFile::remove(m_grokHome.filePath("auth.json"));
        const auto none = finish(clients.grokLogin(QDateTime::currentDateTimeUtc()));
        QVERIFY(!none.ok());
        QCOMPARE(describe(none.error()), clients.grokNoLoginMessage);
        QFile auth(m_grokHome.filePath("auth.json"));
        QVERIFY(auth.open(QIODevice::WriteOnly));
        auth.write(js("{'x':{'key':'k','expires_at':'2030-01-01T00:00:00Z'}}"));
        auth.close();
        QVERIFY(finish(clients.grokLogin(QDateTime(QDate(2029, 1, 1), QTime(), Qt::UTC))).ok());
        QCOMPARE(describe(finish(clients.grokLogin(QDateTime(QDate(2031, 1, 1), QTime(), Qt::UTC))).error()),
            QStringLiteral("Grok CLI login expired. Run `grok login` in Terminal."));
    }

    void copilotSignIn()
    {
        m_fake.server.on("/login/device/code",
            Answer::json(js("{'device_code':'dc','user_code':'UC-1','verification_uri':'https://github.com/login/device','interval':1}")));
        m_fake.server.on("/login/oauth/access_token", Answer::json(js("{'access_token':'gho_x'}")));
        ManualClock clock;
        const UsageClients clients = liveUsageClients(m_fake.endpoints, clock);
        const auto code = finish(clients.copilotDeviceCode(m_fake.network, CancelToken()));
        QVERIFY(code.ok());
        QCOMPARE(code.value().userCode, QStringLiteral("UC-1"));
        auto poll = clients.copilotPollToken(code.value(), m_fake.network, clock, CancelToken());
        QCOMPARE(clock.sleepers(), 1);
        clock.advance(1s);
        QTRY_VERIFY_WITH_TIMEOUT(poll.isReady(), 10000);
        const auto token = finish(std::move(poll));
        QVERIFY(token.ok());
        QCOMPARE(token.value(), QStringLiteral("gho_x"));
    }
};

QTEST_GUILESS_MAIN(LiveClientsTest)
#include "tst_liveclients.moc"
