#include "CopilotUsageClient.h"

#include "ClientSupport.h"

#include <QMap>

#include <cmath>

namespace tavrenhold::CopilotUsageClient {

namespace {

constexpr UsageVendor vendor = UsageVendor::copilot;
constexpr double maxSeconds = 2147483648.0; // 2^31

UsageFailure deviceCodeSchema() { return UsageFetchError::schema(vendor, QStringLiteral("device code")); }

// The form's pairs sorted by key, encoded as a query, POSTed; the answer must be a JSON object.
QCoro::Task<Result<QJsonObject, UsageFailure>> postForm(
    QString path, QMap<QString, QString> form, UsageRequestContext context, UsageEndpoints endpoints)
{
    using R = Result<QJsonObject, UsageFailure>;
    QNetworkRequest request = endpoints.request(clients::address(endpoints.copilotWeb, path));
    request.setRawHeader("Accept", UsageHTTP::jsonAccept);
    request.setRawHeader("Content-Type", "application/x-www-form-urlencoded");
    QList<QPair<QString, QString>> pairs;
    for (auto it = form.cbegin(); it != form.cend(); ++it)
        pairs.append({it.key(), it.value()});
    const auto body = co_await UsageHTTP::data(request, vendor, context, "POST", UsageHTTP::query(pairs).toUtf8());
    if (!body.ok())
        co_return R::failure(body.error());
    const auto object = clients::jsonObject(body.value());
    if (!object)
        co_return R::failure(UsageFetchError::schema(vendor, QStringLiteral("not a JSON object")));
    co_return *object;
}

// A whole number of seconds from a figure; none when missing, or when not finite or beyond 2^31.
enum class Seconds { missing, bad };
Result<qint64, Seconds> seconds(const QJsonValue &value)
{
    const auto n = UsageHTTP::number(value);
    if (!n)
        return Result<qint64, Seconds>::failure(Seconds::missing);
    if (!std::isfinite(*n) || std::fabs(*n) > maxSeconds)
        return Result<qint64, Seconds>::failure(Seconds::bad);
    return qint64(std::trunc(*n));
}

bool acceptableVerificationURL(const QUrl &url)
{
    return url.isValid() && !url.isRelative() && url.scheme() == u"https" && !url.host().isEmpty();
}

std::optional<UsageLimit> limit(const QJsonObject &snapshots, const QString &key, const QString &label,
    const std::optional<QDateTime> &reset)
{
    const QJsonValue value = snapshots.value(key);
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject snapshot = value.toObject();
    const QJsonValue unlimited = snapshot.value(QStringLiteral("unlimited"));
    if (unlimited.isBool() && unlimited.toBool())
        return std::nullopt;
    std::optional<double> remaining = UsageHTTP::figure(snapshot.value(QStringLiteral("percent_remaining")));
    if (!remaining) {
        const auto entitlement = UsageHTTP::figure(snapshot.value(QStringLiteral("entitlement")));
        if (!entitlement || *entitlement <= 0)
            return std::nullopt;
        const auto left = UsageHTTP::figure(snapshot.value(QStringLiteral("remaining")));
        if (!left)
            return std::nullopt;
        remaining = *left / *entitlement * 100;
        if (!std::isfinite(*remaining))
            return std::nullopt;
    }
    UsageLimit l;
    l.label = label;
    l.span = UsageSpan::monthly;
    l.percentUsed = UsageLimit::clampedPercent(100 - *remaining);
    l.resetsAt = reset;
    if (reset) {
        // One calendar month earlier in the user's calendar and time zone.
        const QDateTime local = reset->toLocalTime();
        const QDateTime earlier = local.addMonths(-1);
        if (earlier.isValid())
            l.duration = double(earlier.msecsTo(local)) / 1000.0;
    }
    return l;
}

QString capitalized(const QString &text)
{
    QString out;
    bool wordStart = true;
    for (QChar c : text) {
        if (c.isSpace()) {
            wordStart = true;
            out.append(c);
            continue;
        }
        out.append(wordStart ? c.toUpper() : c.toLower());
        wordStart = false;
    }
    return out;
}

} // namespace

Result<CopilotDeviceCode, UsageFailure> decodeDeviceCode(const QJsonObject &answer)
{
    using R = Result<CopilotDeviceCode, UsageFailure>;
    const QJsonValue device = answer.value(QStringLiteral("device_code"));
    const QJsonValue user = answer.value(QStringLiteral("user_code"));
    if (!device.isString() || !user.isString())
        return R::failure(deviceCodeSchema());
    const QJsonValue page = answer.contains(QStringLiteral("verification_uri_complete"))
        ? answer.value(QStringLiteral("verification_uri_complete"))
        : answer.value(QStringLiteral("verification_uri"));
    if (!page.isString())
        return R::failure(deviceCodeSchema());
    const QUrl url(page.toString(), QUrl::StrictMode);
    if (!acceptableVerificationURL(url))
        return R::failure(deviceCodeSchema());

    CopilotDeviceCode code{device.toString(), user.toString(), url, 5, 900};
    const auto interval = seconds(answer.value(QStringLiteral("interval")));
    if (interval.ok())
        code.interval = std::max<qint64>(interval.value(), 1);
    else if (interval.error() == Seconds::bad)
        return R::failure(deviceCodeSchema());
    const auto expires = seconds(answer.value(QStringLiteral("expires_in")));
    if (expires.ok())
        code.expiresIn = expires.value();
    else if (expires.error() == Seconds::bad)
        return R::failure(deviceCodeSchema());
    return code;
}

QCoro::Task<Result<CopilotDeviceCode, UsageFailure>> requestDeviceCode(
    UsageRequestContext context, UsageEndpoints endpoints)
{
    using R = Result<CopilotDeviceCode, UsageFailure>;
    if (endpoints.copilotClientID.isEmpty())
        co_return R::failure(UsageFetchError::unavailable(vendor, noClientIDText));
    QMap<QString, QString> form;
    form.insert(QStringLiteral("client_id"), endpoints.copilotClientID);
    form.insert(QStringLiteral("scope"), QStringLiteral("read:user"));
    const auto answer = co_await postForm(QStringLiteral("/login/device/code"), form, context, endpoints);
    if (!answer.ok())
        co_return R::failure(answer.error());
    co_return decodeDeviceCode(answer.value());
}

QCoro::Task<Result<QString, UsageFailure>> pollForToken(
    CopilotDeviceCode code, UsageRequestContext context, UsageEndpoints endpoints)
{
    using R = Result<QString, UsageFailure>;
    if (endpoints.copilotClientID.isEmpty())
        co_return R::failure(UsageFetchError::unavailable(vendor, noClientIDText));
    const QDateTime deadline = context.clock.wallNow().addSecs(code.expiresIn);
    qint64 interval = std::max<qint64>(code.interval, 1);
    for (;;) {
        if (context.clock.wallNow() >= deadline)
            co_return R::failure(UsageFetchError::unavailable(vendor, expiredText));
        const bool slept = co_await context.clock.sleepFor(Millis(interval * 1000), context.token);
        if (!slept || context.token.isCancelled())
            co_return R::failure(UsageCancelled{});
        QMap<QString, QString> form;
        form.insert(QStringLiteral("client_id"), endpoints.copilotClientID);
        form.insert(QStringLiteral("device_code"), code.deviceCode);
        form.insert(QStringLiteral("grant_type"), QStringLiteral("urn:ietf:params:oauth:grant-type:device_code"));
        const auto answer = co_await postForm(QStringLiteral("/login/oauth/access_token"), form, context, endpoints);
        if (!answer.ok())
            co_return R::failure(answer.error());
        const QJsonValue token = answer.value().value(QStringLiteral("access_token"));
        if (token.isString() && !token.toString().isEmpty())
            co_return token.toString();
        const QJsonValue error = answer.value().value(QStringLiteral("error"));
        const QString e = error.isString() ? error.toString() : QString();
        if (e == u"authorization_pending")
            continue;
        if (e == u"slow_down") {
            interval += 5;
            continue;
        }
        if (e == u"access_denied")
            co_return R::failure(UsageFetchError::unavailable(vendor, deniedText));
        if (e == u"expired_token")
            co_return R::failure(UsageFetchError::unavailable(vendor, expiredText));
        co_return R::failure(UsageFetchError::schema(vendor, QStringLiteral("token poll")));
    }
}

Result<UsageReport, UsageFailure> decode(const QByteArray &body)
{
    using R = Result<UsageReport, UsageFailure>;
    const auto root = clients::jsonObject(body);
    if (!root)
        return R::failure(UsageFetchError::schema(vendor, QStringLiteral("not a JSON object")));
    const QJsonValue sku = root->value(QStringLiteral("access_type_sku"));
    if (sku.isString() && sku.toString() == u"subscription_ended")
        return R::failure(UsageFetchError::unavailable(vendor, QStringLiteral("Copilot subscription ended.")));
    const auto reset = UsageHTTP::date(root->value(QStringLiteral("quota_reset_date")));
    const QJsonObject snapshots = root->value(QStringLiteral("quota_snapshots")).toObject();
    UsageReport report;
    report.vendor = vendor;
    for (const auto &[key, label] : {std::pair{QStringLiteral("premium_interactions"), QStringLiteral("Premium")},
             std::pair{QStringLiteral("chat"), QStringLiteral("Chat")},
             std::pair{QStringLiteral("completions"), QStringLiteral("Completions")}})
        if (auto l = limit(snapshots, key, label, reset))
            report.limits.append(*l);
    const QJsonValue plan = root->value(QStringLiteral("copilot_plan"));
    report.plan = plan.isString() ? capitalized(plan.toString()) : QString();
    if (report.limits.isEmpty()) {
        QString message = QStringLiteral("Copilot ") + report.plan + QStringLiteral(" has no metered quota.");
        while (message.contains(QStringLiteral("  ")))
            message.replace(QStringLiteral("  "), QStringLiteral(" "));
        return R::failure(UsageFetchError::unavailable(vendor, message));
    }
    return report;
}

QCoro::Task<UsageFetchResult> fetch(QString token, UsageRequestContext context, UsageEndpoints endpoints)
{
    using R = UsageFetchResult;
    QNetworkRequest request = endpoints.request(clients::address(endpoints.copilotApi, QStringLiteral("/copilot_internal/user")));
    clients::setHeader(request, "Authorization", QStringLiteral("token ") + token);
    request.setRawHeader("Accept", UsageHTTP::jsonAccept);
    request.setRawHeader("Editor-Version", "vscode/1.96.2");
    request.setRawHeader("Editor-Plugin-Version", "copilot-chat/0.26.7");
    request.setRawHeader("User-Agent", "GitHubCopilotChat/0.26.7");
    request.setRawHeader("X-Github-Api-Version", "2025-04-01");
    const auto body = co_await UsageHTTP::data(request, vendor, context);
    if (!body.ok())
        co_return R::failure(body.error());
    const auto report = decode(body.value());
    if (!report.ok())
        co_return R::failure(report.error());
    co_return report.value();
}

} // namespace tavrenhold::CopilotUsageClient
