#include "UsageModels.h"

#include <QCollator>
#include <QJsonObject>
#include <QLocale>
#include <QTimeZone>

#include <unicode/calendar.h>
#include <unicode/dtptngen.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace tavrenhold {

QString rawValue(UsageVendor vendor)
{
    switch (vendor) {
    case UsageVendor::openai: return QStringLiteral("openai");
    case UsageVendor::anthropic: return QStringLiteral("anthropic");
    case UsageVendor::google: return QStringLiteral("google");
    case UsageVendor::xai: return QStringLiteral("xai");
    case UsageVendor::cursor: return QStringLiteral("cursor");
    case UsageVendor::copilot: return QStringLiteral("copilot");
    }
    return {};
}

QString displayName(UsageVendor vendor)
{
    switch (vendor) {
    case UsageVendor::openai: return QStringLiteral("OpenAI");
    case UsageVendor::anthropic: return QStringLiteral("Anthropic");
    case UsageVendor::google: return QStringLiteral("Google");
    case UsageVendor::xai: return QStringLiteral("xAI");
    case UsageVendor::cursor: return QStringLiteral("Cursor");
    case UsageVendor::copilot: return QStringLiteral("Copilot");
    }
    return {};
}

std::optional<UsageVendor> usageVendorFromRaw(const QString &raw)
{
    for (UsageVendor v : allUsageVendors)
        if (rawValue(v) == raw)
            return v;
    return std::nullopt;
}

QList<UsageVendor> alphabeticalUsageVendors()
{
    QList<UsageVendor> vendors(allUsageVendors.begin(), allUsageVendors.end());
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(vendors.begin(), vendors.end(), [&collator](UsageVendor a, UsageVendor b) {
        return collator.compare(displayName(a), displayName(b)) < 0;
    });
    return vendors;
}

UsageSpan usageSpan(double windowSeconds)
{
    if (windowSeconds < 21600)
        return UsageSpan::session;
    if (windowSeconds < 129600)
        return UsageSpan::daily;
    if (windowSeconds < 691200)
        return UsageSpan::weekly;
    return UsageSpan::monthly;
}

QString rawValue(UsagePeriod period)
{
    switch (period) {
    case UsagePeriod::today: return QStringLiteral("today");
    case UsagePeriod::week: return QStringLiteral("week");
    case UsagePeriod::month: return QStringLiteral("month");
    case UsagePeriod::vendor: return QStringLiteral("vendor");
    }
    return {};
}

QString title(UsagePeriod period)
{
    switch (period) {
    case UsagePeriod::today: return QStringLiteral("Today");
    case UsagePeriod::week: return QStringLiteral("7 Days");
    case UsagePeriod::month: return QStringLiteral("Month");
    case UsagePeriod::vendor: return QStringLiteral("Period");
    }
    return {};
}

QList<UsageSpan> headlineSpans(UsagePeriod period)
{
    switch (period) {
    case UsagePeriod::today: return {UsageSpan::session, UsageSpan::daily};
    case UsagePeriod::week: return {UsageSpan::weekly};
    case UsagePeriod::month: return {UsageSpan::monthly};
    case UsagePeriod::vendor: return {};
    }
    return {};
}

std::optional<UsagePeriod> usagePeriodFromRaw(const QString &raw)
{
    for (UsagePeriod p : allUsagePeriods)
        if (rawValue(p) == raw)
            return p;
    return std::nullopt;
}

QString rawValue(UsageAuthState state)
{
    switch (state) {
    case UsageAuthState::disconnected: return QStringLiteral("disconnected");
    case UsageAuthState::connecting: return QStringLiteral("connecting");
    case UsageAuthState::connected: return QStringLiteral("connected");
    }
    return {};
}

std::optional<UsageAuthState> usageAuthStateFromRaw(const QString &raw)
{
    for (UsageAuthState s : {UsageAuthState::disconnected, UsageAuthState::connecting, UsageAuthState::connected})
        if (rawValue(s) == raw)
            return s;
    return std::nullopt;
}

QJsonValue UsageConnection::toJson() const
{
    return QJsonObject{{QStringLiteral("vendor"), rawValue(vendor)}, {QStringLiteral("state"), rawValue(state)}};
}

std::optional<UsageConnection> UsageConnection::fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    const QJsonValue v = o.value(QStringLiteral("vendor"));
    const QJsonValue s = o.value(QStringLiteral("state"));
    if (!v.isString() || !s.isString())
        return std::nullopt;
    const auto vendor = usageVendorFromRaw(v.toString());
    const auto state = usageAuthStateFromRaw(s.toString());
    if (!vendor || !state)
        return std::nullopt;
    return UsageConnection{*vendor, *state};
}

int UsageLimit::clampedPercent(double figure)
{
    if (!(figure > 0)) // also NaN
        return 0;
    return int(std::round(std::min(figure, 100.0)));
}

std::optional<UsageLimit> UsageReport::headline(UsagePeriod period) const
{
    const QList<UsageSpan> spans = headlineSpans(period);
    const UsageLimit *best = nullptr;
    for (const UsageLimit &l : limits)
        if (spans.contains(l.span) && (!best || l.percentUsed > best->percentUsed))
            best = &l;
    if (!best)
        for (const UsageLimit &l : limits)
            if (!best || l.percentUsed > best->percentUsed)
                best = &l;
    if (!best)
        return std::nullopt;
    return *best;
}

std::optional<UsageVendorWindow> UsageReport::window(UsagePeriod period) const
{
    if (billingWindow)
        return billingWindow;
    const auto h = headline(period);
    if (!h || !h->resetsAt || !h->duration || !std::isfinite(*h->duration))
        return std::nullopt;
    // Durations come from real windows; one beyond QDateTime's range gives no window.
    const double ms = std::round(*h->duration * 1000);
    if (std::fabs(ms) > 1e17)
        return std::nullopt;
    const QDateTime start = h->resetsAt->addMSecs(-qint64(ms));
    if (!start.isValid())
        return std::nullopt;
    return UsageVendorWindow{h->label, start, *h->resetsAt};
}

namespace {

QString fromIcu(const icu::UnicodeString &s)
{
    return QString(reinterpret_cast<const QChar *>(s.getBuffer()), s.length());
}

icu::UnicodeString toIcu(const QString &s)
{
    return icu::UnicodeString(reinterpret_cast<const char16_t *>(s.utf16()), int32_t(s.size()));
}

} // namespace

QString UsageVendorWindow::shortRange() const
{
    QByteArray zone = QTimeZone::systemTimeZoneId();
    return shortRange(QLocale::system().name().toUtf8(), zone);
}

QString UsageVendorWindow::shortRange(const QByteArray &localeName, const QByteArray &timeZone) const
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale(localeName.constData());
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(locale, status));
    if (U_FAILURE(status) || !generator)
        return {};
    const icu::UnicodeString pattern = generator->getBestPattern(icu::UnicodeString(u"MMMd"), status);
    if (U_FAILURE(status))
        return {};
    icu::SimpleDateFormat format(pattern, locale, status);
    if (U_FAILURE(status))
        return {};
    if (!timeZone.isEmpty())
        format.adoptTimeZone(icu::TimeZone::createTimeZone(toIcu(QString::fromUtf8(timeZone))));
    auto text = [&format](const QDateTime &t) {
        icu::UnicodeString out;
        format.format(UDate(t.toMSecsSinceEpoch()), out);
        return fromIcu(out);
    };
    return text(start) + QChar(0x2013) + text(end);
}

namespace {

std::int64_t saturatingAdd(std::int64_t a, std::int64_t b)
{
    std::int64_t r;
    if (__builtin_add_overflow(a, b, &r))
        return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    return r;
}

std::int64_t tokenSum(const QList<UsageModelSlice> &slices)
{
    std::int64_t sum = 0;
    for (const UsageModelSlice &s : slices)
        sum = saturatingAdd(sum, s.tokens);
    return sum;
}

} // namespace

QList<UsageShare> UsageMix::shares(const QList<UsageVendorSample> &samples)
{
    std::int64_t total = 0;
    for (const UsageVendorSample &s : samples)
        total = saturatingAdd(total, tokenSum(s.models));

    QList<UsageShare> result;
    result.reserve(samples.size());
    for (const UsageVendorSample &s : samples) {
        UsageShare share;
        share.vendor = s.vendor;
        share.headlinePercentUsed = s.headlinePercentUsed;
        share.tokens = tokenSum(s.models);
        share.fraction = total > 0 ? double(share.tokens) / double(total) : 0.0;
        share.models = s.models;
        auto key = [](const UsageModelSlice &m) -> std::int64_t { return m.percentUsed ? *m.percentUsed : m.tokens; };
        std::stable_sort(share.models.begin(), share.models.end(),
            [&key](const UsageModelSlice &a, const UsageModelSlice &b) { return key(a) > key(b); });
        result.append(share);
    }
    std::stable_sort(result.begin(), result.end(),
        [](const UsageShare &a, const UsageShare &b) { return a.tokens > b.tokens; });
    return result;
}

QList<UsageModelFraction> UsageMix::modelFractions(const UsageShare &share)
{
    QList<UsageModelFraction> result;
    result.reserve(share.models.size());
    for (const UsageModelSlice &m : share.models)
        result.append({m, share.tokens > 0 ? double(m.tokens) / double(share.tokens) : 0.0});
    return result;
}

QString UsageFetchError::errorDescription() const
{
    const QString name = displayName(vendor);
    switch (kind) {
    case Kind::signedOut:
        return name + QStringLiteral(" session expired. Sign in again in Settings \u203A AI Usage.");
    case Kind::http: return name + QStringLiteral(" usage returned HTTP ") + QString::number(status) + u'.';
    case Kind::schema: return name + QStringLiteral(" usage response changed: ") + text;
    case Kind::unavailable: return text;
    }
    return {};
}

QString CursorClientError::errorDescription() const
{
    switch (kind) {
    case Kind::http: return QStringLiteral("Cursor usage API HTTP ") + QString::number(status) + u'.';
    case Kind::schema: return QStringLiteral("Cursor usage response unexpected: ") + text;
    case Kind::transport: return text;
    case Kind::unauthorized:
        return QStringLiteral("Cursor session expired. Sign in again from Settings \u203A AI Usage.");
    }
    return {};
}

QString describe(const UsageFailure &failure)
{
    struct Visitor {
        QString operator()(const UsageFetchError &e) const { return e.errorDescription(); }
        QString operator()(const CursorClientError &e) const { return e.errorDescription(); }
        QString operator()(const UsageTransportError &e) const { return e.message; }
        QString operator()(const UsageCancelled &) const { return {}; }
    };
    return std::visit(Visitor{}, failure);
}

bool refusesSession(const UsageFailure &failure)
{
    if (const auto *e = std::get_if<UsageFetchError>(&failure))
        return e->kind == UsageFetchError::Kind::signedOut;
    if (const auto *e = std::get_if<CursorClientError>(&failure))
        return e->kind == CursorClientError::Kind::unauthorized;
    return false;
}

bool isCancellation(const UsageFailure &failure) { return std::holds_alternative<UsageCancelled>(failure); }

} // namespace tavrenhold
