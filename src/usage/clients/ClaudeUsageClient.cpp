#include "ClaudeUsageClient.h"

#include "ClientSupport.h"

#include <QRegularExpression>

namespace tavrenhold::ClaudeUsageClient {

namespace {

constexpr UsageVendor vendor = UsageVendor::anthropic;

QString noOrganization() { return QStringLiteral("No Claude organization on this account."); }

std::optional<UsageLimit> limit(const QJsonObject &root, const QString &key, const QString &label, double duration)
{
    const QJsonValue window = root.value(key);
    if (!window.isObject())
        return std::nullopt;
    const auto used = UsageHTTP::figure(window.toObject().value(QStringLiteral("utilization")));
    if (!used)
        return std::nullopt;
    return UsageLimit{label, usageSpan(duration), UsageLimit::clampedPercent(*used),
        UsageHTTP::date(window.toObject().value(QStringLiteral("resets_at"))), duration};
}

QCoro::Task<Result<QByteArray, UsageFailure>> get(
    QString path, QString sessionKey, UsageRequestContext context, UsageEndpoints endpoints)
{
    QNetworkRequest request = endpoints.request(clients::address(endpoints.anthropicWeb, path));
    clients::setHeader(request, "Cookie", QStringLiteral("sessionKey=") + sessionKey);
    request.setRawHeader("Accept", UsageHTTP::jsonAccept);
    request.setRawHeader("User-Agent", UsageHTTP::browserUserAgent.toUtf8());
    co_return co_await UsageHTTP::data(request, vendor, context);
}

} // namespace

Result<QString, UsageFailure> organizationID(const QByteArray &body)
{
    using R = Result<QString, UsageFailure>;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    const auto notList = UsageFetchError::schema(vendor, QStringLiteral("organizations not a list"));
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return R::failure(notList);
    const QJsonArray list = doc.array();
    for (const QJsonValue &o : list)
        if (!o.isObject())
            return R::failure(notList);
    if (list.isEmpty())
        return R::failure(UsageFetchError::unavailable(vendor, noOrganization()));

    auto canChat = [](const QJsonObject &o) {
        const QJsonValue capabilities = o.value(QStringLiteral("capabilities"));
        if (!capabilities.isArray())
            return false;
        const QJsonArray list = capabilities.toArray();
        for (const QJsonValue &c : list)
            if (!c.isString())
                return false; // not a list of texts: no capabilities
        for (const QJsonValue &c : list)
            if (c.toString().toLower() == u"chat")
                return true;
        return false;
    };
    QJsonObject chosen = list.first().toObject();
    for (const QJsonValue &o : list)
        if (canChat(o.toObject())) {
            chosen = o.toObject();
            break;
        }
    const QJsonValue uuid = chosen.value(QStringLiteral("uuid"));
    if (!uuid.isString() || uuid.toString().isEmpty())
        return R::failure(UsageFetchError::unavailable(vendor, noOrganization()));
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9_-]+$"));
    if (!safe.match(uuid.toString()).hasMatch())
        return R::failure(UsageFetchError::schema(vendor, QStringLiteral("organization id")));
    return uuid.toString();
}

Result<UsageReport, UsageFailure> decodeUsage(const QByteArray &body)
{
    using R = Result<UsageReport, UsageFailure>;
    const auto root = clients::jsonObject(body);
    if (!root)
        return R::failure(UsageFetchError::schema(vendor, QStringLiteral("not a JSON object")));
    UsageReport report;
    report.vendor = vendor;
    if (auto l = limit(*root, QStringLiteral("five_hour"), QStringLiteral("5h"), 18000))
        report.limits.append(*l);
    if (auto l = limit(*root, QStringLiteral("seven_day"), QStringLiteral("Week"), 604800))
        report.limits.append(*l);
    if (auto l = limit(*root, QStringLiteral("seven_day_sonnet"), QStringLiteral("Sonnet week"), 604800))
        report.limits.append(*l);
    else if (auto o = limit(*root, QStringLiteral("seven_day_opus"), QStringLiteral("Opus week"), 604800))
        report.limits.append(*o);
    if (report.limits.isEmpty())
        return R::failure(
            UsageFetchError::unavailable(vendor, QStringLiteral("This Claude account reports no plan limits.")));
    return report;
}

QCoro::Task<UsageFetchResult> fetch(UsageSession cookies, UsageRequestContext context, UsageEndpoints endpoints)
{
    using R = UsageFetchResult;
    const QString sessionKey = cookies.value(QStringLiteral("sessionKey"));
    if (sessionKey.isEmpty())
        co_return R::failure(UsageFetchError::signedOut(vendor));
    const auto list = co_await get(QStringLiteral("/api/organizations"), sessionKey, context, endpoints);
    if (!list.ok())
        co_return R::failure(list.error());
    const auto organization = organizationID(list.value());
    if (!organization.ok())
        co_return R::failure(organization.error());
    const auto usage = co_await get(
        QStringLiteral("/api/organizations/") + organization.value() + QStringLiteral("/usage"), sessionKey, context,
        endpoints);
    if (!usage.ok())
        co_return R::failure(usage.error());
    const auto report = decodeUsage(usage.value());
    if (!report.ok())
        co_return R::failure(report.error());
    co_return report.value();
}

} // namespace tavrenhold::ClaudeUsageClient
