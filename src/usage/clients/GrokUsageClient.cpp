#include "GrokUsageClient.h"

#include "ClientSupport.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cmath>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrenhold::GrokUsageClient {

namespace {

constexpr UsageVendor vendor = UsageVendor::xai;
constexpr qint64 maxAuthFile = 1 << 20;

UsageFailure unavailable(const QString &text) { return UsageFetchError::unavailable(vendor, text); }

} // namespace

QString noLoginText(const UsageEndpoints &endpoints)
{
    return QStringLiteral("No Grok CLI login. Install Grok (") + endpoints.xaiDownload
        + QStringLiteral("), run `grok login` in Terminal, then connect xAI.");
}

QString authFilePath()
{
    const QString home = qEnvironmentVariable("GROK_HOME");
    if (!home.isEmpty())
        return home + QStringLiteral("/auth.json");
    return QDir::homePath() + QStringLiteral("/.grok/auth.json");
}

std::optional<QByteArray> readAuthFile(const QString &path)
{
    // Opened without blocking, then checked on the open descriptor, so nothing can swap a FIFO in.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > maxAuthFile)
        return std::nullopt;
    QByteArray bytes;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (n == 0)
            break;
        bytes.append(buffer, n);
        if (bytes.size() > maxAuthFile)
            return std::nullopt;
    }
    return bytes;
}

Result<QString, UsageFailure> token(const QByteArray &authFile, const QDateTime &now, const UsageEndpoints &endpoints)
{
    using R = Result<QString, UsageFailure>;
    const auto root = clients::jsonObject(authFile);
    if (!root)
        return R::failure(unavailable(noLoginText(endpoints)));
    std::optional<QJsonObject> chosen;
    int chosenRank = 3;
    // QJsonObject visits names in sorted order, which settles ties.
    for (auto it = root->begin(); it != root->end(); ++it) {
        if (!it->isObject())
            continue;
        const QJsonValue key = it->toObject().value(QStringLiteral("key"));
        if (!key.isString() || key.toString().isEmpty())
            continue;
        const int rank = it.key().startsWith(endpoints.xaiAuth) ? 0 : it.key().startsWith(endpoints.xaiAccounts) ? 1 : 2;
        if (rank < chosenRank) {
            chosen = it->toObject();
            chosenRank = rank;
        }
    }
    if (!chosen)
        return R::failure(unavailable(noLoginText(endpoints)));
    const auto expires = UsageHTTP::date(chosen->value(QStringLiteral("expires_at")));
    if (expires && *expires <= now)
        return R::failure(unavailable(loginExpiredText));
    return chosen->value(QStringLiteral("key")).toString();
}

Result<UsageReport, UsageFailure> decode(const QByteArray &body)
{
    using R = Result<UsageReport, UsageFailure>;
    const auto root = clients::jsonObject(body);
    if (!root)
        return R::failure(UsageFetchError::schema(vendor, QStringLiteral("not a JSON object")));
    const QJsonValue config = root->value(QStringLiteral("config"));
    const QJsonObject source = config.isObject() ? config.toObject() : *root;

    std::optional<double> percent = UsageHTTP::figure(source.value(QStringLiteral("creditUsagePercent")));
    if (!percent) {
        const auto used = UsageHTTP::figure(source.value(QStringLiteral("onDemandUsed")).toObject().value(QStringLiteral("val")));
        const auto cap = UsageHTTP::figure(source.value(QStringLiteral("onDemandCap")).toObject().value(QStringLiteral("val")));
        if (used && cap && *cap > 0)
            percent = *used / *cap * 100;
    }
    if (!percent || !std::isfinite(*percent))
        return R::failure(unavailable(noFigureText));

    const QJsonObject period = source.value(QStringLiteral("currentPeriod")).toObject();
    std::optional<QDateTime> end = UsageHTTP::date(period.value(QStringLiteral("end")));
    if (!end)
        end = UsageHTTP::date(source.value(QStringLiteral("billingPeriodEnd")));
    std::optional<QDateTime> start = UsageHTTP::date(period.value(QStringLiteral("start")));
    if (!start)
        start = UsageHTTP::date(source.value(QStringLiteral("billingPeriodStart")));

    UsageLimit limit;
    limit.span = UsageSpan::weekly;
    if (start && end && *end > *start) {
        limit.duration = double(start->msecsTo(*end)) / 1000.0;
        limit.span = usageSpan(*limit.duration);
    }
    limit.label = limit.span == UsageSpan::monthly ? QStringLiteral("Month") : QStringLiteral("Week");
    limit.percentUsed = UsageLimit::clampedPercent(*percent);
    limit.resetsAt = end;
    return UsageReport{vendor, {}, {limit}, {}, std::nullopt};
}

QCoro::Task<UsageFetchResult> fetch(QString token, UsageRequestContext context, UsageEndpoints endpoints)
{
    using R = UsageFetchResult;
    QNetworkRequest request =
        endpoints.request(clients::address(endpoints.xaiProxy, QStringLiteral("/v1/billing?format=credits")));
    clients::setHeader(request, "Authorization", QStringLiteral("Bearer ") + token);
    request.setRawHeader("x-xai-token-auth", "xai-grok-cli");
    request.setRawHeader("Accept", UsageHTTP::jsonAccept);
    const auto body = co_await UsageHTTP::data(request, vendor, context);
    auto expiredInstead = [](const UsageFailure &f) -> UsageFailure {
        return refusesSession(f) ? unavailable(loginExpiredText) : f;
    };
    if (!body.ok())
        co_return R::failure(expiredInstead(body.error()));
    const auto report = decode(body.value());
    if (!report.ok())
        co_return R::failure(expiredInstead(report.error()));
    co_return report.value();
}

QCoro::Task<UsageFetchResult> fetchWithLoginFile(UsageRequestContext context, UsageEndpoints endpoints)
{
    using R = UsageFetchResult;
    const auto file = readAuthFile(authFilePath());
    if (!file)
        co_return R::failure(unavailable(noLoginText(endpoints)));
    const auto t = token(*file, context.clock.wallNow(), endpoints);
    if (!t.ok())
        co_return R::failure(t.error());
    co_return co_await fetch(t.value(), context, endpoints);
}

Status<UsageFailure> checkLogin(const QDateTime &now, const UsageEndpoints &endpoints)
{
    const auto file = readAuthFile(authFilePath());
    if (!file)
        return Status<UsageFailure>::failure(unavailable(noLoginText(endpoints)));
    const auto t = token(*file, now, endpoints);
    if (!t.ok())
        return Status<UsageFailure>::failure(t.error());
    return Ok{};
}

} // namespace tavrenhold::GrokUsageClient
