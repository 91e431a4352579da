#include "GeminiUsageClient.h"

#include "ClientSupport.h"

namespace tavrenhold::GeminiUsageClient {

namespace {

constexpr UsageVendor vendor = UsageVendor::google;

std::optional<UsageLimit> limit(const QJsonArray &pools, const QString &type, const QString &label, double duration)
{
    for (const QJsonValue &p : pools) {
        const QJsonObject pool = p.toObject();
        const QJsonValue poolType = pool.value(QStringLiteral("poolType"));
        if (!poolType.isString() || poolType.toString() != type)
            continue;
        const auto used = UsageHTTP::figure(pool.value(QStringLiteral("percentageUsed")));
        if (!used || *used < 0)
            return std::nullopt;
        std::optional<QDateTime> reset;
        const QJsonValue gxu = pool.value(QStringLiteral("gxu"));
        if (gxu.isObject())
            reset = UsageHTTP::date(gxu.toObject().value(QStringLiteral("windowRefreshesAt")));
        return UsageLimit{label, usageSpan(duration), UsageLimit::clampedPercent(*used * 100), reset, duration};
    }
    return std::nullopt;
}

} // namespace

Result<UsageReport, UsageFailure> decode(const QByteArray &body)
{
    using R = Result<UsageReport, UsageFailure>;
    QString text = QString::fromUtf8(body).trimmed();
    if (text.startsWith(QStringLiteral(")]}'")))
        text.remove(0, 4);
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    QJsonArray candidates;
    if (error.error == QJsonParseError::NoError) {
        if (doc.isArray())
            candidates = doc.array();
        else if (doc.isObject())
            candidates.append(doc.object());
    }
    std::optional<QJsonObject> data;
    for (const QJsonValue &c : candidates) {
        const QJsonValue d = c.toObject().value(QStringLiteral("data"));
        if (d.isObject() && !d.toObject().isEmpty() && d.toObject().contains(QStringLiteral("viewer"))) {
            data = d.toObject();
            break;
        }
    }
    if (!data)
        return R::failure(UsageFetchError::schema(vendor, QStringLiteral("no viewer")));
    const QJsonValue viewer = data->value(QStringLiteral("viewer"));
    if (!viewer.isObject())
        return R::failure(UsageFetchError::signedOut(vendor));
    const auto noPools = UsageFetchError::schema(vendor, QStringLiteral("no usage pools"));
    const QJsonValue rpcs = viewer.toObject().value(QStringLiteral("rpcs"));
    if (!rpcs.isObject())
        return R::failure(noPools);
    const QJsonValue usageValue = rpcs.toObject().value(QStringLiteral("getUsageInfo"));
    if (!usageValue.isObject())
        return R::failure(noPools);
    const QJsonObject usage = usageValue.toObject();
    const QJsonValue poolsValue = usage.value(QStringLiteral("pools"));
    if (!poolsValue.isArray())
        return R::failure(noPools);
    const QJsonArray pools = poolsValue.toArray();
    for (const QJsonValue &p : pools)
        if (!p.isObject())
            return R::failure(noPools);

    UsageReport report;
    report.vendor = vendor;
    if (auto l = limit(pools, QStringLiteral("GXU_FIVE_HOURLY"), QStringLiteral("5h"), 18000))
        report.limits.append(*l);
    if (auto l = limit(pools, QStringLiteral("GXU_WEEKLY"), QStringLiteral("Week"), 604800))
        report.limits.append(*l);
    if (report.limits.isEmpty())
        return R::failure(UsageFetchError::unavailable(
            vendor, QStringLiteral("This Google account reports no Gemini app limits.")));
    const QJsonValue tier = usage.value(QStringLiteral("subscriptionTier"));
    if (tier.isString() && tier.toString() == u"TIER1")
        report.plan = QStringLiteral("Pro");
    return report;
}

QCoro::Task<UsageFetchResult> fetch(UsageSession cookies, UsageRequestContext context, UsageEndpoints endpoints)
{
    using R = UsageFetchResult;
    const QString address = endpoints.googleWeb
        + QStringLiteral("/_/BardChatUi/graphql/schemas/GEMINI_WEB_GRAPHQL/executeQuery?")
        + UsageHTTP::query({{QStringLiteral("query_signature"), querySignature}, {QStringLiteral("variables"), variables}});
    QNetworkRequest request = endpoints.request(QUrl::fromEncoded(address.toUtf8(), QUrl::StrictMode));
    clients::setHeader(request, "Cookie", cookieHeader(cookies));
    request.setRawHeader("Accept", UsageHTTP::jsonAccept);
    request.setRawHeader("Referer", (endpoints.googleWeb + QStringLiteral("/usage")).toUtf8());
    request.setRawHeader("User-Agent", UsageHTTP::browserUserAgent.toUtf8());
    const auto body = co_await UsageHTTP::data(request, vendor, context);
    if (!body.ok())
        co_return R::failure(body.error());
    const auto report = decode(body.value());
    if (!report.ok())
        co_return R::failure(report.error());
    co_return report.value();
}

} // namespace tavrenhold::GeminiUsageClient
