// labels: unit
// The usage value types: raw values, headline and window choice, span classes, percentages, the
// share arithmetic, date ranges in three locales and the error texts.
#include "usage/UsageModels.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <limits>

using namespace tavrenhold;

Q_DECLARE_METATYPE(UsageReport)
Q_DECLARE_METATYPE(UsagePeriod)
Q_DECLARE_METATYPE(std::optional<UsageLimit>)
Q_DECLARE_METATYPE(UsageSpan)
Q_DECLARE_METATYPE(UsageFetchError)
Q_DECLARE_METATYPE(QList<UsageVendorSample>)
Q_DECLARE_METATYPE(QList<UsageShare>)

namespace {

QDateTime utc(int y, int m, int d, int h = 0, int min = 0, int s = 0)
{
    return QDateTime(QDate(y, m, d), QTime(h, min, s), Qt::UTC);
}

UsageLimit limit(const QString &label, UsageSpan span, int percent, std::optional<QDateTime> reset = {},
    std::optional<double> duration = {})
{
    return UsageLimit{label, span, percent, reset, duration};
}

UsageReport report(QList<UsageLimit> limits, std::optional<UsageVendorWindow> billing = {})
{
    return UsageReport{UsageVendor::anthropic, QStringLiteral("Pro"), std::move(limits), {}, billing};
}

UsageModelSlice slice(const QString &m, std::int64_t tokens, std::optional<int> percent = {})
{
    return UsageModelSlice{m, tokens, percent};
}

} // namespace

class UsageModelsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rawValues_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<bool>("vendor");
        QTest::addColumn<bool>("period");
        QTest::addColumn<bool>("state");
        QTest::newRow("openai") << "openai" << true << false << false;
        QTest::newRow("copilot") << "copilot" << true << false << false;
        QTest::newRow("today") << "today" << false << true << false;
        QTest::newRow("vendor period") << "vendor" << false << true << false;
        QTest::newRow("connecting") << "connecting" << false << false << true;
        QTest::newRow("display name") << "OpenAI" << false << false << false;
        QTest::newRow("title") << "Today" << false << false << false;
        QTest::newRow("upper case") << "XAI" << false << false << false;
        QTest::newRow("padded") << " xai" << false << false << false;
        QTest::newRow("empty") << "" << false << false << false;
    }
    void rawValues()
    {
        QFETCH(QString, raw);
        QFETCH(bool, vendor);
        QFETCH(bool, period);
        QFETCH(bool, state);
        const auto v = usageVendorFromRaw(raw);
        const auto p = usagePeriodFromRaw(raw);
        const auto s = usageAuthStateFromRaw(raw);
        QCOMPARE(v.has_value(), vendor);
        QCOMPARE(p.has_value(), period);
        QCOMPARE(s.has_value(), state);
        if (v)
            QCOMPARE(rawValue(*v), raw);
        if (p)
            QCOMPARE(rawValue(*p), raw);
    }

    void namesAndOrder()
    {
        QStringList names;
        for (UsageVendor v : alphabeticalUsageVendors())
            names << displayName(v);
        QCOMPARE(names, (QStringList{"Anthropic", "Copilot", "Cursor", "Google", "OpenAI", "xAI"}));
        QStringList titles;
        for (UsagePeriod p : allUsagePeriods)
            titles << title(p);
        QCOMPARE(titles, (QStringList{"Today", "7 Days", "Month", "Period"}));
    }

    void connectionJson_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("reads");
        QTest::newRow("connected") << QByteArray(R"({"vendor":"cursor","state":"connected"})") << true;
        QTest::newRow("unknown vendor") << QByteArray(R"({"vendor":"Cursor","state":"connected"})") << false;
        QTest::newRow("unknown state") << QByteArray(R"({"vendor":"cursor","state":"on"})") << false;
        QTest::newRow("state missing") << QByteArray(R"({"vendor":"cursor"})") << false;
        QTest::newRow("number") << QByteArray(R"({"vendor":1,"state":"connected"})") << false;
    }
    void connectionJson()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, reads);
        const auto c = UsageConnection::fromJson(QJsonDocument::fromJson(json).object());
        QCOMPARE(c.has_value(), reads);
        if (c)
            QCOMPARE(QJsonDocument(c->toJson().toObject()).toJson(QJsonDocument::Compact),
                QByteArray(R"({"state":"connected","vendor":"cursor"})"));
    }

    void headline_data()
    {
        QTest::addColumn<UsageReport>("report");
        QTest::addColumn<UsagePeriod>("period");
        QTest::addColumn<std::optional<UsageLimit>>("expected");
        const UsageLimit w1 = limit("Week", UsageSpan::weekly, 30);
        const UsageLimit w2 = limit("Opus", UsageSpan::weekly, 60);
        const UsageLimit s1 = limit("5h", UsageSpan::session, 10);
        const UsageLimit s2 = limit("5h b", UsageSpan::session, 10);
        const UsageLimit m1 = limit("Month", UsageSpan::monthly, 5);
        const UsageReport weeklyOnly = report({w1, w2});
        QTest::newRow("only weekly, today falls back") << weeklyOnly << UsagePeriod::today << std::optional(w2);
        QTest::newRow("only weekly, month falls back") << weeklyOnly << UsagePeriod::month << std::optional(w2);
        QTest::newRow("only weekly, week") << weeklyOnly << UsagePeriod::week << std::optional(w2);
        QTest::newRow("tie: earliest wins") << report({s1, s2, w1}) << UsagePeriod::today << std::optional(s1);
        QTest::newRow("today ignores higher weekly") << report({w2, s1}) << UsagePeriod::today << std::optional(s1);
        QTest::newRow("vendor: highest of all") << report({s1, m1, w2}) << UsagePeriod::vendor << std::optional(w2);
        QTest::newRow("no limits") << report({}) << UsagePeriod::vendor << std::optional<UsageLimit>();
    }
    void headline()
    {
        QFETCH(UsageReport, report);
        QFETCH(UsagePeriod, period);
        QFETCH(std::optional<UsageLimit>, expected);
        QCOMPARE(report.headline(period), expected);
    }

    void window()
    {
        const QDateTime reset = utc(2025, 6, 8);
        const UsageVendorWindow billing{"Pro cycle", utc(2025, 6, 1), utc(2025, 7, 1)};
        const UsageReport withBilling = report({limit("Week", UsageSpan::weekly, 40, reset, 604800)}, billing);
        for (UsagePeriod p : allUsagePeriods)
            QCOMPARE(withBilling.window(p), std::optional(billing));

        const UsageReport derived = report({limit("Week", UsageSpan::weekly, 40, reset, 604800)});
        QCOMPARE(derived.window(UsagePeriod::week), std::optional(UsageVendorWindow{"Week", utc(2025, 6, 1), reset}));
        QCOMPARE(report({limit("Week", UsageSpan::weekly, 40, reset)}).window(UsagePeriod::week), std::nullopt);
        QCOMPARE(report({limit("Week", UsageSpan::weekly, 40, {}, 604800)}).window(UsagePeriod::week), std::nullopt);
        QCOMPARE(report({}).window(UsagePeriod::today), std::nullopt);
        // A duration no date can hold gives no window instead of an invalid one.
        QCOMPARE(report({limit("W", UsageSpan::weekly, 1, reset, 1e300)}).window(UsagePeriod::week), std::nullopt);
    }

    void span_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<UsageSpan>("span");
        QTest::newRow("21599") << 21599.0 << UsageSpan::session;
        QTest::newRow("21600") << 21600.0 << UsageSpan::daily;
        QTest::newRow("129599") << 129599.0 << UsageSpan::daily;
        QTest::newRow("129600") << 129600.0 << UsageSpan::weekly;
        QTest::newRow("691199") << 691199.0 << UsageSpan::weekly;
        QTest::newRow("691200") << 691200.0 << UsageSpan::monthly;
    }
    void span()
    {
        QFETCH(double, seconds);
        QFETCH(UsageSpan, span);
        QCOMPARE(usageSpan(seconds), span);
    }

    void clampedPercent_data()
    {
        QTest::addColumn<double>("figure");
        QTest::addColumn<int>("percent");
        QTest::newRow("-3") << -3.0 << 0;
        QTest::newRow("0") << 0.0 << 0;
        QTest::newRow("0.4") << 0.4 << 0;
        QTest::newRow("0.5") << 0.5 << 1;
        QTest::newRow("42.4") << 42.4 << 42;
        QTest::newRow("99.5") << 99.5 << 100;
        QTest::newRow("180") << 180.0 << 100;
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << 0;
        QTest::newRow("inf") << std::numeric_limits<double>::infinity() << 100;
    }
    void clampedPercent()
    {
        QFETCH(double, figure);
        QFETCH(int, percent);
        QCOMPARE(UsageLimit::clampedPercent(figure), percent);
    }

    void shares_data()
    {
        QTest::addColumn<QList<UsageVendorSample>>("samples");
        QTest::addColumn<QList<UsageShare>>("shares");
        const auto A = UsageVendor::anthropic, C = UsageVendor::cursor, O = UsageVendor::openai;
        QTest::newRow("empty") << QList<UsageVendorSample>{} << QList<UsageShare>{};
        QTest::newRow("all zero keep order")
            << QList<UsageVendorSample>{{A, {slice("a", 0)}, 3}, {C, {}, std::nullopt}}
            << QList<UsageShare>{{A, 0, 0, {slice("a", 0)}, 3}, {C, 0, 0, {}, std::nullopt}};
        QTest::newRow("equal sums keep order, more moves first")
            << QList<UsageVendorSample>{{A, {slice("a", 10)}, {}}, {C, {slice("c", 10)}, {}}, {O, {slice("o", 30)}, {}}}
            << QList<UsageShare>{{O, 30, 0.6, {slice("o", 30)}, {}}, {A, 10, 0.2, {slice("a", 10)}, {}},
                   {C, 10, 0.2, {slice("c", 10)}, {}}};
        QTest::newRow("slices by percent, else tokens")
            << QList<UsageVendorSample>{{A, {slice("p80", 1, 80), slice("t500", 500), slice("p20", 1, 20)}, {}}}
            << QList<UsageShare>{{A, 502, 1.0, {slice("t500", 500), slice("p80", 1, 80), slice("p20", 1, 20)}, {}}};
        const std::int64_t big = std::numeric_limits<std::int64_t>::max();
        QTest::newRow("sums saturate")
            << QList<UsageVendorSample>{{A, {slice("x", big), slice("y", big)}, {}}, {C, {slice("z", 1)}, {}}}
            << QList<UsageShare>{{A, big, 1.0, {slice("x", big), slice("y", big)}, {}},
                   {C, 1, 1.0 / double(big), {slice("z", 1)}, {}}};
    }
    void shares()
    {
        QFETCH(QList<UsageVendorSample>, samples);
        QFETCH(QList<UsageShare>, shares);
        QCOMPARE(UsageMix::shares(samples), shares);
    }

    void modelFractions()
    {
        const UsageShare zero{UsageVendor::google, 0, 0, {slice("a", 0), slice("b", 0)}, {}};
        for (const auto &f : UsageMix::modelFractions(zero))
            QCOMPARE(f.fraction, 0.0);
        const UsageShare share{UsageVendor::google, 4, 1, {slice("a", 3), slice("b", 1)}, {}};
        const auto f = UsageMix::modelFractions(share);
        QCOMPARE(f.size(), 2);
        QCOMPARE(f[0].fraction, 0.75);
        QCOMPARE(f[1].slice.model, QStringLiteral("b"));
        QCOMPARE(f[1].fraction, 0.25);
    }

    void shortRange_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<QString>("text");
        QTest::newRow("en_US") << QByteArray("en_US") << QStringLiteral("Dec 9\u2013Jan 8");
        QTest::newRow("de_DE") << QByteArray("de_DE") << QStringLiteral("9. Dez.\u20138. Jan.");
        QTest::newRow("ja_JP") << QByteArray("ja_JP") << QStringLiteral("12\u67089\u65E5\u20131\u67088\u65E5");
    }
    void shortRange()
    {
        QFETCH(QByteArray, locale);
        QFETCH(QString, text);
        // Noon UTC: the same day in Berlin and Tokyo; 23:30 UTC is already the next day in Tokyo.
        const UsageVendorWindow w{"Cycle", utc(2025, 12, 9, 12), utc(2026, 1, 8, 12)};
        QCOMPARE(w.shortRange(locale, "Europe/Berlin"), text);
        const UsageVendorWindow late{"Cycle", utc(2025, 12, 9, 23, 30), utc(2026, 1, 8, 23, 30)};
        QCOMPARE(late.shortRange("en_US", "Asia/Tokyo"), QStringLiteral("Dec 10\u2013Jan 9"));
        QVERIFY(!w.shortRange().contains(u' ' + QString(QChar(0x2013))));
    }

    void errorTexts_data()
    {
        QTest::addColumn<UsageFetchError>("error");
        QTest::addColumn<QString>("text");
        QTest::newRow("signed out")
            << UsageFetchError::signedOut(UsageVendor::copilot)
            << QStringLiteral("Copilot session expired. Sign in again in Settings \u203A AI Usage.");
        QTest::newRow("http") << UsageFetchError::http(UsageVendor::xai, 502)
                              << QStringLiteral("xAI usage returned HTTP 502.");
        QTest::newRow("schema") << UsageFetchError::schema(UsageVendor::openai, "not a JSON object")
                                << QStringLiteral("OpenAI usage response changed: not a JSON object");
        QTest::newRow("unavailable") << UsageFetchError::unavailable(UsageVendor::google, "No response from Google.")
                                     << QStringLiteral("No response from Google.");
    }
    void errorTexts()
    {
        QFETCH(UsageFetchError, error);
        QFETCH(QString, text);
        QCOMPARE(error.errorDescription(), text);
        QCOMPARE(describe(UsageFailure(error)), text);
        QCOMPARE(refusesSession(UsageFailure(error)), error.kind == UsageFetchError::Kind::signedOut);
    }

    void cursorErrors()
    {
        QCOMPARE(CursorClientError::unauthorized().errorDescription(),
            QStringLiteral("Cursor session expired. Sign in again from Settings \u203A AI Usage."));
        QCOMPARE(CursorClientError::http(500).errorDescription(), QStringLiteral("Cursor usage API HTTP 500."));
        QCOMPARE(CursorClientError::schema("root not object").errorDescription(),
            QStringLiteral("Cursor usage response unexpected: root not object"));
        QVERIFY(refusesSession(UsageFailure(CursorClientError::unauthorized())));
        QVERIFY(!refusesSession(UsageFailure(CursorClientError::http(401))));
        QVERIFY(isCancellation(UsageFailure(UsageCancelled{})));
        QCOMPARE(describe(UsageFailure(UsageCancelled{})), QString());
    }
};

QTEST_GUILESS_MAIN(UsageModelsTest)
#include "tst_usagemodels.moc"
