#include "ChatGPTUsageClient.h"

#include "ClientSupport.h"

#include <cmath>

namespace tavrenhold::ChatGPTUsageClient {

namespace {

constexpr UsageVendor vendor = UsageVendor::openai;

UsageFetchError notObject() { return UsageFetchError::schema(vendor, QStringLiteral("not a JSON object")); }

void applyBrowserHeaders(QNetworkRequest &request, const UsageSession &cookies, const UsageEndpoints &endpoints)
{
    clients::setHeader(request, "Cookie", cookieHeader(cookies));
    request.setRawHeader("Accept", UsageHTTP::jsonAccept);
    request.setRawHeader("User-Agent", UsageHTTP::browserUserAgent.toUtf8());
    request.setRawHeader("Referer", (endpoints.openaiWeb + QStringLiteral("/codex/settings/usage")).toUtf8());
}

QString spanLabel(UsageSpan span)
{
    switch (span) {
    case UsageSpan::session: return QStringLiteral("5h");
    case UsageSpan::daily: return QStringLiteral("Day");
    case UsageSpan::weekly: return QStringLiteral("Week");
    case UsageSpan::monthly: return QStringLiteral("Month");
    }
    return {};
}

std::optional<UsageLimit> limit(const QString &key, const QJsonValue &rateLimit, const QDateTime &now)
{
    if (!rateLimit.isObject())
        return std::nullopt;
    const QJsonValue windowValue = rateLimit.toObject().value(key);
    if (!windowValue.isObject())
        return std::nullopt;
    const QJsonObject window = windowValue.toObject();
    const auto used = UsageHTTP::figure(window.value(QStringLiteral("used_percent")));
    if (!used)
        return std::nullopt;
    const auto length = UsageHTTP::figure(window.value(QStringLiteral("limit_window_seconds")));
    std::optional<QDateTime> reset = UsageHTTP::date(window.value(QStringLiteral("reset_at")));
    if (!reset) {
        // Counted from now, whatever its sign; a figure no date can hold gives no reset time.
        const auto after = UsageHTTP::figure(window.value(QStringLiteral("reset_after_seconds")));
        if (after && std::fabs(*after) < 1e13) {
            const QDateTime t = now.addMSecs(qint64(std::llround(*after * 1000)));
            if (t.isValid())
                reset = t;
        }
    }
    UsageLimit l;
    if (length) {
        l.span = usageSpan(*length);
        l.label = spanLabel(l.span);
    } else if (key == u"primary_window") {
        l.span = UsageSpan::session;
        l.label = QStringLiteral("5h");
    } else {
        l.span = UsageSpan::weekly;
        l.label = QStringLiteral("Week");
    }
    l.percentUsed = UsageLimit::clampedPercent(*used);
    l.resetsAt = reset;
    l.duration = length;
    return l;
}

} // namespace

std::optional<QString> accountIDClaim(const QString &jwt, const QString &claimKey)
{
    const QStringList pieces = jwt.split(u'.', Qt::SkipEmptyParts);
    if (pieces.size() < 2)
        return std::nullopt;
    QString payload = pieces[1];
    payload.replace(u'-', u'+').replace(u'_', u'/');
    while (payload.size() % 4 != 0)
        payload.append(u'=');
    const auto decoded = QByteArray::fromBase64Encoding(payload.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || payload.toLatin1() != payload.toUtf8())
        return std::nullopt;
    const auto object = clients::jsonObject(*decoded);
    if (!object)
        return std::nullopt;
    const QJsonValue auth = object->value(claimKey);
    if (!auth.isObject())
        return std::nullopt;
    const QJsonValue id = auth.toObject().value(QStringLiteral("chatgpt_account_id"));
    if (!id.isString())
        return std::nullopt;
    return id.toString();
}

Result<Session, UsageFailure> decodeSession(const QByteArray &body, const QString &claimKey)
{
    using R = Result<Session, UsageFailure>;
    const auto root = clients::jsonObject(body);
    if (!root)
        return R::failure(notObject());
    const QJsonValue token = root->value(QStringLiteral("accessToken"));
    if (!token.isString() || token.toString().isEmpty())
        return R::failure(UsageFetchError::signedOut(vendor));
    Session session{token.toString(), std::nullopt};
    const QJsonValue account = root->value(QStringLiteral("account"));
    if (account.isObject() && !account.toObject().isEmpty() && account.toObject().value(QStringLiteral("id")).isString())
        session.accountID = account.toObject().value(QStringLiteral("id")).toString();
    else
        session.accountID = accountIDClaim(session.accessToken, claimKey);
    return session;
}

Result<UsageReport, UsageFailure> decodeUsage(const QByteArray &body, const QDateTime &now)
{
    using R = Result<UsageReport, UsageFailure>;
    const auto root = clients::jsonObject(body);
    if (!root)
        return R::failure(notObject());
    const QJsonValue rateLimit = root->value(QStringLiteral("rate_limit"));
    UsageReport report;
    report.vendor = vendor;
    for (const QString key : {QStringLiteral("primary_window"), QStringLiteral("secondary_window")})
        if (auto l = limit(key, rateLimit, now))
            report.limits.append(*l);
    if (report.limits.isEmpty())
        return R::failure(
            UsageFetchError::unavailable(vendor, QStringLiteral("This ChatGPT plan reports no usage limits.")));
    const QJsonValue plan = root->value(QStringLiteral("plan_type"));
    if (plan.isString() && !plan.toString().isEmpty()) {
        const QString text = plan.toString();
        // The first character (a whole code point) upper-cased, the rest unchanged.
        const qsizetype firstLength = text.front().isHighSurrogate() && text.size() > 1 ? 2 : 1;
        report.plan = text.left(firstLength).toUpper() + text.mid(firstLength);
    }
    return report;
}

QCoro::Task<UsageFetchResult> fetch(UsageSession cookies, UsageRequestContext context, UsageEndpoints endpoints)
{
    using R = UsageFetchResult;
    QNetworkRequest sessionRequest = endpoints.request(clients::address(endpoints.openaiWeb, QStringLiteral("/api/auth/session")));
    applyBrowserHeaders(sessionRequest, cookies, endpoints);
    const auto sessionBody = co_await UsageHTTP::data(sessionRequest, vendor, context);
    if (!sessionBody.ok())
        co_return R::failure(sessionBody.error());
    const auto session = decodeSession(sessionBody.value(), endpoints.openaiApi + QStringLiteral("/auth"));
    if (!session.ok())
        co_return R::failure(session.error());

    QNetworkRequest usageRequest =
        endpoints.request(clients::address(endpoints.openaiWeb, QStringLiteral("/backend-api/wham/usage")));
    applyBrowserHeaders(usageRequest, cookies, endpoints);
    usageRequest.setRawHeader("Authorization", "Bearer " + session.value().accessToken.toUtf8());
    if (session.value().accountID)
        clients::setHeader(usageRequest, "ChatGPT-Account-Id", *session.value().accountID);
    const auto usageBody = co_await UsageHTTP::data(usageRequest, vendor, context);
    if (!usageBody.ok())
        co_return R::failure(usageBody.error());
    const auto report = decodeUsage(usageBody.value(), context.clock.wallNow());
    if (!report.ok())
        co_return R::failure(report.error());
    co_return report.value();
}

} // namespace tavrenhold::ChatGPTUsageClient
