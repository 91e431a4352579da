// labels: unit
// The Copilot client: the device code and its verification page, the token poll's waits and
// deadline on a manual clock, the form bodies, and the quota answer.
#include "usage/clients/CopilotUsageClient.h"

#include "fakes/FakeHttpServer.h"
#include "fakes/ManualClock.h"
#include "UsageTestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <ctime>

using namespace tavrenhold;
using namespace tavrenhold::test;
using namespace std::chrono_literals;
using Answer = FakeHttpServer::Answer;

Q_DECLARE_METATYPE(UsageReport)
Q_DECLARE_METATYPE(CopilotDeviceCode)

namespace {

const QByteArray tokenPath = "/login/oauth/access_token";

Answer pending() { return Answer::json(js("{'error':'authorization_pending'}")); }

UsageReport copilot(QString plan, QList<UsageLimit> limits) { return UsageReport{UsageVendor::copilot, plan, limits, {}, {}}; }

} // namespace

class CopilotTest : public QObject {
    Q_OBJECT

    VendorFake m_fake;

    CopilotDeviceCode code(qint64 interval, qint64 expiresIn)
    {
        return CopilotDeviceCode{"dev-1", "ABCD-1234", QUrl("https://github.com/login/device"), interval, expiresIn};
    }

    // Waits until the poll sleeps between requests (not on a request's own 20 s time-out) and says
    // for how long.
    std::optional<Millis> nextWait(ManualClock &clock, int requestsSoFar)
    {
        std::optional<Millis> wait;
        const bool sleeping = QTest::qWaitFor([&] {
            if (m_fake.server.requests().size() != requestsSoFar || clock.hasSleeperUntil(clock.now() + 20s))
                return false;
            for (Millis d : {1s, 2s, 3s, 4s, 5s, 6s, 7s, 8s, 9s, 10s, 11s, 12s})
                if (clock.hasSleeperUntil(clock.now() + d))
                    wait = d;
            return wait.has_value();
        }, 10000);
        return sleeping ? wait : std::nullopt;
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
        QVERIFY(m_fake.start());
        m_fake.endpoints.copilotClientID = QStringLiteral("cid");
    }
    void init()
    {
        m_fake.server.clearRequests();
        m_fake.other.clearRequests();
    }

    void deviceCode_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QVariant>("expected"); // CopilotDeviceCode, or the error text
        const QString schema = QStringLiteral("Copilot usage response changed: device code");
        auto ok = [](QString page, qint64 interval, qint64 expires) {
            return QVariant::fromValue(CopilotDeviceCode{"d", "U", QUrl(page), interval, expires});
        };
        QTest::newRow("only verification_uri") << js("{'device_code':'d','user_code':'U','verification_uri':'https://github.com/login/device'}")
                                               << ok("https://github.com/login/device", 5, 900);
        QTest::newRow("complete wins") << js("{'device_code':'d','user_code':'U','verification_uri':'https://a.example/x',"
                                             "'verification_uri_complete':'https://b.example/y?code=U','interval':0,'expires_in':60}")
                                       << ok("https://b.example/y?code=U", 1, 60);
        QTest::newRow("truncated figures") << js("{'device_code':'d','user_code':'U','verification_uri':'https://g.example',"
                                                 "'interval':7.9,'expires_in':'899.9'}")
                                           << ok("https://g.example", 7, 899);
        QTest::newRow("complete not text") << js("{'device_code':'d','user_code':'U','verification_uri':'https://a.example',"
                                                 "'verification_uri_complete':5}") << QVariant(schema);
        QTest::newRow("no device code") << js("{'user_code':'U','verification_uri':'https://a.example'}") << QVariant(schema);
        QTest::newRow("user code number") << js("{'device_code':'d','user_code':1,'verification_uri':'https://a.example'}") << QVariant(schema);
        QTest::newRow("http") << js("{'device_code':'d','user_code':'U','verification_uri':'http://github.com/login/device'}") << QVariant(schema);
        QTest::newRow("file") << js("{'device_code':'d','user_code':'U','verification_uri':'file:///etc/passwd'}") << QVariant(schema);
        QTest::newRow("javascript") << js("{'device_code':'d','user_code':'U','verification_uri':'javascript:alert(1)'}") << QVariant(schema);
        QTest::newRow("custom scheme") << js("{'device_code':'d','user_code':'U','verification_uri':'x-handler://open?a=1'}") << QVariant(schema);
        QTest::newRow("relative") << js("{'device_code':'d','user_code':'U','verification_uri':'/login/device'}") << QVariant(schema);
        QTest::newRow("no host") << js("{'device_code':'d','user_code':'U','verification_uri':'https:///path'}") << QVariant(schema);
        QTest::newRow("interval nan") << js("{'device_code':'d','user_code':'U','verification_uri':'https://a.example','interval':'nan'}") << QVariant(schema);
        QTest::newRow("interval beyond 2^31") << js("{'device_code':'d','user_code':'U','verification_uri':'https://a.example','interval':1e19}") << QVariant(schema);
        QTest::newRow("expires inf") << js("{'device_code':'d','user_code':'U','verification_uri':'https://a.example','expires_in':'inf'}") << QVariant(schema);
        QTest::newRow("interval unreadable: 5") << js("{'device_code':'d','user_code':'U','verification_uri':'https://a.example','interval':'soon'}")
                                               << ok("https://a.example", 5, 900);
    }
    void deviceCode()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QVariant, expected);
        const auto decoded = CopilotUsageClient::decodeDeviceCode(QJsonDocument::fromJson(answer).object());
        if (expected.canConvert<CopilotDeviceCode>() && expected.typeId() != QMetaType::QString) {
            QVERIFY2(decoded.ok(), qPrintable(decoded.ok() ? QString() : describe(decoded.error())));
            QCOMPARE(decoded.value(), expected.value<CopilotDeviceCode>());
        } else {
            QVERIFY(!decoded.ok());
            QCOMPARE(describe(decoded.error()), expected.toString());
        }
    }

    void deviceCodeRequest()
    {
        m_fake.server.on("/login/device/code",
            Answer::json(js("{'device_code':'d','user_code':'U','verification_uri':'https://github.com/login/device'}")));
        const auto result = finish(CopilotUsageClient::requestDeviceCode({m_fake.network}, m_fake.endpoints));
        QVERIFY(result.ok());
        const auto &r = m_fake.server.requests().first();
        QCOMPARE(r.method, QByteArray("POST"));
        QCOMPARE(r.target, QByteArray("/login/device/code"));
        QCOMPARE(r.body, QByteArray("client_id=cid&scope=read%3Auser"));
        QCOMPARE(r.header("Accept"), QByteArray("application/json"));
        QCOMPARE(r.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
    }

    void noClientIdSendsNothing()
    {
        UsageEndpoints endpoints = m_fake.endpoints;
        endpoints.copilotClientID.clear();
        const auto result = finish(CopilotUsageClient::requestDeviceCode({m_fake.network}, endpoints));
        QCOMPARE(result.error(), UsageFailure(UsageFetchError::unavailable(UsageVendor::copilot,
                                     "No GitHub OAuth client ID is configured.")));
        QCOMPARE(m_fake.server.requests().size(), 0);
    }

    void deviceCodeAnswers()
    {
        m_fake.server.on("/login/device/code", Answer{200, "not json"});
        QCOMPARE(describe(finish(CopilotUsageClient::requestDeviceCode({m_fake.network}, m_fake.endpoints)).error()),
            QStringLiteral("Copilot usage response changed: not a JSON object"));
        m_fake.server.on("/login/device/code", Answer{400, "{}"});
        QCOMPARE(describe(finish(CopilotUsageClient::requestDeviceCode({m_fake.network}, m_fake.endpoints)).error()),
            QStringLiteral("Copilot usage returned HTTP 400."));
    }

    void slowDownWaits()
    {
        m_fake.server.on(tokenPath, QList<Answer>{pending(), Answer::json(js("{'error':'slow_down'}")), pending(),
                                        Answer::json(js("{'access_token':'gho_1','token_type':'bearer'}"))});
        ManualClock clock;
        CancelToken token;
        auto task = CopilotUsageClient::pollForToken(code(2, 900), {m_fake.network, clock, token}, m_fake.endpoints);
        QList<Millis> waits;
        for (int i = 0; i < 4; ++i) {
            const auto wait = nextWait(clock, i);
            QVERIFY(wait);
            waits << *wait;
            clock.advance(*wait);
        }
        QTRY_VERIFY_WITH_TIMEOUT(task.isReady(), 10000);
        const auto result = finish(std::move(task));
        QVERIFY(result.ok());
        QCOMPARE(result.value(), QStringLiteral("gho_1"));
        QCOMPARE(waits, (QList<Millis>{2s, 2s, 7s, 7s}));
        const auto &r = m_fake.server.requests().first();
        QCOMPARE(r.body, QByteArray("client_id=cid&device_code=dev-1&grant_type=urn%3Aietf%3Aparams%3Aoauth%3Agrant-type%3Adevice_code"));
        QCOMPARE(r.target, tokenPath);
    }

    void deadlineByWallClock()
    {
        m_fake.server.on(tokenPath, pending());
        ManualClock clock;
        auto task = CopilotUsageClient::pollForToken(code(3, 4), {m_fake.network, clock}, m_fake.endpoints);
        clock.advance(3s); // first request at 3 s, before the deadline
        QVERIFY(nextWait(clock, 1));
        clock.setWall(clock.wallNow().addSecs(3600)); // the machine slept: the code is gone
        clock.advance(3s);
        QTRY_VERIFY_WITH_TIMEOUT(task.isReady(), 10000);
        QCOMPARE(describe(finish(std::move(task)).error()), QStringLiteral("GitHub code expired. Try again."));
        QCOMPARE(m_fake.server.requests().size(), 2);
    }

    void expiresInZeroSendsNothing()
    {
        ManualClock clock;
        const auto result = finish(CopilotUsageClient::pollForToken(code(5, 0), {m_fake.network, clock}, m_fake.endpoints));
        QCOMPARE(describe(result.error()), QStringLiteral("GitHub code expired. Try again."));
        QCOMPARE(m_fake.server.requests().size(), 0);
    }

    void cancellationEndsWaitAtOnce()
    {
        ManualClock clock;
        CancelToken token;
        auto task = CopilotUsageClient::pollForToken(code(5, 900), {m_fake.network, clock, token}, m_fake.endpoints);
        QCOMPARE(clock.sleepers(), 1);
        token.cancel();
        QTRY_VERIFY_WITH_TIMEOUT(task.isReady(), 10000);
        QVERIFY(isCancellation(finish(std::move(task)).error()));
        QCOMPARE(m_fake.server.requests().size(), 0);
    }

    void pollAnswers_data()
    {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QString>("text");
        QTest::newRow("denied") << Answer::json(js("{'error':'access_denied'}")) << "GitHub sign-in was denied.";
        QTest::newRow("expired") << Answer::json(js("{'error':'expired_token'}")) << "GitHub code expired. Try again.";
        QTest::newRow("other error") << Answer::json(js("{'error':'unsupported_grant_type'}"))
                                     << "Copilot usage response changed: token poll";
        QTest::newRow("empty token, no error") << Answer::json(js("{'access_token':''}"))
                                               << "Copilot usage response changed: token poll";
        QTest::newRow("error not text") << Answer::json(js("{'error':1}")) << "Copilot usage response changed: token poll";
        QTest::newRow("400") << Answer::json(js("{'error':'authorization_pending'}"), 400) << "Copilot usage returned HTTP 400.";
        QTest::newRow("not object") << Answer::json("[]") << "Copilot usage response changed: not a JSON object";
    }
    void pollAnswers()
    {
        QFETCH(Answer, answer);
        QFETCH(QString, text);
        m_fake.server.on(tokenPath, answer);
        ManualClock clock;
        auto task = CopilotUsageClient::pollForToken(code(1, 900), {m_fake.network, clock}, m_fake.endpoints);
        clock.advance(1s);
        QTRY_VERIFY_WITH_TIMEOUT(task.isReady(), 10000);
        QCOMPARE(describe(finish(std::move(task)).error()), text);
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<UsageReport>("expected");
        const QDateTime may(QDate(2025, 5, 1), QTime(0, 0), Qt::UTC);
        QTest::newRow("chat only")
            << js("{'copilot_plan':'individual','quota_snapshots':{'premium_interactions':{'unlimited':true,'percent_remaining':0},"
                  "'chat':{'percent_remaining':100}}}")
            << copilot("Individual", {{"Chat", UsageSpan::monthly, 0, {}, {}}});
        QTest::newRow("entitlement and remaining, reset date")
            << js("{'quota_reset_date':'2025-05-01','quota_snapshots':{'premium_interactions':{'entitlement':300,'remaining':150}}}")
            << copilot("", {{"Premium", UsageSpan::monthly, 50, may, 30 * 86400.0}});
        QTest::newRow("clamping and rounding")
            << js("{'copilot_plan':'business plus','quota_snapshots':{'premium_interactions':{'percent_remaining':120},"
                  "'chat':{'percent_remaining':-20},'completions':{'percent_remaining':33.5}}}")
            << copilot("Business Plus", {{"Premium", UsageSpan::monthly, 0, {}, {}}, {"Chat", UsageSpan::monthly, 100, {}, {}},
                                        {"Completions", UsageSpan::monthly, 67, {}, {}}});
        QTest::newRow("nan remaining falls back to amounts")
            << js("{'quota_snapshots':{'chat':{'percent_remaining':'nan','entitlement':'10','remaining':'2.5'}}}")
            << copilot("", {{"Chat", UsageSpan::monthly, 75, {}, {}}});
    }
    void decode()
    {
        QFETCH(QByteArray, body);
        QFETCH(UsageReport, expected);
        const auto report = CopilotUsageClient::decode(body);
        QVERIFY2(report.ok(), qPrintable(report.ok() ? QString() : describe(report.error())));
        QCOMPARE(report.value(), expected);
    }

    void decodeFailures_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");
        QTest::newRow("no quota, no plan") << js("{'quota_snapshots':{'chat':{'entitlement':0,'remaining':1}}}")
                                           << "Copilot has no metered quota.";
        QTest::newRow("no quota, plan") << js("{'copilot_plan':'free','quota_snapshots':[]}") << "Copilot Free has no metered quota.";
        QTest::newRow("ended") << js("{'access_type_sku':'subscription_ended','quota_snapshots':{'chat':{'percent_remaining':1}}}")
                               << "Copilot subscription ended.";
        QTest::newRow("inf remaining, no amounts") << js("{'quota_snapshots':{'chat':{'percent_remaining':'inf'}}}")
                                                   << "Copilot has no metered quota.";
        QTest::newRow("not object") << QByteArray("[]") << "Copilot usage response changed: not a JSON object";
        QTest::newRow("empty") << QByteArray() << "Copilot usage response changed: not a JSON object";
    }
    void decodeFailures()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        const auto report = CopilotUsageClient::decode(body);
        QVERIFY(!report.ok());
        QCOMPARE(describe(report.error()), text);
    }

    void quotaRequestShape()
    {
        m_fake.server.on("/copilot_internal/user", Answer::json(js("{'quota_snapshots':{'chat':{'percent_remaining':50}}}")));
        const auto result = finish(CopilotUsageClient::fetch("gho_1", {m_fake.network}, m_fake.endpoints));
        QVERIFY(result.ok());
        const auto &r = m_fake.server.requests().first();
        QCOMPARE(r.method, QByteArray("GET"));
        QCOMPARE(r.target, QByteArray("/copilot_internal/user"));
        QCOMPARE(r.header("Authorization"), QByteArray("token gho_1"));
        QCOMPARE(r.header("Accept"), QByteArray("application/json"));
        QCOMPARE(r.header("Editor-Version"), QByteArray("vscode/1.96.2"));
        QCOMPARE(r.header("Editor-Plugin-Version"), QByteArray("copilot-chat/0.26.7"));
        QCOMPARE(r.header("User-Agent"), QByteArray("GitHubCopilotChat/0.26.7"));
        QCOMPARE(r.header("X-Github-Api-Version"), QByteArray("2025-04-01"));

        m_fake.server.on("/copilot_internal/user", Answer{401, {}});
        QCOMPARE(finish(CopilotUsageClient::fetch("gho_1", {m_fake.network}, m_fake.endpoints)).error(),
            UsageFailure(UsageFetchError::signedOut(UsageVendor::copilot)));
    }

    void redirectToOtherOriginCarriesNoCredential()
    {
        m_fake.server.on("/copilot_internal/user", Answer::redirect(302, (m_fake.other.origin() + "/user").toUtf8()));
        m_fake.other.on("/user", Answer::json(js("{'quota_snapshots':{'chat':{'percent_remaining':50}}}")));
        QVERIFY(finish(CopilotUsageClient::fetch("gho_1", {m_fake.network}, m_fake.endpoints)).ok());
        QCOMPARE(m_fake.other.requests().size(), 1);
        for (const QByteArray &name : VendorFake::credentialHeaders())
            QVERIFY2(!m_fake.other.requests()[0].has(name), name.constData());
    }
};

QTEST_GUILESS_MAIN(CopilotTest)
#include "tst_copilot.moc"
