// labels: unit
// The Cursor client: the session and its token, both decoders, the snapshot's report, sample and
// window, and the summary-then-RPC requests against a fake vendor.
#include "usage/clients/CursorUsageClient.h"

#include "fakes/FakeHttpServer.h"
#include "fakes/ManualClock.h"
#include "UsageTestSupport.h"

#include <QTest>

using namespace tavrenhold;
using namespace tavrenhold::test;
using Answer = FakeHttpServer::Answer;
using Snapshot = CursorUsageClient::Snapshot;

Q_DECLARE_METATYPE(Snapshot)
Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

QDateTime utc(int y, int m, int d) { return QDateTime(QDate(y, m, d), QTime(0, 0), Qt::UTC); }

QString describeResult(const CursorUsageClient::SnapshotResult &r) { return r.ok() ? QString() : describe(r.error()); }

} // namespace

class CursorTest : public QObject {
    Q_OBJECT

    VendorFake m_fake;

    CursorUsageClient::SnapshotResult fetch(const QString &cookie)
    {
        return finish(CursorUsageClient::fetch(CursorSession{cookie}, {m_fake.network}, m_fake.endpoints));
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_fake.start()); }
    void init()
    {
        m_fake.server.clearRequests();
        m_fake.other.clearRequests();
    }

    void session()
    {
        QCOMPARE(CursorSession::fromCookies({}), std::nullopt);
        QCOMPARE(CursorSession::fromCookies({{"WorkosCursorSessionToken", ""}}), std::nullopt);
        QCOMPARE(CursorSession::fromCookies({{"WorkosCursorSessionToken", "v"}, {"x", "y"}}), std::optional(CursorSession{"v"}));
    }

    void accessToken_data()
    {
        QTest::addColumn<QString>("cookie");
        QTest::addColumn<std::optional<QString>>("token");
        QTest::newRow("user and jwt, encoded") << "user_01%3A%3Aaa.bb.cc" << std::optional<QString>("aa.bb.cc");
        QTest::newRow("user and jwt") << "user::aa.bb.cc" << std::optional<QString>("aa.bb.cc");
        QTest::newRow("after :: empty parts dropped") << "user::aa..bb" << std::optional<QString>();
        QTest::newRow("whole value, empty part counts") << "aa..bb" << std::optional<QString>("aa..bb");
        QTest::newRow("one dot") << "aa.bb" << std::optional<QString>();
        QTest::newRow("bad escape left as is") << "u%ZZ::a.b.c" << std::optional<QString>("a.b.c");
        QTest::newRow("escape of no utf-8 left as is") << "%FF::a.b.c" << std::optional<QString>("a.b.c");
        QTest::newRow("first :: splits") << "a::b::c.d.e" << std::optional<QString>("b::c.d.e");
    }
    void accessToken()
    {
        QFETCH(QString, cookie);
        QFETCH(std::optional<QString>, token);
        QCOMPARE(CursorSession{cookie}.accessToken(), token);
    }

    void summary_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<Snapshot>("expected");
        QTest::newRow("unlimited without usage")
            << js("{'isUnlimited':true,'membershipType':'pro'}") << Snapshot{"Pro", 0, 0, 0, true, {}, {}};
        QTest::newRow("display message fallback")
            << js("{'membershipType':'PRO_PLUS','individualUsage':{'plan':{'apiPercentUsed':30}},"
                  "'autoModelSelectedDisplayMessage':'You\\u0027ve used 12% of your included usage'}")
            << Snapshot{"Pro_plus", 12, 30, 30, false, {}, {}};
        QTest::newRow("total from max, rounding")
            << js("{'individualUsage':{'plan':{'autoPercentUsed':45.5,'apiPercentUsed':55,'x':1}},"
                  "'billingCycleStart':'2025-03-01T00:00:00Z','billingCycleEnd':'2025-04-01T00:00:00.000Z'}")
            << Snapshot{"", 46, 55, 55, false, utc(2025, 3, 1), utc(2025, 4, 1)};
        QTest::newRow("negative and large")
            << js("{'membershipType':'free_trial','individualUsage':{'plan':{'autoPercentUsed':-3,'apiPercentUsed':140,"
                  "'totalPercentUsed':140}},'billingCycleStart':'2025-03-01'}")
            << Snapshot{"Free_trial", 0, 140, 140, false, {}, {}};
        QTest::newRow("display with decimal")
            << js("{'individualUsage':{'plan':{'autoPercentUsed':1}},'namedModelSelectedDisplayMessage':"
                  "'You\\u0027ve used  37.5% so far'}")
            << Snapshot{"", 1, 38, 38, false, {}, {}};
    }
    void summary()
    {
        QFETCH(QByteArray, body);
        QFETCH(Snapshot, expected);
        const auto s = CursorUsageClient::decodeSummary(body);
        QVERIFY2(s.ok(), qPrintable(describeResult(s)));
        QCOMPARE(s.value(), expected);
    }

    void decodeFailures_data()
    {
        QTest::addColumn<bool>("rpc");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");
        QTest::newRow("summary not JSON") << false << QByteArray("<html>") << CursorUsageClient::notJsonText;
        QTest::newRow("summary empty") << false << QByteArray() << CursorUsageClient::notJsonText;
        QTest::newRow("summary list") << false << QByteArray("[]") << "Cursor usage response unexpected: root not object";
        QTest::newRow("summary no api")
            << false << js("{'individualUsage':{'plan':{'autoPercentUsed':1}}}")
            << "Cursor usage response unexpected: missing auto/api percent";
        QTest::newRow("percent as text") << false << js("{'individualUsage':{'plan':{'autoPercentUsed':'1','apiPercentUsed':2}}}")
                                         << "Cursor usage response unexpected: missing auto/api percent";
        QTest::newRow("percent beyond 64 bits")
            << false << js("{'individualUsage':{'plan':{'autoPercentUsed':1e300,'apiPercentUsed':2}}}")
            << "Cursor usage response unexpected: missing auto/api percent";
        QTest::newRow("display beyond 64 bits")
            << false << js("{'individualUsage':{'plan':{'apiPercentUsed':2}},'autoModelSelectedDisplayMessage':"
                           "'You\\u0027ve used 99999999999999999999999999% of it'}")
            << "Cursor usage response unexpected: missing auto/api percent";
        QTest::newRow("curly apostrophe") << false
            << js("{'individualUsage':{'plan':{'apiPercentUsed':2}},'autoModelSelectedDisplayMessage':'You\\u2019ve used 5%'}")
            << "Cursor usage response unexpected: missing auto/api percent";
        QTest::newRow("rpc not JSON") << true << QByteArray("{") << CursorUsageClient::notJsonText;
        QTest::newRow("rpc list") << true << QByteArray("[1]") << "Cursor usage response unexpected: rpc root not object";
        QTest::newRow("rpc no auto") << true << js("{'planUsage':{'apiPercentUsed':1}}")
                                     << "Cursor usage response unexpected: rpc missing planUsage percents";
        QTest::newRow("rpc no api") << true << js("{'planUsage':{'autoPercentUsed':1}}")
                                    << "Cursor usage response unexpected: rpc missing planUsage percents";
    }
    void decodeFailures()
    {
        QFETCH(bool, rpc);
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        const auto s = rpc ? CursorUsageClient::decodePeriodUsage(body) : CursorUsageClient::decodeSummary(body);
        QVERIFY(!s.ok());
        QCOMPARE(describe(s.error()), text);
    }

    void periodUsage_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<Snapshot>("expected");
        QTest::newRow("epoch ms as text and number")
            << js("{'planUsage':{'autoPercentUsed':10,'apiPercentUsed':20,'totalPercentUsed':15},"
                  "'billingCycleStart':'1740787200000','billingCycleEnd':1743465600000}")
            << Snapshot{"", 10, 20, 15, false, utc(2025, 3, 1), utc(2025, 4, 1)};
        QTest::newRow("total from display")
            << js("{'planUsage':{'autoPercentUsed':10,'apiPercentUsed':20},'displayMessage':'You\\u0027ve used 17%'}")
            << Snapshot{"", 10, 20, 17, false, {}, {}};
        QTest::newRow("total from max, bad dates")
            << js("{'planUsage':{'autoPercentUsed':10,'apiPercentUsed':20},'billingCycleStart':'x','billingCycleEnd':1e300}")
            << Snapshot{"", 10, 20, 20, false, {}, {}};
    }
    void periodUsage()
    {
        QFETCH(QByteArray, body);
        QFETCH(Snapshot, expected);
        const auto s = CursorUsageClient::decodePeriodUsage(body);
        QVERIFY2(s.ok(), qPrintable(describeResult(s)));
        QCOMPARE(s.value(), expected);
    }

    void reportSampleWindow()
    {
        const Snapshot unlimited{"", 0, 0, 0, true, {}, {}};
        QVERIFY(unlimited.report().limits.isEmpty());
        QCOMPARE(unlimited.sample(), (UsageVendorSample{UsageVendor::cursor,
                                         {{"Cursor Models", 1, 0}, {"Other Models", 1, 0}}, std::nullopt}));
        QCOMPARE(unlimited.window(), std::nullopt);

        const Snapshot pro{"Pro", 30, 55, 55, false, utc(2025, 3, 1), utc(2025, 4, 1)};
        const UsageReport report = pro.report();
        QCOMPARE(report.plan, QStringLiteral("Pro"));
        QCOMPARE(report.limits,
            (QList<UsageLimit>{{"Month", UsageSpan::monthly, 55, utc(2025, 4, 1), 31 * 86400.0}}));
        QCOMPARE(report.breakdown, (QList<UsageModelSlice>{{"Cursor Models", 30, 30}, {"Other Models", 55, 55}}));
        QCOMPARE(report.billingWindow, std::optional(UsageVendorWindow{"Pro cycle", utc(2025, 3, 1), utc(2025, 4, 1)}));
        QCOMPARE(pro.sample().headlinePercentUsed, std::optional(55));

        const Snapshot noStart{"", 1, 2, 2, false, {}, utc(2025, 4, 1)};
        QCOMPARE(noStart.window(), std::optional(UsageVendorWindow{"Billing period", utc(2025, 4, 1), utc(2025, 4, 1)}));
        QCOMPARE(noStart.report().limits.first().duration, std::nullopt);
    }

    void summaryRequestShape()
    {
        m_fake.server.on("/api/usage-summary",
            Answer::json(js("{'individualUsage':{'plan':{'autoPercentUsed':1,'apiPercentUsed':2}}}")));
        const auto s = fetch("user%3A%3Aa.b.c");
        QVERIFY2(s.ok(), qPrintable(describeResult(s)));
        QCOMPARE(m_fake.server.requests().size(), 1);
        const auto &r = m_fake.server.requests().first();
        QCOMPARE(r.method, QByteArray("GET"));
        QCOMPARE(r.target, QByteArray("/api/usage-summary"));
        QCOMPARE(r.header("Cookie"), QByteArray("WorkosCursorSessionToken=user%3A%3Aa.b.c"));
        QCOMPARE(r.header("Origin"), m_fake.server.origin().toUtf8());
        QCOMPARE(r.header("Referer"), (m_fake.server.origin() + "/dashboard").toUtf8());
        QCOMPARE(r.header("User-Agent"), CursorUsageClient::chromeUserAgent);
    }

    void unauthorizedFallsBackToRpc()
    {
        m_fake.server.on("/api/usage-summary", Answer{401, {}});
        m_fake.server.on("/aiserver.v1.DashboardService/GetCurrentPeriodUsage",
            Answer::json(js("{'planUsage':{'autoPercentUsed':3,'apiPercentUsed':4}}")));
        const auto s = fetch("user_1%3A%3Ahead.body.sig");
        QVERIFY2(s.ok(), qPrintable(describeResult(s)));
        QCOMPARE(s.value(), (Snapshot{"", 3, 4, 4, false, {}, {}}));
        QCOMPARE(m_fake.server.requests().size(), 2);
        const auto &rpc = m_fake.server.requests()[1];
        QCOMPARE(rpc.method, QByteArray("POST"));
        QCOMPARE(rpc.body, QByteArray("{}"));
        QCOMPARE(rpc.header("Authorization"), QByteArray("Bearer head.body.sig"));
        QCOMPARE(rpc.header("Content-Type"), QByteArray("application/json"));
        QCOMPARE(rpc.header("Connect-Protocol-Version"), QByteArray("1"));
        QVERIFY(!rpc.has("Cookie"));
    }

    void failures_data()
    {
        QTest::addColumn<Answer>("summary");
        QTest::addColumn<Answer>("rpc");
        QTest::addColumn<QString>("cookie");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("requests");
        const QString expired = QStringLiteral("Cursor session expired. Sign in again from Settings \u203A AI Usage.");
        const Answer ok = Answer::json(js("{'planUsage':{'autoPercentUsed':3,'apiPercentUsed':4}}"));
        QTest::newRow("403 without token") << Answer{403, {}} << ok << "plain" << expired << 1;
        QTest::newRow("rpc refuses too") << Answer{401, {}} << Answer{403, {}} << "u::a.b.c" << expired << 2;
        QTest::newRow("rpc 500") << Answer{401, {}} << Answer{500, {}} << "u::a.b.c" << "Cursor usage API HTTP 500." << 2;
        QTest::newRow("500: no rpc") << Answer{500, {}} << ok << "u::a.b.c" << "Cursor usage API HTTP 500." << 1;
        QTest::newRow("html page is not JSON") << Answer{200, "<html></html>"} << ok << "u::a.b.c"
                                               << CursorUsageClient::notJsonText << 1;
        QTest::newRow("line break in cookie") << Answer{401, {}} << ok << "x\r\n::a.b.c" << expired << 0;
        QTest::newRow("line break in token") << Answer{401, {}} << ok << "x::a.b.c%0D%0AX: 1" << expired << 1;
    }
    void failures()
    {
        QFETCH(Answer, summary);
        QFETCH(Answer, rpc);
        QFETCH(QString, cookie);
        QFETCH(QString, text);
        QFETCH(int, requests);
        m_fake.server.on("/api/usage-summary", summary);
        m_fake.server.on("/aiserver.v1.DashboardService/GetCurrentPeriodUsage", rpc);
        const auto s = fetch(cookie);
        QVERIFY(!s.ok());
        QCOMPARE(describe(s.error()), text);
        QCOMPARE(refusesSession(s.error()), text.startsWith("Cursor session expired"));
        QCOMPARE(m_fake.server.requests().size(), requests);
    }

    void ownSixtySecondTimeOut()
    {
        m_fake.server.on("/api/usage-summary", Answer{200, {}, {}, true});
        ManualClock clock;
        auto task = CursorUsageClient::fetch(CursorSession{"plain"}, {m_fake.network, clock}, m_fake.endpoints);
        QTRY_COMPARE_WITH_TIMEOUT(m_fake.server.requests().size(), 1, 10000);
        clock.advance(std::chrono::milliseconds(59999));
        QVERIFY(!task.isReady());
        clock.advance(std::chrono::milliseconds(1));
        QTRY_VERIFY_WITH_TIMEOUT(task.isReady(), 10000);
        QCOMPARE(describe(finish(std::move(task)).error()), QStringLiteral("The request timed out."));
    }

    void redirectToOtherOriginCarriesNoCredential()
    {
        m_fake.server.on("/api/usage-summary", Answer::redirect(302, (m_fake.other.origin() + "/login").toUtf8()));
        m_fake.other.on("/login", Answer{401, {}});
        const auto s = fetch("plain");
        QCOMPARE(s.error(), UsageFailure(CursorClientError::unauthorized()));
        QCOMPARE(m_fake.other.requests().size(), 1);
        for (const QByteArray &name : VendorFake::credentialHeaders())
            QVERIFY2(!m_fake.other.requests()[0].has(name), name.constData());
    }
};

QTEST_GUILESS_MAIN(CursorTest)
#include "tst_cursor.moc"
