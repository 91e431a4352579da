// labels: unit
// The usage store over the real vendor clients, each vendor faked on 127.0.0.1: connecting xAI and
// Copilot, one refresh of all six, Cursor's fallback, a Grok login that expired, and redirects to
// another origin that must carry no credential.
#include "StoreRig.h"
#include "UsageTestSupport.h"

#include "usage/clients/GrokUsageClient.h"
#include "usage/clients/LiveUsageClients.h"

#include <QCoroTask>
#include <QFile>

using namespace tavrenhold;
using namespace tavrenhold::test;
using namespace std::chrono_literals;
using Answer = FakeHttpServer::Answer;

namespace {
const QByteArray geminiPath = "/_/BardChatUi/graphql/schemas/GEMINI_WEB_GRAPHQL/executeQuery";
const QByteArray cursorRpcPath = "/aiserver.v1.DashboardService/GetCurrentPeriodUsage";

std::optional<int> vendorPercent(const UsageStore &store, UsageVendor vendor)
{
    const auto report = store.report(vendor);
    if (!report)
        return std::nullopt;
    const auto headline = report->headline(UsagePeriod::vendor);
    if (!headline)
        return std::nullopt;
    return headline->percentUsed;
}
} // namespace

class StoreClientsTest : public QObject {
    Q_OBJECT

    // Made anew for each test, so that a request still on its way from the previous test's store
    // reaches a server nobody counts.
    std::unique_ptr<FakeHttpServer> m_server;
    std::unique_ptr<FakeHttpServer> m_other;
    UsageEndpoints m_endpoints;
    QTemporaryDir m_grokHome;
    std::unique_ptr<StoreRig> m_rig;

    StoreRig &rig() { return *m_rig; }

    void writeGrokLogin(const QByteArray &json)
    {
        QFile auth(m_grokHome.filePath(QStringLiteral("auth.json")));
        QVERIFY(auth.open(QIODevice::WriteOnly | QIODevice::Truncate));
        auth.write(json);
    }

    // Every vendor answers with a figure of its own.
    void answerEveryVendor()
    {
        m_server->on("/api/auth/session", Answer::json(js("{'accessToken':'t'}")));
        m_server->on("/backend-api/wham/usage", Answer::json(js("{'rate_limit':{'primary_window':{'used_percent':11}}}")));
        m_server->on("/api/organizations", Answer::json(js("[{'uuid':'o'}]")));
        m_server->on("/api/organizations/o/usage", Answer::json(js("{'seven_day':{'utilization':22}}")));
        m_server->on(geminiPath, Answer::json(js(
            "[{'data':{'viewer':{'rpcs':{'getUsageInfo':{'pools':[{'poolType':'GXU_WEEKLY','percentageUsed':0.33}]}}}}}]")));
        m_server->on("/v1/billing", Answer::json(js("{'creditUsagePercent':44}")));
        m_server->on("/api/usage-summary", Answer::json(js("{'individualUsage':{'plan':{'autoPercentUsed':55,'apiPercentUsed':1}}}")));
        m_server->on(cursorRpcPath, Answer::json(js("{'planUsage':{'autoPercentUsed':3,'apiPercentUsed':4}}")));
        m_server->on("/copilot_internal/user", Answer::json(js("{'quota_snapshots':{'chat':{'percent_remaining':34}}}")));
    }

    [[nodiscard]] QList<FakeHttpServer::Request> requestsTo(const QByteArray &path) const
    {
        QList<FakeHttpServer::Request> found;
        for (const auto &r : m_server->requests())
            if (r.path() == path)
                found << r;
        return found;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_grokHome.isValid());
        qputenv("GROK_HOME", m_grokHome.path().toUtf8());
        m_endpoints.copilotClientID = QStringLiteral("cid");
    }

    void init()
    {
        m_server = std::make_unique<FakeHttpServer>();
        m_other = std::make_unique<FakeHttpServer>();
        QVERIFY(m_server->listen());
        QVERIFY(m_other->listen());
        const QString o = m_server->origin();
        for (QString *field : {&m_endpoints.openaiWeb, &m_endpoints.openaiApi, &m_endpoints.anthropicWeb,
                 &m_endpoints.googleWeb, &m_endpoints.xaiProxy, &m_endpoints.cursorWeb, &m_endpoints.cursorApi,
                 &m_endpoints.copilotWeb, &m_endpoints.copilotApi})
            *field = o;
        answerEveryVendor();
        writeGrokLogin(js("{'https://auth.x.ai':{'key':'grok-token'}}"));
        m_rig = std::make_unique<StoreRig>();
        m_rig->liveClients = liveUsageClients(m_endpoints, m_rig->clock);
    }
    void cleanup()
    {
        m_rig.reset();
        m_other.reset();
        m_server.reset();
    }

    // Connecting xAI checks the Grok tool's login file and keeps only the marker in the keyring.
    void connectGrok_data()
    {
        QTest::addColumn<bool>("loggedIn");
        QTest::newRow("login file") << true;
        QTest::newRow("no login file") << false;
    }
    void connectGrok()
    {
        QFETCH(bool, loggedIn);
        if (!loggedIn)
            QVERIFY(QFile::remove(m_grokHome.filePath(QStringLiteral("auth.json"))));
        UsageStore &store = rig().makeSettled();
        store.beginConnect(UsageVendor::xai);
        if (!loggedIn) {
            QTRY_VERIFY_WITH_TIMEOUT(store.loginError().has_value(), 10000);
            QCOMPARE(*store.loginError(), QStringLiteral("No Grok CLI login. Install Grok (x.ai/cli), run `grok login` "
                                                         "in Terminal, then connect xAI."));
            QVERIFY(!store.connections().contains(UsageVendor::xai));
            QVERIFY(!rig().hasItem(UsageVendor::xai));
            QVERIFY(m_server->requests().isEmpty());
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(store.connectedVendors() == QList<UsageVendor>{UsageVendor::xai}, 10000);
        QCOMPARE(rig().secrets.item(VendorSessionStore::service(UsageVendor::xai)),
            std::optional<QString>(QString::fromUtf8(VendorSessionStore::encode(UsageStore::grokMarker()))));
        // The connect's own fetch, then the first refresh of the polling loop it started: both with
        // the login file's token.
        QCOMPARE(vendorPercent(store, UsageVendor::xai), std::optional<int>(44));
        QTRY_COMPARE_WITH_TIMEOUT(requestsTo("/v1/billing").size(), 2, 10000);
        for (const auto &billing : requestsTo("/v1/billing"))
            QCOMPARE(billing.header("Authorization"), QByteArray("Bearer grok-token"));
        QVERIFY(!store.loginError());
    }

    // The device code goes to the clipboard and the verification page to the URL opener; the token
    // the poll gets is the keyring item, and the refresh after connecting uses it.
    void connectCopilot()
    {
        m_server->on("/login/device/code", Answer::json(js("{'device_code':'dc','user_code':'UC-1',"
                                                          "'verification_uri':'https://github.com/login/device',"
                                                          "'interval':5,'expires_in':900}")));
        m_server->on("/login/oauth/access_token",
            QList<Answer>{Answer::json(js("{'error':'authorization_pending'}")), Answer::json(js("{'access_token':'gho_x'}"))});
        UsageStore &store = rig().makeSettled();
        store.beginConnect(UsageVendor::copilot);
        QTRY_COMPARE_WITH_TIMEOUT(store.copilotUserCode(), std::optional<QString>(QStringLiteral("UC-1")), 10000);
        QVERIFY(!rig().pasteboard.writes().empty());
        QCOMPARE(rig().pasteboard.writes().back().text, std::optional<QString>(QStringLiteral("UC-1")));
        QCOMPARE(rig().urls.opened, QList<QUrl>{QUrl(QStringLiteral("https://github.com/login/device"))});

        // Two polls, each after the interval on the store's clock. The poll's own sleep is waited for:
        // while a request is out, its time-out sleeps on the same clock.
        for (int poll = 1; poll <= 2; ++poll) {
            QTRY_VERIFY_WITH_TIMEOUT(rig().clock.hasSleeperUntil(rig().clock.now() + 5s), 10000);
            QCOMPARE(requestsTo("/login/oauth/access_token").size(), poll - 1);
            rig().clock.advance(5s);
            QTRY_COMPARE_WITH_TIMEOUT(requestsTo("/login/oauth/access_token").size(), poll, 10000);
        }
        QTRY_VERIFY_WITH_TIMEOUT(store.connectedVendors() == QList<UsageVendor>{UsageVendor::copilot}, 10000);
        QCOMPARE(rig().secrets.item(VendorSessionStore::service(UsageVendor::copilot)),
            std::optional<QString>(QStringLiteral("{\"github_token\":\"gho_x\"}")));
        QVERIFY(!store.copilotUserCode());
        QCOMPARE(requestsTo("/login/device/code")[0].body, QByteArray("client_id=cid&scope=read%3Auser"));

        QTRY_COMPARE_WITH_TIMEOUT(vendorPercent(store, UsageVendor::copilot), std::optional<int>(66), 10000);
        QCOMPARE(requestsTo("/copilot_internal/user")[0].header("Authorization"), QByteArray("token gho_x"));
        QVERIFY(!store.loginError());
    }

    // Start-up's refresh asks every vendor at once and applies the six reports together.
    void refreshAllSix()
    {
        for (UsageVendor vendor : allUsageVendors)
            rig().storeConnected(vendor);
        int refreshEnds = 0;
        rig().make();
        connect(rig().store.get(), &UsageStore::isRefreshingChanged, this, [&] { refreshEnds += rig().store->isRefreshing() ? 0 : 1; });
        rig().settle();
        UsageStore &store = *rig().store;
        QCOMPARE(refreshEnds, 1);
        QVERIFY2(store.errors().isEmpty(), qPrintable(store.lastError().value_or(QString())));
        const QMap<UsageVendor, int> expected{{UsageVendor::openai, 11}, {UsageVendor::anthropic, 22},
            {UsageVendor::google, 33}, {UsageVendor::xai, 44}, {UsageVendor::cursor, 55}, {UsageVendor::copilot, 66}};
        for (UsageVendor vendor : allUsageVendors)
            QCOMPARE(vendorPercent(store, vendor), std::optional<int>(expected.value(vendor)));
        QCOMPARE(m_server->requests().size(), 8); // two each for OpenAI and Anthropic
        QVERIFY(store.lastRefreshedAt().has_value());
    }

    // A refused summary falls back to the RPC with the token cut from the session cookie.
    void cursorFallsBackToRpc()
    {
        m_server->on("/api/usage-summary", Answer{401, {}});
        rig().storeConnections({{QStringLiteral("cursor"), QStringLiteral("connected")}});
        rig().storeSession(UsageVendor::cursor,
            session({{QStringLiteral("WorkosCursorSessionToken"), QStringLiteral("user_1%3A%3Ahead.body.sig")}}));
        UsageStore &store = rig().makeSettled();
        QVERIFY(store.errors().isEmpty());
        QCOMPARE(vendorPercent(store, UsageVendor::cursor), std::optional<int>(4));
        QCOMPARE(m_server->requests().size(), 2);
        const auto &rpc = m_server->requests()[1];
        QCOMPARE(rpc.path(), cursorRpcPath);
        QCOMPARE(rpc.header("Authorization"), QByteArray("Bearer head.body.sig"));
        QVERIFY(!rpc.has("Cookie"));
        QCOMPARE(store.connectedVendors(), QList<UsageVendor>{UsageVendor::cursor});
    }

    // A Grok login that stopped working shows what to do and keeps the last report.
    void grokLoginExpiredKeepsReport()
    {
        rig().storeConnected(UsageVendor::xai);
        UsageStore &store = rig().makeSettled();
        QCOMPARE(vendorPercent(store, UsageVendor::xai), std::optional<int>(44));

        m_server->on("/v1/billing", Answer{401, {}});
        rig().clock.advance(UsageStore::pollInterval);
        QTRY_COMPARE_WITH_TIMEOUT(requestsTo("/v1/billing").size(), 2, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!store.isRefreshing(), 10000);
        QCOMPARE(store.errors().value(UsageVendor::xai), GrokUsageClient::loginExpiredText);
        QCOMPARE(store.lastError(), std::optional<QString>(GrokUsageClient::loginExpiredText));
        QCOMPARE(vendorPercent(store, UsageVendor::xai), std::optional<int>(44));
        QCOMPARE(store.connectedVendors(), QList<UsageVendor>{UsageVendor::xai});
        QVERIFY(rig().hasItem(UsageVendor::xai));
    }

    // Vendors that never answer time out together: the refresh ends when the longest time-out of
    // its vendors has passed (on the injected clock), with each vendor's time-out text, however many
    // vendors hang. In the program every vendor has a host (and port) of its own; Cursor waits 60 s
    // for its own requests, the others 20 s.
    void hangingVendorsTimeOutTogether_data()
    {
        QTest::addColumn<QList<UsageVendor>>("vendors");
        QTest::addColumn<bool>("ownHosts");
        QTest::addColumn<int>("seconds");
        QTest::newRow("one") << QList<UsageVendor>{UsageVendor::anthropic} << false << 20;
        QTest::newRow("two") << QList<UsageVendor>{UsageVendor::anthropic, UsageVendor::openai} << false << 20;
        QTest::newRow("four") << QList<UsageVendor>{UsageVendor::anthropic, UsageVendor::copilot, UsageVendor::google,
                                                    UsageVendor::openai}
                              << false << 20;
        QTest::newRow("two, own hosts") << QList<UsageVendor>{UsageVendor::anthropic, UsageVendor::openai} << true << 20;
        QTest::newRow("five, own hosts") << QList<UsageVendor>{UsageVendor::anthropic, UsageVendor::copilot,
                                                               UsageVendor::cursor, UsageVendor::google,
                                                               UsageVendor::openai}
                                         << true << 60;
    }
    void hangingVendorsTimeOutTogether()
    {
        QFETCH(QList<UsageVendor>, vendors);
        QFETCH(bool, ownHosts);
        QFETCH(int, seconds);
        const auto hangEverywhere = [](FakeHttpServer &server) {
            for (const QByteArray &path : {QByteArray("/api/auth/session"), QByteArray("/api/organizations"), geminiPath,
                     QByteArray("/copilot_internal/user"), QByteArray("/api/usage-summary")})
                server.on(path, Answer{200, {}, {}, true});
        };
        std::vector<std::unique_ptr<FakeHttpServer>> hosts;
        if (ownHosts) {
            for (UsageVendor vendor : vendors) {
                auto &host = *hosts.emplace_back(std::make_unique<FakeHttpServer>());
                QVERIFY(host.listen());
                hangEverywhere(host);
                const QString o = host.origin();
                switch (vendor) {
                case UsageVendor::openai: m_endpoints.openaiWeb = m_endpoints.openaiApi = o; break;
                case UsageVendor::anthropic: m_endpoints.anthropicWeb = o; break;
                case UsageVendor::google: m_endpoints.googleWeb = o; break;
                case UsageVendor::xai: m_endpoints.xaiProxy = o; break;
                case UsageVendor::cursor: m_endpoints.cursorWeb = m_endpoints.cursorApi = o; break;
                case UsageVendor::copilot: m_endpoints.copilotWeb = m_endpoints.copilotApi = o; break;
                }
            }
            rig().liveClients = liveUsageClients(m_endpoints, rig().clock);
        } else {
            hangEverywhere(*m_server);
        }
        const auto requestsSeen = [&] {
            qsizetype n = m_server->requests().size();
            for (const auto &host : hosts)
                n += host->requests().size();
            return n;
        };
        for (UsageVendor vendor : vendors)
            rig().storeConnected(vendor);
        UsageStore &store = rig().make();
        QTRY_COMPARE_WITH_TIMEOUT(requestsSeen(), vendors.size(), 30000);
        QVERIFY(store.isRefreshing());
        rig().clock.advance(std::chrono::milliseconds(seconds * 1000 - 1));
        QTest::qWait(20);
        QVERIFY(store.isRefreshing());
        rig().clock.advance(std::chrono::milliseconds(1));
        QTRY_VERIFY_WITH_TIMEOUT(!store.isRefreshing(), 10000);
        for (UsageVendor vendor : vendors)
            QCOMPARE(store.errors().value(vendor), UsageHTTP::timedOutText);
        QCOMPARE(requestsSeen(), vendors.size());
    }

    // A web vendor's redirect to another origin reaches it without the session.
    void redirectToOtherOriginCarriesNoCredential_data()
    {
        QTest::addColumn<UsageVendor>("vendor");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<int>("status");
        QTest::newRow("openai") << UsageVendor::openai << QByteArray("/api/auth/session") << 302;
        QTest::newRow("anthropic") << UsageVendor::anthropic << QByteArray("/api/organizations") << 307;
        QTest::newRow("google") << UsageVendor::google << geminiPath << 301;
        QTest::newRow("cursor") << UsageVendor::cursor << QByteArray("/api/usage-summary") << 308;
    }
    void redirectToOtherOriginCarriesNoCredential()
    {
        QFETCH(UsageVendor, vendor);
        QFETCH(QByteArray, path);
        QFETCH(int, status);
        m_server->on(path, Answer::redirect(status, (m_other->origin() + QStringLiteral("/elsewhere")).toUtf8()));
        m_other->on("/elsewhere", Answer{401, {}});
        rig().storeConnected(vendor);
        UsageStore &store = rig().makeSettled();
        QCOMPARE(m_server->requests().size(), 1);
        QCOMPARE(m_other->requests().size(), 1);
        const auto &r = m_other->requests()[0];
        QCOMPARE(r.path(), QByteArray("/elsewhere"));
        for (const QByteArray &name : VendorFake::credentialHeaders())
            QVERIFY2(!r.has(name), name.constData());
        QVERIFY(store.errors().contains(vendor));
    }
};

QTEST_GUILESS_MAIN(StoreClientsTest)
#include "tst_storeclients.moc"
