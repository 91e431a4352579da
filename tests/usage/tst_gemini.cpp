// labels: unit
// The Gemini client: its exact query, headers, and the reading of the GraphQL answer with its
// guard prefix, lists and pools.
#include "usage/clients/GeminiUsageClient.h"

#include "fakes/FakeHttpServer.h"
#include "UsageTestSupport.h"

#include <QTest>

using namespace tavrenhold;
using namespace tavrenhold::test;
using Answer = FakeHttpServer::Answer;

Q_DECLARE_METATYPE(UsageReport)

namespace {

QByteArray answer(const char *usageInfo)
{
    return js("[{'data':{'viewer':{'rpcs':{'getUsageInfo':") + js(usageInfo) + "}}}}]";
}

UsageReport google(QString plan, QList<UsageLimit> limits) { return UsageReport{UsageVendor::google, plan, limits, {}, {}}; }

} // namespace

class GeminiTest : public QObject {
    Q_OBJECT

    VendorFake m_fake;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_fake.start()); }

    void fixedTexts()
    {
        QCOMPARE(GeminiUsageClient::querySignature.size(), 46);
        QCOMPARE(GeminiUsageClient::variables.size(), 130);
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<UsageReport>("expected");
        const QByteArray pools = "{'subscriptionTier':'TIER1','pools':[{'poolType':'GXU_WEEKLY','percentageUsed':1.7},"
                                 "{'poolType':'GXU_FIVE_HOURLY','percentageUsed':0.425,'gxu':{'windowRefreshesAt':"
                                 "'2025-06-01T17:00:00Z'}}]}";
        const UsageReport both = google("Pro",
            {{"5h", UsageSpan::session, 43, QDateTime(QDate(2025, 6, 1), QTime(17, 0), Qt::UTC), 18000.0},
                {"Week", UsageSpan::weekly, 100, {}, 604800.0}});
        QTest::newRow("list") << answer(pools.constData()) << both;
        QTest::newRow("guard prefix") << ("  )]}'\n" + answer(pools.constData()) + "\n") << both;
        QTest::newRow("single object")
            << (js("{'data':{'viewer':{'rpcs':{'getUsageInfo':") + js(pools.constData()) + "}}}}") << both;
        QTest::newRow("later element with viewer")
            << (js("[{'data':{}},{'x':1},{'data':{'viewer':{'rpcs':{'getUsageInfo':") + js(pools.constData()) + "}}}}]")
            << both;
        QTest::newRow("negative dropped, other tier")
            << answer("{'subscriptionTier':'TIER2','pools':[{'poolType':'GXU_FIVE_HOURLY','percentageUsed':-0.1},"
                      "{'poolType':'GXU_WEEKLY','percentageUsed':'0.5'}]}")
            << google("", {{"Week", UsageSpan::weekly, 50, {}, 604800.0}});
        QTest::newRow("first of a type wins, tier not text")
            << answer("{'subscriptionTier':1,'pools':[{'poolType':'GXU_WEEKLY','percentageUsed':0.1},"
                      "{'poolType':'GXU_WEEKLY','percentageUsed':0.9}]}")
            << google("", {{"Week", UsageSpan::weekly, 10, {}, 604800.0}});
        QTest::newRow("invalid utf-8 elsewhere")
            << (QByteArray("[{\"junk\":\"\xff\xfe\"},") + answer("{'pools':[{'poolType':'GXU_WEEKLY','percentageUsed':0}]}").mid(1))
            << google("", {{"Week", UsageSpan::weekly, 0, {}, 604800.0}});
    }
    void decode()
    {
        QFETCH(QByteArray, body);
        QFETCH(UsageReport, expected);
        const auto report = GeminiUsageClient::decode(body);
        QVERIFY2(report.ok(), qPrintable(report.ok() ? QString() : describe(report.error())));
        QCOMPARE(report.value(), expected);
    }

    void decodeFailures_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");
        const QString noViewer = QStringLiteral("Google usage response changed: no viewer");
        const QString noPools = QStringLiteral("Google usage response changed: no usage pools");
        QTest::newRow("not JSON") << QByteArray("<nope") << noViewer;
        QTest::newRow("empty") << QByteArray() << noViewer;
        QTest::newRow("data without viewer") << js("[{'data':{'x':1}}]") << noViewer;
        QTest::newRow("viewer null") << js("[{'data':{'viewer':null}}]")
                                     << "Google session expired. Sign in again in Settings \u203A AI Usage.";
        QTest::newRow("no rpcs") << js("[{'data':{'viewer':{}}}]") << noPools;
        QTest::newRow("pools not list") << answer("{'pools':{}}") << noPools;
        QTest::newRow("pool not object") << answer("{'pools':[1]}") << noPools;
        QTest::newRow("no known pool") << answer("{'pools':[{'poolType':'OTHER','percentageUsed':0.1}]}")
                                       << "This Google account reports no Gemini app limits.";
        QTest::newRow("nan figure") << answer("{'pools':[{'poolType':'GXU_WEEKLY','percentageUsed':'nan'}]}")
                                    << "This Google account reports no Gemini app limits.";
        QTest::newRow("deep nesting") << (QByteArray(100000, '[') + QByteArray(100000, ']')) << noViewer;
    }
    void decodeFailures()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        const auto report = GeminiUsageClient::decode(body);
        QVERIFY(!report.ok());
        QCOMPARE(describe(report.error()), text);
    }

    void requestShape()
    {
        m_fake.server.on("/_/BardChatUi/graphql/schemas/GEMINI_WEB_GRAPHQL/executeQuery",
            Answer::json(answer("{'pools':[{'poolType':'GXU_WEEKLY','percentageUsed':0.2}]}")));
        const auto result = finish(GeminiUsageClient::fetch(
            {{"SID", "s"}, {"__Secure-1PSID", "p"}, {"__tavrenhold", "x"}}, {m_fake.network}, m_fake.endpoints));
        QVERIFY2(result.ok(), qPrintable(result.ok() ? QString() : describe(result.error())));
        QCOMPARE(m_fake.server.requests().size(), 1);
        const auto &r = m_fake.server.requests().first();
        QCOMPARE(r.method, QByteArray("GET"));
        QCOMPARE(r.query(),
            QByteArray("query_signature=2%2FQm7rTzX1pLk9VwE3sYh0JdN5cGuB8aFoR4iM6tKe2xw%3D&variables="
                       "%7B%22g1Request%22%3A%7B%22entrypoints%22%3A%5B%22GEMINI_USAGE_SETTINGS_UPGRADE_BANNER%22%5D%7D"
                       "%2C%22workspaceRequest%22%3A%7B%22recommendationsForSurfaceRequests%22%3A%5B%5D%7D%7D"));
        QCOMPARE(r.header("Cookie"), QByteArray("SID=s; __Secure-1PSID=p"));
        QCOMPARE(r.header("Accept"), QByteArray("application/json"));
        QCOMPARE(r.header("Referer"), (m_fake.server.origin() + "/usage").toUtf8());
        QCOMPARE(r.header("User-Agent"), UsageHTTP::browserUserAgent.toUtf8());
    }

    void redirectToOtherOriginCarriesNoCredential()
    {
        m_fake.server.clearRequests();
        m_fake.server.on("/_/BardChatUi/graphql/schemas/GEMINI_WEB_GRAPHQL/executeQuery",
            Answer::redirect(301, (m_fake.other.origin() + "/signin").toUtf8()));
        m_fake.other.on("/signin", Answer{200, "<html>"});
        const auto result = finish(GeminiUsageClient::fetch({{"SID", "s"}}, {m_fake.network}, m_fake.endpoints));
        QCOMPARE(result.error(), UsageFailure(UsageFetchError::signedOut(UsageVendor::google)));
        QCOMPARE(m_fake.other.requests().size(), 1);
        for (const QByteArray &name : VendorFake::credentialHeaders())
            QVERIFY2(!m_fake.other.requests()[0].has(name), name.constData());
    }
};

QTEST_GUILESS_MAIN(GeminiTest)
#include "tst_gemini.moc"
