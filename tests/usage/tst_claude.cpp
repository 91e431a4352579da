// labels: unit
// The Claude client: choosing the organization, reading the usage windows, and the requests it
// sends to a fake vendor with the one session cookie.
#include "usage/clients/ClaudeUsageClient.h"

#include "fakes/FakeHttpServer.h"
#include "UsageTestSupport.h"

#include <QTest>

using namespace tavrenhold;
using namespace tavrenhold::test;
using Answer = FakeHttpServer::Answer;

Q_DECLARE_METATYPE(UsageReport)

namespace {

UsageReport anthropic(QList<UsageLimit> limits) { return UsageReport{UsageVendor::anthropic, {}, limits, {}, {}}; }

} // namespace

class ClaudeTest : public QObject {
    Q_OBJECT

    VendorFake m_fake;

    UsageFetchResult fetch(const UsageSession &cookies)
    {
        return finish(ClaudeUsageClient::fetch(cookies, {m_fake.network}, m_fake.endpoints));
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_fake.start()); }
    void init()
    {
        m_fake.server.clearRequests();
        m_fake.other.clearRequests();
    }

    void organization_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected"); // the id, or the error text
        const QString none = QStringLiteral("No Claude organization on this account.");
        const QString notList = QStringLiteral("Anthropic usage response changed: organizations not a list");
        QTest::newRow("second can chat")
            << js("[{'uuid':'a','capabilities':['api']},{'uuid':'b','capabilities':['CHAT']}]") << "b";
        QTest::newRow("none can chat: first")
            << js("[{'uuid':'a','capabilities':['chat_beta']},{'uuid':'b'}]") << "a";
        QTest::newRow("capabilities not all texts")
            << js("[{'uuid':'a'},{'uuid':'b','capabilities':['chat',1]}]") << "a";
        QTest::newRow("empty uuid, no other tried") << js("[{'uuid':'','capabilities':['chat']},{'uuid':'b'}]") << none;
        QTest::newRow("uuid not text") << js("[{'uuid':5}]") << none;
        QTest::newRow("empty list") << js("[]") << none;
        QTest::newRow("element not object") << js("[{'uuid':'a'},3]") << notList;
        QTest::newRow("object") << js("{'uuid':'a'}") << notList;
        QTest::newRow("not JSON") << QByteArray("[{") << notList;
        QTest::newRow("slash in id")
            << js("[{'uuid':'../../admin'}]") << "Anthropic usage response changed: organization id";
        QTest::newRow("query in id") << js("[{'uuid':'a?b=1'}]") << "Anthropic usage response changed: organization id";
        QTest::newRow("dashes and underscores") << js("[{'uuid':'0a1b-c_D'}]") << "0a1b-c_D";
    }
    void organization()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, expected);
        const auto id = ClaudeUsageClient::organizationID(body);
        QCOMPARE(id.ok() ? id.value() : describe(id.error()), expected);
    }

    void decodeUsage_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<UsageReport>("expected");
        const QDateTime reset(QDate(2025, 6, 2), QTime(0, 0), Qt::UTC);
        QTest::newRow("five hour and week")
            << js("{'five_hour':{'utilization':12.5,'resets_at':'2025-06-02T00:00:00Z'},'seven_day':{'utilization':80}}")
            << anthropic({{"5h", UsageSpan::session, 13, reset, 18000.0}, {"Week", UsageSpan::weekly, 80, {}, 604800.0}});
        QTest::newRow("sonnet wins over opus")
            << js("{'seven_day_sonnet':{'utilization':1},'seven_day_opus':{'utilization':2}}")
            << anthropic({{"Sonnet week", UsageSpan::weekly, 1, {}, 604800.0}});
        QTest::newRow("opus when sonnet has no figure")
            << js("{'seven_day_sonnet':{},'seven_day_opus':{'utilization':2}}")
            << anthropic({{"Opus week", UsageSpan::weekly, 2, {}, 604800.0}});
        QTest::newRow("null reset") << js("{'seven_day':{'utilization':'40','resets_at':null}}")
                                    << anthropic({{"Week", UsageSpan::weekly, 40, {}, 604800.0}});
        QTest::newRow("nan utilization skipped")
            << js("{'five_hour':{'utilization':'nan'},'seven_day':{'utilization':3}}")
            << anthropic({{"Week", UsageSpan::weekly, 3, {}, 604800.0}});
    }
    void decodeUsage()
    {
        QFETCH(QByteArray, body);
        QFETCH(UsageReport, expected);
        const auto report = ClaudeUsageClient::decodeUsage(body);
        QVERIFY2(report.ok(), qPrintable(report.ok() ? QString() : describe(report.error())));
        QCOMPARE(report.value(), expected);
    }

    void decodeFailures()
    {
        QCOMPARE(describe(ClaudeUsageClient::decodeUsage("{}").error()),
            QStringLiteral("This Claude account reports no plan limits."));
        QCOMPARE(describe(ClaudeUsageClient::decodeUsage(js("{'five_hour':[1],'seven_day':'x'}")).error()),
            QStringLiteral("This Claude account reports no plan limits."));
        for (const QByteArray &body : {QByteArray("[]"), QByteArray(""), QByteArray("{\"five_hour\":"), QByteArray("\xff")})
            QCOMPARE(describe(ClaudeUsageClient::decodeUsage(body).error()),
                QStringLiteral("Anthropic usage response changed: not a JSON object"));
    }

    void requestShape()
    {
        m_fake.server.on("/api/organizations", Answer::json(js("[{'uuid':'org-1','capabilities':['chat']}]")));
        m_fake.server.on("/api/organizations/org-1/usage", Answer::json(js("{'seven_day':{'utilization':5}}")));
        const auto result = fetch({{"sessionKey", "sk-ant-1"}, {"other", "x"}, {"cf_clearance", "y"}});
        QVERIFY2(result.ok(), qPrintable(result.ok() ? QString() : describe(result.error())));
        QCOMPARE(m_fake.server.requests().size(), 2);
        QCOMPARE(m_fake.server.requests()[0].target, QByteArray("/api/organizations"));
        QCOMPARE(m_fake.server.requests()[1].target, QByteArray("/api/organizations/org-1/usage"));
        for (const auto &r : m_fake.server.requests()) {
            QCOMPARE(r.method, QByteArray("GET"));
            QCOMPARE(r.header("Cookie"), QByteArray("sessionKey=sk-ant-1"));
            QCOMPARE(r.header("Accept"), QByteArray("application/json"));
            QCOMPARE(r.header("User-Agent"), UsageHTTP::browserUserAgent.toUtf8());
            QVERIFY(!r.has("Referer"));
        }
    }

    void noSessionKeySendsNothing()
    {
        for (const UsageSession &cookies : {UsageSession{}, UsageSession{{"sessionKey", ""}}}) {
            QCOMPARE(fetch(cookies).error(), UsageFailure(UsageFetchError::signedOut(UsageVendor::anthropic)));
        }
        QCOMPARE(m_fake.server.requests().size(), 0);
    }

    void unsafeOrganizationIdSendsNoUsageRequest()
    {
        m_fake.server.on("/api/organizations", Answer::json(js("[{'uuid':'a/../../b'}]")));
        const auto result = fetch({{"sessionKey", "k"}});
        QCOMPARE(result.error(), UsageFailure(UsageFetchError::schema(UsageVendor::anthropic, "organization id")));
        QCOMPARE(m_fake.server.requests().size(), 1);
    }

    void statuses()
    {
        m_fake.server.on("/api/organizations", Answer{403, "{}"});
        QCOMPARE(fetch({{"sessionKey", "k"}}).error(), UsageFailure(UsageFetchError::signedOut(UsageVendor::anthropic)));
        m_fake.server.on("/api/organizations", Answer{200, " <html>"});
        QCOMPARE(fetch({{"sessionKey", "k"}}).error(), UsageFailure(UsageFetchError::signedOut(UsageVendor::anthropic)));
        m_fake.server.on("/api/organizations", Answer{502, ""});
        QCOMPARE(fetch({{"sessionKey", "k"}}).error(), UsageFailure(UsageFetchError::http(UsageVendor::anthropic, 502)));
    }

    void redirectToOtherOriginCarriesNoCredential()
    {
        m_fake.server.on("/api/organizations", Answer::redirect(307, (m_fake.other.origin() + "/orgs").toUtf8()));
        m_fake.other.on("/orgs", Answer::json(js("[]")));
        const auto result = fetch({{"sessionKey", "k"}});
        QCOMPARE(describe(result.error()), QStringLiteral("No Claude organization on this account."));
        QCOMPARE(m_fake.other.requests().size(), 1);
        for (const QByteArray &name : VendorFake::credentialHeaders())
            QVERIFY2(!m_fake.other.requests()[0].has(name), name.constData());
    }
};

QTEST_GUILESS_MAIN(ClaudeTest)
#include "tst_claude.moc"
