// labels: unit
// The Grok client: where the login file is, what of it is read, which login is chosen, the
// credit answer, and its requests to a fake proxy.
#include "usage/clients/GrokUsageClient.h"

#include "fakes/FakeHttpServer.h"
#include "UsageTestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/types.h>

using namespace tavrenhold;
using namespace tavrenhold::test;
using Answer = FakeHttpServer::Answer;

Q_DECLARE_METATYPE(UsageReport)

namespace {

const QDateTime now(QDate(2025, 6, 1), QTime(12, 0), Qt::UTC);

UsageReport xai(UsageLimit limit) { return UsageReport{UsageVendor::xai, {}, {limit}, {}, {}}; }

} // namespace

class GrokTest : public QObject {
    Q_OBJECT

    VendorFake m_fake;
    QTemporaryDir m_home;

    void writeAuth(const QByteArray &bytes)
    {
        QFile f(m_home.filePath("auth.json"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_fake.start());
        m_fake.endpoints.xaiAuth = QStringLiteral("https://auth.x.ai");
        m_fake.endpoints.xaiAccounts = QStringLiteral("https://accounts.x.ai");
        m_fake.endpoints.xaiDownload = QStringLiteral("x.ai/cli");
        QVERIFY(m_home.isValid());
    }
    void init()
    {
        m_fake.server.clearRequests();
        m_fake.other.clearRequests();
        qputenv("GROK_HOME", m_home.path().toUtf8());
        QFile::remove(m_home.filePath("auth.json"));
    }

    void authFileLocation()
    {
        QCOMPARE(GrokUsageClient::authFilePath(), m_home.path() + "/auth.json");
        qputenv("GROK_HOME", "");
        QCOMPARE(GrokUsageClient::authFilePath(), QDir::homePath() + "/.grok/auth.json");
        qunsetenv("GROK_HOME");
        QCOMPARE(GrokUsageClient::authFilePath(), QDir::homePath() + "/.grok/auth.json");
    }

    void token_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("expected"); // the token, or the error text
        const QString noLogin = QStringLiteral(
            "No Grok CLI login. Install Grok (x.ai/cli), run `grok login` in Terminal, then connect xAI.");
        const QString expired = GrokUsageClient::loginExpiredText;
        QTest::newRow("auth before accounts")
            << js("{'https://accounts.x.ai/u':{'key':'acc'},'https://auth.x.ai/u':{'key':'auth'}}") << "auth";
        QTest::newRow("accounts before others") << js("{'a-other':{'key':'o'},'https://accounts.x.ai':{'key':'acc'}}") << "acc";
        QTest::newRow("others: first in name order") << js("{'b':{'key':'second'},'a':{'key':'first'}}") << "first";
        QTest::newRow("empty key skipped") << js("{'https://auth.x.ai':{'key':''},'z':{'key':'z'}}") << "z";
        QTest::newRow("only an empty key") << js("{'https://auth.x.ai':{'key':''}}") << noLogin;
        QTest::newRow("key not text") << js("{'a':{'key':5}}") << noLogin;
        QTest::newRow("entry not object") << js("{'a':'key'}") << noLogin;
        QTest::newRow("not an object") << js("['a']") << noLogin;
        QTest::newRow("not JSON") << QByteArray("key=abc") << noLogin;
        QTest::newRow("no expiry") << js("{'a':{'key':'k'}}") << "k";
        QTest::newRow("expires now") << js("{'a':{'key':'k','expires_at':'2025-06-01T12:00:00Z'}}") << expired;
        QTest::newRow("expires a second later") << js("{'a':{'key':'k','expires_at':'2025-06-01T12:00:01Z'}}") << "k";
        QTest::newRow("expiry in epoch ms, past") << js("{'a':{'key':'k','expires_at':1748779199000}}") << expired;
        QTest::newRow("expiry in epoch ms, future") << js("{'a':{'key':'k','expires_at':1748779201000}}") << "k";
        QTest::newRow("unreadable expiry") << js("{'a':{'key':'k','expires_at':'soon'}}") << "k";
        QTest::newRow("expiry nan") << js("{'a':{'key':'k','expires_at':'nan'}}") << "k";
    }
    void token()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, expected);
        const auto t = GrokUsageClient::token(file, now, m_fake.endpoints);
        QCOMPARE(t.ok() ? t.value() : describe(t.error()), expected);
    }

    void loginFileMustBeSmallRegularFile()
    {
        const QString path = m_home.filePath("auth.json");
        QVERIFY(!GrokUsageClient::readAuthFile(path)); // missing
        writeAuth(js("{'a':{'key':'k'}}"));
        QCOMPARE(GrokUsageClient::readAuthFile(path), std::optional(js("{'a':{'key':'k'}}")));
        QVERIFY(GrokUsageClient::checkLogin(now, m_fake.endpoints).ok());

        writeAuth(QByteArray((1 << 20) + 1, ' '));
        QVERIFY(!GrokUsageClient::readAuthFile(path));

        // A FIFO with no writer would block a plain read for ever.
        QFile::remove(path);
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        QVERIFY(!GrokUsageClient::readAuthFile(path));
        const auto check = GrokUsageClient::checkLogin(now, m_fake.endpoints);
        QVERIFY(!check.ok());
        QVERIFY(describe(check.error()).startsWith("No Grok CLI login."));
        QFile::remove(path);

        QVERIFY(QDir(m_home.path()).mkdir("auth.json"));
        QVERIFY(!GrokUsageClient::readAuthFile(path));
        QVERIFY(QDir(m_home.path()).rmdir("auth.json"));
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<UsageReport>("expected");
        const QDateTime start(QDate(2025, 6, 1), QTime(0, 0), Qt::UTC);
        QTest::newRow("percent only") << js("{'creditUsagePercent':42.5}")
                                      << xai({"Week", UsageSpan::weekly, 43, {}, {}});
        QTest::newRow("zero") << js("{'creditUsagePercent':0}") << xai({"Week", UsageSpan::weekly, 0, {}, {}});
        QTest::newRow("used over cap") << js("{'onDemandUsed':{'val':5},'onDemandCap':{'val':'20'}}")
                                       << xai({"Week", UsageSpan::weekly, 25, {}, {}});
        QTest::newRow("month period")
            << js("{'creditUsagePercent':1,'currentPeriod':{'start':'2025-06-01T00:00:00Z','end':'2025-07-01T00:00:00Z'}}")
            << xai({"Month", UsageSpan::monthly, 1, start.addDays(30), 2592000.0});
        QTest::newRow("week period")
            << js("{'creditUsagePercent':1,'currentPeriod':{'start':'2025-06-01','end':'2025-06-08'}}")
            << xai({"Week", UsageSpan::weekly, 1, start.addDays(7), 604800.0});
        QTest::newRow("day period is a Week label")
            << js("{'creditUsagePercent':1,'billingPeriodStart':1748736000,'billingPeriodEnd':1748822400}")
            << xai({"Week", UsageSpan::daily, 1, start.addDays(1), 86400.0});
        QTest::newRow("end before start")
            << js("{'creditUsagePercent':1,'currentPeriod':{'start':'2025-06-08','end':'2025-06-01'}}")
            << xai({"Week", UsageSpan::weekly, 1, start, {}});
        QTest::newRow("config wins over top level")
            << js("{'creditUsagePercent':90,'config':{'creditUsagePercent':10}}")
            << xai({"Week", UsageSpan::weekly, 10, {}, {}});
        QTest::newRow("nan percent falls back to amounts")
            << js("{'creditUsagePercent':'nan','onDemandUsed':{'val':1},'onDemandCap':{'val':4}}")
            << xai({"Week", UsageSpan::weekly, 25, {}, {}});
    }
    void decode()
    {
        QFETCH(QByteArray, body);
        QFETCH(UsageReport, expected);
        const auto report = GrokUsageClient::decode(body);
        QVERIFY2(report.ok(), qPrintable(report.ok() ? QString() : describe(report.error())));
        QCOMPARE(report.value(), expected);
    }

    void decodeFailures()
    {
        const QString noFigure = GrokUsageClient::noFigureText;
        QCOMPARE(describe(GrokUsageClient::decode(js("{'onDemandUsed':{'val':5},'onDemandCap':{'val':0}}")).error()), noFigure);
        QCOMPARE(describe(GrokUsageClient::decode(js("{'config':{},'creditUsagePercent':5}")).error()), noFigure);
        QCOMPARE(describe(GrokUsageClient::decode(js("{'onDemandUsed':{'val':1e308},'onDemandCap':{'val':1e-308}}")).error()),
            noFigure);
        for (const QByteArray &body : {QByteArray("[]"), QByteArray(), QByteArray("{\"a\""), QByteArray("\x00\x01", 2)})
            QCOMPARE(describe(GrokUsageClient::decode(body).error()),
                QStringLiteral("xAI usage response changed: not a JSON object"));
    }

    void requestShape()
    {
        m_fake.server.on("/v1/billing", Answer::json(js("{'creditUsagePercent':3}")));
        const auto result = finish(GrokUsageClient::fetch("tok-1", {m_fake.network}, m_fake.endpoints));
        QVERIFY(result.ok());
        const auto &r = m_fake.server.requests().first();
        QCOMPARE(r.method, QByteArray("GET"));
        QCOMPARE(r.target, QByteArray("/v1/billing?format=credits"));
        QCOMPARE(r.header("Authorization"), QByteArray("Bearer tok-1"));
        QCOMPARE(r.header("x-xai-token-auth"), QByteArray("xai-grok-cli"));
        QCOMPARE(r.header("Accept"), QByteArray("application/json"));
        QVERIFY(!r.has("Cookie"));
        QVERIFY(r.header("User-Agent") != UsageHTTP::browserUserAgent.toUtf8());
    }

    void statuses_data()
    {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QString>("text");
        QTest::newRow("401") << Answer{401, {}} << GrokUsageClient::loginExpiredText;
        QTest::newRow("403") << Answer{403, {}} << GrokUsageClient::loginExpiredText;
        QTest::newRow("web page") << Answer{200, "<html>"} << GrokUsageClient::loginExpiredText;
        QTest::newRow("404") << Answer{404, {}} << "xAI usage returned HTTP 404.";
        QTest::newRow("500") << Answer{500, {}} << "xAI usage returned HTTP 500.";
        QTest::newRow("not JSON") << Answer{200, "ok"} << "xAI usage response changed: not a JSON object";
    }
    void statuses()
    {
        QFETCH(Answer, answer);
        QFETCH(QString, text);
        m_fake.server.on("/v1/billing", answer);
        const auto result = finish(GrokUsageClient::fetch("tok", {m_fake.network}, m_fake.endpoints));
        QCOMPARE(describe(result.error()), text);
        QVERIFY(!refusesSession(result.error())); // the store keeps the last report
    }

    void fetchReadsLoginFileAfresh()
    {
        m_fake.server.on("/v1/billing", Answer::json(js("{'creditUsagePercent':3}")));
        const auto missing = finish(GrokUsageClient::fetchWithLoginFile({m_fake.network}, m_fake.endpoints));
        QVERIFY(describe(missing.error()).startsWith("No Grok CLI login. Install Grok (x.ai/cli)"));
        QCOMPARE(m_fake.server.requests().size(), 0);
        writeAuth(js("{'https://auth.x.ai/a':{'key':'from-file'}}"));
        QVERIFY(finish(GrokUsageClient::fetchWithLoginFile({m_fake.network}, m_fake.endpoints)).ok());
        QCOMPARE(m_fake.server.requests().first().header("Authorization"), QByteArray("Bearer from-file"));
    }

    void redirectToOtherOriginCarriesNoCredential()
    {
        m_fake.server.on("/v1/billing", Answer::redirect(308, (m_fake.other.origin() + "/v1/billing?format=credits").toUtf8()));
        m_fake.other.on("/v1/billing", Answer::json(js("{'creditUsagePercent':3}")));
        QVERIFY(finish(GrokUsageClient::fetch("tok", {m_fake.network}, m_fake.endpoints)).ok());
        QCOMPARE(m_fake.other.requests().size(), 1);
        for (const QByteArray &name : VendorFake::credentialHeaders())
            QVERIFY2(!m_fake.other.requests()[0].has(name), name.constData());
    }
};

QTEST_GUILESS_MAIN(GrokTest)
#include "tst_grok.moc"
