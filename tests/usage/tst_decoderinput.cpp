// labels: unit
// Every decoder of vendor answers takes any bytes: each prefix of a real answer, each value swapped
// for each JSON type, deep nesting, huge numbers and invalid UTF-8. Each must come back with a
// report or an error, never a crash or a hang.
#include "usage/clients/ChatGPTUsageClient.h"
#include "usage/clients/ClaudeUsageClient.h"
#include "usage/clients/CopilotUsageClient.h"
#include "usage/clients/CursorUsageClient.h"
#include "usage/clients/GeminiUsageClient.h"
#include "usage/clients/GrokUsageClient.h"

#include "UsageTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <functional>

using namespace tavrenhold;
using namespace tavrenhold::test;

using Decoder = std::function<bool(const QByteArray &)>; // true: a value came back

Q_DECLARE_METATYPE(Decoder)

namespace {

const QDateTime now(QDate(2025, 6, 1), QTime(12, 0), Qt::UTC);

const QList<QJsonValue> wrongValues{QJsonValue(QJsonValue::Null), QJsonValue(true), QJsonValue(1e308),
    QJsonValue(-1), QJsonValue(0), QJsonValue(QStringLiteral("x")), QJsonValue(QStringLiteral("nan")),
    QJsonValue(QStringLiteral("-inf")), QJsonValue(QStringLiteral("9e999")), QJsonValue(QJsonArray{}),
    QJsonValue(QJsonObject{}), QJsonValue(QJsonArray{QJsonObject{}})};

// The document with the value at each position, one at a time, replaced by each wrong value.
void variants(const QJsonValue &value, const std::function<QJsonValue(QJsonValue)> &rebuild, QList<QByteArray> &out)
{
    for (const QJsonValue &w : wrongValues) {
        const QJsonValue whole = rebuild(w);
        out << (whole.isArray() ? QJsonDocument(whole.toArray()) : QJsonDocument(whole.toObject())).toJson(QJsonDocument::Compact);
    }
    if (value.isObject()) {
        const QJsonObject o = value.toObject();
        for (auto it = o.begin(); it != o.end(); ++it) {
            const QString key = it.key();
            variants(it.value(), [o, key, rebuild](QJsonValue v) {
                QJsonObject copy = o;
                copy.insert(key, v);
                return rebuild(copy);
            }, out);
        }
    } else if (value.isArray()) {
        const QJsonArray a = value.toArray();
        for (qsizetype i = 0; i < a.size(); ++i)
            variants(a.at(i), [a, i, rebuild](QJsonValue v) {
                QJsonArray copy = a;
                copy.replace(i, v);
                return rebuild(copy);
            }, out);
    }
}

QList<QByteArray> corpus(const QByteArray &valid)
{
    QList<QByteArray> out;
    for (qsizetype n = 0; n <= valid.size(); ++n)
        out << valid.left(n);
    const QJsonDocument doc = QJsonDocument::fromJson(valid);
    const QJsonValue root = doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
    variants(root, [](QJsonValue v) { return v; }, out);
    out << QByteArray(200000, '[') << (QByteArray(3000, '{').replace("{", "{\"a\":") + "1" + QByteArray(3000, '}'))
        << QByteArray("\xff\xfe\xfd") << ("{\"x\":\"" + QByteArray(64, '\xc3') + "\"}") << QByteArray("1e999999")
        << QByteArray(1 << 20, ' ') << QByteArray("\0\0\0", 3) << QByteArray(")]}'") << QByteArray("null");
    return out;
}

} // namespace

class DecoderInputTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void anyBytes_data()
    {
        QTest::addColumn<Decoder>("decoder");
        QTest::addColumn<QByteArray>("valid");
        const UsageEndpoints endpoints;
        QTest::newRow("chatgpt usage") << Decoder([](const QByteArray &b) { return ChatGPTUsageClient::decodeUsage(b, now).ok(); })
            << js("{'plan_type':'plus','rate_limit':{'primary_window':{'used_percent':37.4,'limit_window_seconds':18000,"
                  "'reset_at':'2025-06-01T17:00:00Z','reset_after_seconds':5},'secondary_window':{'used_percent':1}}}");
        QTest::newRow("chatgpt session") << Decoder([](const QByteArray &b) {
            return ChatGPTUsageClient::decodeSession(b, "https://api.openai.com/auth").ok();
        }) << js("{'accessToken':'a.eyJ4IjoxfQ.c','account':{'id':'x'}}");
        QTest::newRow("claude organizations") << Decoder([](const QByteArray &b) { return ClaudeUsageClient::organizationID(b).ok(); })
                                              << js("[{'uuid':'a','capabilities':['chat']},{'uuid':'b'}]");
        QTest::newRow("claude usage") << Decoder([](const QByteArray &b) { return ClaudeUsageClient::decodeUsage(b).ok(); })
            << js("{'five_hour':{'utilization':12.5,'resets_at':'2025-06-02T00:00:00Z'},'seven_day':{'utilization':80},"
                  "'seven_day_sonnet':{'utilization':1},'seven_day_opus':{'utilization':2}}");
        QTest::newRow("gemini") << Decoder([](const QByteArray &b) { return GeminiUsageClient::decode(b).ok(); })
            << js("[{'data':{'viewer':{'rpcs':{'getUsageInfo':{'subscriptionTier':'TIER1','pools':[{'poolType':'GXU_WEEKLY',"
                  "'percentageUsed':0.5,'gxu':{'windowRefreshesAt':'2025-06-01T00:00:00Z'}}]}}}}}]");
        QTest::newRow("grok usage") << Decoder([](const QByteArray &b) { return GrokUsageClient::decode(b).ok(); })
            << js("{'config':{'creditUsagePercent':1,'onDemandUsed':{'val':5},'onDemandCap':{'val':20},"
                  "'currentPeriod':{'start':'2025-06-01','end':'2025-07-01'},'billingPeriodEnd':1}}");
        QTest::newRow("grok login file") << Decoder([endpoints](const QByteArray &b) {
            return GrokUsageClient::token(b, now, endpoints).ok();
        }) << js("{'https://auth.x.ai':{'key':'k','expires_at':1900000000},'b':{'key':'j'}}");
        QTest::newRow("cursor summary") << Decoder([](const QByteArray &b) {
            const auto s = CursorUsageClient::decodeSummary(b);
            if (s.ok())
                (void)s.value().report();
            return s.ok();
        }) << js("{'membershipType':'pro','isUnlimited':false,'billingCycleStart':'2025-03-01T00:00:00Z',"
                 "'billingCycleEnd':'2025-04-01T00:00:00Z','individualUsage':{'plan':{'autoPercentUsed':1,'apiPercentUsed':2,"
                 "'totalPercentUsed':3}},'autoModelSelectedDisplayMessage':'You\\u0027ve used 5%'}");
        QTest::newRow("cursor rpc") << Decoder([](const QByteArray &b) {
            const auto s = CursorUsageClient::decodePeriodUsage(b);
            if (s.ok())
                (void)s.value().report();
            return s.ok();
        }) << js("{'planUsage':{'autoPercentUsed':1,'apiPercentUsed':2,'totalPercentUsed':3},'displayMessage':'x',"
                 "'billingCycleStart':'1740787200000','billingCycleEnd':1743465600000}");
        QTest::newRow("copilot quota") << Decoder([](const QByteArray &b) { return CopilotUsageClient::decode(b).ok(); })
            << js("{'copilot_plan':'individual','quota_reset_date':'2025-05-01','quota_snapshots':{'premium_interactions':"
                  "{'entitlement':300,'remaining':150},'chat':{'percent_remaining':50,'unlimited':false}}}");
        QTest::newRow("copilot device code") << Decoder([](const QByteArray &b) {
            return CopilotUsageClient::decodeDeviceCode(QJsonDocument::fromJson(b).object()).ok();
        }) << js("{'device_code':'d','user_code':'u','verification_uri':'https://g.example/d','interval':5,'expires_in':900}");
    }
    void anyBytes()
    {
        QFETCH(Decoder, decoder);
        QFETCH(QByteArray, valid);
        QVERIFY(decoder(valid));
        int values = 0;
        const QList<QByteArray> inputs = corpus(valid);
        for (const QByteArray &input : inputs)
            values += decoder(input) ? 1 : 0;
        QVERIFY(values >= 1);
        QVERIFY(values < inputs.size());
    }
};

QTEST_GUILESS_MAIN(DecoderInputTest)
#include "tst_decoderinput.moc"
