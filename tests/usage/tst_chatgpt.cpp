// labels: unit
// The ChatGPT client: its session and usage decoding, the account claim in the token, and the
// requests it sends to a fake vendor.
#include "usage/clients/ChatGPTUsageClient.h"

#include "fakes/FakeHttpServer.h"
#include "fakes/ManualClock.h"
#include "UsageTestSupport.h"

#include <QTest>

using namespace tavrenhold;
using namespace tavrenhold::test;
using Answer = FakeHttpServer::Answer;

Q_DECLARE_METATYPE(UsageReport)
Q_DECLARE_METATYPE(UsageFailure)
Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

const QDateTime now(QDate(2025, 6, 1), QTime(12, 0), Qt::UTC);
const QString claimKey = QStringLiteral("https://api.openai.com/auth");

QString base64url(const QByteArray &json)
{
    return QString::fromLatin1(json.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

UsageReport openai(QString plan, QList<UsageLimit> limits)
{
    return UsageReport{UsageVendor::openai, plan, limits, {}, std::nullopt};
}

} // namespace

class ChatGPTTest : public QObject {
    Q_OBJECT

    VendorFake m_fake;
    ManualClock m_clock;

    UsageFetchResult fetch(const UsageSession &cookies)
    {
        return finish(ChatGPTUsageClient::fetch(cookies, {m_fake.network, m_clock}, m_fake.endpoints));
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_fake.start()); }
    void init()
    {
        m_fake.server.clearRequests();
        m_fake.other.clearRequests();
    }

    void decodeUsage_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<UsageReport>("expected");
        const QDateTime reset(QDate(2025, 6, 1), QTime(17, 0), Qt::UTC);
        QTest::newRow("primary 5h, secondary week")
            << js("{'plan_type':'plus','rate_limit':{'primary_window':{'used_percent':37.4,'limit_window_seconds':18000,"
                  "'reset_at':'2025-06-01T17:00:00Z'},'secondary_window':{'used_percent':10,'limit_window_seconds':604800}}}")
            << openai("Plus", {{"5h", UsageSpan::session, 37, reset, 18000.0}, {"Week", UsageSpan::weekly, 10, {}, 604800.0}});
        QTest::newRow("month and day")
            << js("{'rate_limit':{'primary_window':{'used_percent':1,'limit_window_seconds':2592000},"
                  "'secondary_window':{'used_percent':2,'limit_window_seconds':86400}}}")
            << openai("", {{"Month", UsageSpan::monthly, 1, {}, 2592000.0}, {"Day", UsageSpan::daily, 2, {}, 86400.0}});
        QTest::newRow("no lengths")
            << js("{'rate_limit':{'primary_window':{'used_percent':120},'secondary_window':{'used_percent':-3}}}")
            << openai("", {{"5h", UsageSpan::session, 100, {}, {}}, {"Week", UsageSpan::weekly, 0, {}, {}}});
        QTest::newRow("reset after seconds")
            << js("{'rate_limit':{'secondary_window':{'used_percent':49.5,'reset_after_seconds':3600}}}")
            << openai("", {{"Week", UsageSpan::weekly, 50, now.addSecs(3600), {}}});
        QTest::newRow("plan not text") << js("{'plan_type':5,'rate_limit':{'primary_window':{'used_percent':'7'}}}")
                                       << openai("", {{"5h", UsageSpan::session, 7, {}, {}}});
        QTest::newRow("plan pro") << js("{'plan_type':'pro','rate_limit':{'primary_window':{'used_percent':0}}}")
                                  << openai("Pro", {{"5h", UsageSpan::session, 0, {}, {}}});
        QTest::newRow("reset after beyond any date")
            << js("{'rate_limit':{'primary_window':{'used_percent':1,'reset_after_seconds':1e300}}}")
            << openai("", {{"5h", UsageSpan::session, 1, {}, {}}});
    }
    void decodeUsage()
    {
        QFETCH(QByteArray, body);
        QFETCH(UsageReport, expected);
        const auto report = ChatGPTUsageClient::decodeUsage(body, now);
        QVERIFY2(report.ok(), qPrintable(report.ok() ? QString() : describe(report.error())));
        QCOMPARE(report.value(), expected);
    }

    void decodeUsageFailures_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");
        const QString none = QStringLiteral("This ChatGPT plan reports no usage limits.");
        const QString schema = QStringLiteral("OpenAI usage response changed: not a JSON object");
        QTest::newRow("no rate_limit") << js("{}") << none;
        QTest::newRow("no windows") << js("{'rate_limit':{}}") << none;
        QTest::newRow("no used_percent") << js("{'rate_limit':{'primary_window':{'limit_window_seconds':1}}}") << none;
        QTest::newRow("used_percent nan") << js("{'rate_limit':{'primary_window':{'used_percent':'nan'}}}") << none;
        QTest::newRow("used_percent inf") << js("{'rate_limit':{'primary_window':{'used_percent':'-inf'}}}") << none;
        QTest::newRow("window not object") << js("{'rate_limit':{'primary_window':[1]}}") << none;
        QTest::newRow("rate_limit list") << js("{'rate_limit':[]}") << none;
        QTest::newRow("array") << js("[]") << schema;
        QTest::newRow("truncated") << js("{'rate_limit':") << schema;
        QTest::newRow("empty") << QByteArray() << schema;
        QTest::newRow("invalid utf-8") << QByteArray("{\"plan_type\":\"\xff\xfe\"}") << schema;
        QTest::newRow("deep nesting") << (QByteArray(5000, '[') + QByteArray(5000, ']')) << schema;
    }
    void decodeUsageFailures()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        const auto report = ChatGPTUsageClient::decodeUsage(body, now);
        QVERIFY(!report.ok());
        QCOMPARE(describe(report.error()), text);
    }

    void accountClaim_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<std::optional<QString>>("expected");
        const QByteArray payload = js("{'https://api.openai.com/auth':{'chatgpt_account_id':'acct-1'}}");
        QTest::newRow("claim") << "h." + base64url(payload) + ".sig" << std::optional<QString>("acct-1");
        QTest::newRow("empty pieces dropped") << ".h.." + base64url(payload) << std::optional<QString>("acct-1");
        // A payload whose length is no multiple of four decodes once padded.
        QTest::newRow("padding") << "h." + base64url(js("{'https://api.openai.com/auth':{'chatgpt_account_id':'x'}}")) + ".s"
                                 << std::optional<QString>("x");
        QTest::newRow("one piece") << base64url(payload) << std::optional<QString>();
        QTest::newRow("not base64") << QStringLiteral("h.a*b.s") << std::optional<QString>();
        QTest::newRow("other claim key")
            << "h." + base64url(js("{'https://other/auth':{'chatgpt_account_id':'acct-1'}}")) + ".s"
            << std::optional<QString>();
        QTest::newRow("id not text")
            << "h." + base64url(js("{'https://api.openai.com/auth':{'chatgpt_account_id':7}}")) + ".s"
            << std::optional<QString>();
        QTest::newRow("payload not object") << "h." + base64url("[1]") + ".s" << std::optional<QString>();
        QTest::newRow("non-latin text") << QStringLiteral("h.\u00e9\u00e9\u00e9\u00e9.s") << std::optional<QString>();
    }
    void accountClaim()
    {
        QFETCH(QString, token);
        QFETCH(std::optional<QString>, expected);
        QCOMPARE(ChatGPTUsageClient::accountIDClaim(token, claimKey), expected);
    }

    void decodeSession()
    {
        const auto withAccount = ChatGPTUsageClient::decodeSession(js("{'accessToken':'t','account':{'id':'a-9'}}"), claimKey);
        QVERIFY(withAccount.ok());
        QCOMPARE(withAccount.value(), (ChatGPTUsageClient::Session{"t", QStringLiteral("a-9")}));
        const auto emptyAccount = ChatGPTUsageClient::decodeSession(js("{'accessToken':'t','account':{}}"), claimKey);
        QCOMPARE(emptyAccount.value().accountID, std::nullopt);
        for (const char *body : {"{}", "{'accessToken':''}", "{'accessToken':5}"}) {
            const auto s = ChatGPTUsageClient::decodeSession(js(body), claimKey);
            QVERIFY(!s.ok());
            QCOMPARE(s.error(), UsageFailure(UsageFetchError::signedOut(UsageVendor::openai)));
        }
        QCOMPARE(ChatGPTUsageClient::decodeSession("<", claimKey).error(),
            UsageFailure(UsageFetchError::schema(UsageVendor::openai, "not a JSON object")));
    }

    void requestShape()
    {
        m_fake.server.on("/api/auth/session", Answer::json(js("{'accessToken':'tok','account':{'id':''}}")));
        m_fake.server.on("/backend-api/wham/usage", Answer::json(js("{'rate_limit':{'primary_window':{'used_percent':5}}}")));
        const auto result = fetch({{"__Secure-next-auth.session-token", "s1"}, {"cf", "c2"}, {"__tavrenhold_x", "y"}});
        QVERIFY2(result.ok(), qPrintable(result.ok() ? QString() : describe(result.error())));
        QCOMPARE(m_fake.server.requests().size(), 2);
        const auto &session = m_fake.server.requests()[0];
        const auto &usage = m_fake.server.requests()[1];
        QCOMPARE(session.method, QByteArray("GET"));
        QCOMPARE(session.target, QByteArray("/api/auth/session"));
        QCOMPARE(usage.target, QByteArray("/backend-api/wham/usage"));
        for (const auto *r : {&session, &usage}) {
            QCOMPARE(r->header("Cookie"), QByteArray("__Secure-next-auth.session-token=s1; cf=c2"));
            QCOMPARE(r->header("Accept"), QByteArray("application/json"));
            QCOMPARE(r->header("User-Agent"), UsageHTTP::browserUserAgent.toUtf8());
            QCOMPARE(r->header("Referer"), (m_fake.server.origin() + "/codex/settings/usage").toUtf8());
        }
        QVERIFY(!session.has("Authorization"));
        QCOMPARE(usage.header("Authorization"), QByteArray("Bearer tok"));
        // An empty account id still counts as present.
        QVERIFY(usage.has("ChatGPT-Account-Id"));
        QCOMPARE(usage.header("ChatGPT-Account-Id"), QByteArray());
    }

    void noTokenSendsNoUsageRequest()
    {
        m_fake.server.on("/api/auth/session", Answer::json(js("{'accessToken':''}")));
        const auto result = fetch({{"__Secure-next-auth.session-token", "s1"}});
        QCOMPARE(result.error(), UsageFailure(UsageFetchError::signedOut(UsageVendor::openai)));
        QCOMPARE(m_fake.server.requests().size(), 1);
    }

    void statuses_data()
    {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QString>("text");
        QTest::newRow("401") << Answer{401, {}} << "OpenAI session expired. Sign in again in Settings \u203A AI Usage.";
        QTest::newRow("403") << Answer::json("{}", 403) << "OpenAI session expired. Sign in again in Settings \u203A AI Usage.";
        QTest::newRow("404") << Answer{404, {}} << "OpenAI usage returned HTTP 404.";
        QTest::newRow("500") << Answer{500, {}} << "OpenAI usage returned HTTP 500.";
        QTest::newRow("web page") << Answer{200, "<html>"} << "OpenAI session expired. Sign in again in Settings \u203A AI Usage.";
        QTest::newRow("not json") << Answer{200, "ok"} << "OpenAI usage response changed: not a JSON object";
    }
    void statuses()
    {
        QFETCH(Answer, answer);
        QFETCH(QString, text);
        m_fake.server.on("/api/auth/session", Answer::json(js("{'accessToken':'tok'}")));
        m_fake.server.on("/backend-api/wham/usage", answer);
        const auto result = fetch({{"__Secure-next-auth.session-token", "s1"}});
        QVERIFY(!result.ok());
        QCOMPARE(describe(result.error()), text);
    }

    void redirectToOtherOriginCarriesNoCredential()
    {
        m_fake.server.on("/api/auth/session", Answer::json(js("{'accessToken':'tok','account':{'id':'a'}}")));
        m_fake.server.on("/backend-api/wham/usage", Answer::redirect(302, (m_fake.other.origin() + "/elsewhere").toUtf8()));
        m_fake.other.on("/elsewhere", Answer::json(js("{'rate_limit':{'primary_window':{'used_percent':5}}}")));
        QVERIFY(fetch({{"__Secure-next-auth.session-token", "s1"}}).ok());
        QCOMPARE(m_fake.other.requests().size(), 1);
        for (const QByteArray &name : VendorFake::credentialHeaders())
            QVERIFY2(!m_fake.other.requests()[0].has(name), name.constData());
    }

    void cookieWithLineBreakIsNeverSent()
    {
        const auto result = fetch({{"__Secure-next-auth.session-token", "s1\r\nX-Evil: 1"}});
        QCOMPARE(result.error(), UsageFailure(UsageFetchError::signedOut(UsageVendor::openai)));
        QCOMPARE(m_fake.server.requests().size(), 0);
    }
};

QTEST_GUILESS_MAIN(ChatGPTTest)
#include "tst_chatgpt.moc"
