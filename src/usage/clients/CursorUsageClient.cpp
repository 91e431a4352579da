#include "CursorUsageClient.h"

#include "ClientSupport.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <cmath>

namespace tavrenhold {

namespace {

constexpr qint64 maxPercent = qint64(1) << 53;
const auto requestTimeout = std::chrono::milliseconds(60000);

std::optional<qint64> roundedPercent(double figure)
{
    if (!std::isfinite(figure) || std::fabs(figure) > double(maxPercent))
        return std::nullopt; // beyond any real percentage: treated as absent
    const qint64 r = std::llround(figure);
    return r <= 0 ? 0 : r;
}

std::optional<qint64> intPercent(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    return roundedPercent(value.toDouble());
}

std::optional<qint64> percentFromDisplay(const QJsonValue &value)
{
    if (!value.isString())
        return std::nullopt;
    static const QRegularExpression pattern(QStringLiteral(R"(You've used\s+(\d+(?:\.\d+)?)%)"));
    const auto m = pattern.match(value.toString());
    if (!m.hasMatch())
        return std::nullopt;
    bool ok = false;
    const double n = m.captured(1).toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return roundedPercent(n);
}

std::optional<QDateTime> parseDate(const QJsonValue &value)
{
    if (!value.isString())
        return std::nullopt;
    return UsageHTTP::internetDateTime(value.toString());
}

std::optional<QDateTime> parseEpochMs(const QJsonValue &value)
{
    std::optional<double> ms;
    if (value.isString())
        ms = UsageHTTP::number(value);
    else if (value.isDouble())
        ms = value.toDouble();
    if (!ms || !std::isfinite(*ms) || std::fabs(*ms) > 8.0e18)
        return std::nullopt;
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(std::llround(*ms), Qt::UTC);
    if (!t.isValid())
        return std::nullopt;
    return t;
}

QString planName(const QString &membership)
{
    if (membership.isEmpty())
        return {};
    return membership.left(1).toUpper() + membership.mid(1).toLower();
}

UsageFailure notJson() { return UsageTransportError{CursorUsageClient::notJsonText}; }

std::optional<QJsonObject> parse(const QByteArray &body, bool *isJson)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    *isJson = error.error == QJsonParseError::NoError;
    if (!*isJson || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

enum class Which { summary, rpc };

QCoro::Task<Result<QByteArray, UsageFailure>> request(
    QNetworkRequest request, QByteArray verb, QByteArray body, UsageRequestContext context, Which which)
{
    using R = Result<QByteArray, UsageFailure>;
    const auto sent = co_await UsageHTTP::send(std::move(request), std::move(verb), std::move(body), context, requestTimeout);
    if (!sent.ok()) {
        switch (sent.error().kind) {
        case UsageSendError::Kind::unsafeHeader: co_return R::failure(CursorClientError::unauthorized());
        case UsageSendError::Kind::notHTTP:
            co_return R::failure(CursorClientError::transport(which == Which::summary
                    ? QStringLiteral("No HTTP response from Cursor.")
                    : QStringLiteral("No HTTP response from Cursor RPC.")));
        case UsageSendError::Kind::cancelled: co_return R::failure(UsageCancelled{});
        case UsageSendError::Kind::transport: co_return R::failure(UsageTransportError{sent.error().message});
        }
    }
    const int status = sent.value().status;
    if (status == 401 || status == 403)
        co_return R::failure(CursorClientError::unauthorized());
    if (status < 200 || status > 299)
        co_return R::failure(CursorClientError::http(status));
    co_return sent.value().body;
}

} // namespace

std::optional<CursorSession> CursorSession::fromCookies(const UsageSession &cookies)
{
    const QString value = cookies.value(QStringLiteral("WorkosCursorSessionToken"));
    if (value.isEmpty())
        return std::nullopt;
    return CursorSession{value};
}

std::optional<QString> CursorSession::accessToken() const
{
    // Percent-decoding that fails (a stray "%" or bytes that are no UTF-8) leaves the value as it is.
    QString decoded = cookieValue;
    {
        const QByteArray raw = cookieValue.toUtf8();
        bool valid = true;
        for (qsizetype i = 0; i < raw.size(); ++i)
            if (raw[i] == '%' && (i + 2 >= raw.size() || !isxdigit(uchar(raw[i + 1])) || !isxdigit(uchar(raw[i + 2])))) {
                valid = false;
                break;
            }
        if (valid) {
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString text = utf8.decode(QByteArray::fromPercentEncoding(raw));
            if (!utf8.hasError())
                decoded = text;
        }
    }
    const qsizetype separator = decoded.indexOf(QStringLiteral("::"));
    if (separator >= 0) {
        const QString token = decoded.mid(separator + 2);
        if (token.split(u'.', Qt::SkipEmptyParts).size() >= 3)
            return token;
        return std::nullopt;
    }
    if (decoded.split(u'.').size() >= 3)
        return decoded;
    return std::nullopt;
}

namespace CursorUsageClient {

SnapshotResult decodeSummary(const QByteArray &body)
{
    using R = SnapshotResult;
    bool isJson = false;
    const auto root = parse(body, &isJson);
    if (!isJson)
        return R::failure(notJson());
    if (!root)
        return R::failure(CursorClientError::schema(QStringLiteral("root not object")));
    Snapshot s;
    const QJsonValue membership = root->value(QStringLiteral("membershipType"));
    s.plan = planName(membership.isString() ? membership.toString() : QString());
    const QJsonValue unlimited = root->value(QStringLiteral("isUnlimited"));
    s.unlimited = unlimited.isBool() && unlimited.toBool();
    s.billingCycleStart = parseDate(root->value(QStringLiteral("billingCycleStart")));
    s.billingCycleEnd = parseDate(root->value(QStringLiteral("billingCycleEnd")));
    const QJsonObject plan = root->value(QStringLiteral("individualUsage")).toObject().value(QStringLiteral("plan")).toObject();
    auto autoPercent = intPercent(plan.value(QStringLiteral("autoPercentUsed")));
    auto apiPercent = intPercent(plan.value(QStringLiteral("apiPercentUsed")));
    const auto totalPercent = intPercent(plan.value(QStringLiteral("totalPercentUsed")));
    if (!autoPercent)
        autoPercent = percentFromDisplay(root->value(QStringLiteral("autoModelSelectedDisplayMessage")));
    if (!apiPercent)
        apiPercent = percentFromDisplay(root->value(QStringLiteral("namedModelSelectedDisplayMessage")));
    if (s.unlimited)
        return s;
    if (!autoPercent || !apiPercent)
        return R::failure(CursorClientError::schema(QStringLiteral("missing auto/api percent")));
    s.autoPercentUsed = *autoPercent;
    s.apiPercentUsed = *apiPercent;
    s.totalPercentUsed = totalPercent ? *totalPercent : std::max(*autoPercent, *apiPercent);
    return s;
}

SnapshotResult decodePeriodUsage(const QByteArray &body)
{
    using R = SnapshotResult;
    bool isJson = false;
    const auto root = parse(body, &isJson);
    if (!isJson)
        return R::failure(notJson());
    if (!root)
        return R::failure(CursorClientError::schema(QStringLiteral("rpc root not object")));
    const QJsonObject usage = root->value(QStringLiteral("planUsage")).toObject();
    const auto missing = CursorClientError::schema(QStringLiteral("rpc missing planUsage percents"));
    auto autoPercent = intPercent(usage.value(QStringLiteral("autoPercentUsed")));
    if (!autoPercent)
        autoPercent = percentFromDisplay(root->value(QStringLiteral("autoModelSelectedDisplayMessage")));
    if (!autoPercent)
        return R::failure(missing);
    auto apiPercent = intPercent(usage.value(QStringLiteral("apiPercentUsed")));
    if (!apiPercent)
        apiPercent = percentFromDisplay(root->value(QStringLiteral("namedModelSelectedDisplayMessage")));
    if (!apiPercent)
        return R::failure(missing);
    auto totalPercent = intPercent(usage.value(QStringLiteral("totalPercentUsed")));
    if (!totalPercent)
        totalPercent = percentFromDisplay(root->value(QStringLiteral("displayMessage")));
    Snapshot s;
    s.autoPercentUsed = *autoPercent;
    s.apiPercentUsed = *apiPercent;
    s.totalPercentUsed = totalPercent ? *totalPercent : std::max(*autoPercent, *apiPercent);
    s.billingCycleStart = parseEpochMs(root->value(QStringLiteral("billingCycleStart")));
    s.billingCycleEnd = parseEpochMs(root->value(QStringLiteral("billingCycleEnd")));
    return s;
}

UsageReport Snapshot::report() const
{
    UsageReport r;
    r.vendor = UsageVendor::cursor;
    r.plan = plan;
    if (!unlimited) {
        UsageLimit l;
        l.label = QStringLiteral("Month");
        l.span = UsageSpan::monthly;
        l.percentUsed = int(std::min<qint64>(totalPercentUsed, std::numeric_limits<int>::max()));
        l.resetsAt = billingCycleEnd;
        if (billingCycleStart && billingCycleEnd)
            l.duration = double(billingCycleStart->msecsTo(*billingCycleEnd)) / 1000.0;
        r.limits.append(l);
    }
    r.breakdown = sample().models;
    r.billingWindow = window();
    return r;
}

UsageVendorSample Snapshot::sample() const
{
    auto percent = [](qint64 p) { return int(std::min<qint64>(p, std::numeric_limits<int>::max())); };
    UsageVendorSample s;
    s.vendor = UsageVendor::cursor;
    s.models = {{QStringLiteral("Cursor Models"), std::max<qint64>(autoPercentUsed, 1), percent(autoPercentUsed)},
        {QStringLiteral("Other Models"), std::max<qint64>(apiPercentUsed, 1), percent(apiPercentUsed)}};
    if (!unlimited)
        s.headlinePercentUsed = percent(totalPercentUsed);
    return s;
}

std::optional<UsageVendorWindow> Snapshot::window() const
{
    if (!billingCycleEnd)
        return std::nullopt;
    return UsageVendorWindow{plan.isEmpty() ? QStringLiteral("Billing period") : plan + QStringLiteral(" cycle"),
        billingCycleStart ? *billingCycleStart : *billingCycleEnd, *billingCycleEnd};
}

QCoro::Task<SnapshotResult> fetch(CursorSession session, UsageRequestContext context, UsageEndpoints endpoints)
{
    using R = SnapshotResult;
    // A cookie that would break the header is never sent, nor is a token cut from it.
    if (session.cookieValue.contains(u'\r') || session.cookieValue.contains(u'\n') || session.cookieValue.contains(QChar(0)))
        co_return R::failure(CursorClientError::unauthorized());
    QNetworkRequest summary = endpoints.request(clients::address(endpoints.cursorWeb, QStringLiteral("/api/usage-summary")));
    clients::setHeader(summary, "Cookie", QStringLiteral("WorkosCursorSessionToken=") + session.cookieValue);
    summary.setRawHeader("Origin", endpoints.cursorWeb.toUtf8());
    summary.setRawHeader("Referer", (endpoints.cursorWeb + QStringLiteral("/dashboard")).toUtf8());
    summary.setRawHeader("User-Agent", chromeUserAgent);
    const auto summaryBody = co_await request(summary, "GET", {}, context, Which::summary);
    if (summaryBody.ok())
        co_return decodeSummary(summaryBody.value());
    if (summaryBody.error() != UsageFailure(CursorClientError::unauthorized()))
        co_return R::failure(summaryBody.error());

    const auto token = session.accessToken();
    if (!token)
        co_return R::failure(CursorClientError::unauthorized());
    QNetworkRequest rpc = endpoints.request(
        clients::address(endpoints.cursorApi, QStringLiteral("/aiserver.v1.DashboardService/GetCurrentPeriodUsage")));
    clients::setHeader(rpc, "Authorization", QStringLiteral("Bearer ") + *token);
    rpc.setRawHeader("Content-Type", "application/json");
    rpc.setRawHeader("Connect-Protocol-Version", "1");
    const auto rpcBody = co_await request(rpc, "POST", QByteArrayLiteral("{}"), context, Which::rpc);
    if (!rpcBody.ok())
        co_return R::failure(rpcBody.error());
    co_return decodePeriodUsage(rpcBody.value());
}

} // namespace CursorUsageClient
} // namespace tavrenhold
