#pragma once

#include <QDateTime>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <variant>

namespace tavrenhold {

// The six vendors whose plan usage is shown, in declaration order.
enum class UsageVendor { openai, anthropic, google, xai, cursor, copilot };

inline constexpr std::array<UsageVendor, 6> allUsageVendors{UsageVendor::openai, UsageVendor::anthropic,
    UsageVendor::google, UsageVendor::xai, UsageVendor::cursor, UsageVendor::copilot};

// "openai", "anthropic", … : the id, the JSON form and the name in defaults and keyring services.
[[nodiscard]] QString rawValue(UsageVendor vendor);
// "OpenAI", "Anthropic", "Google", "xAI", "Cursor", "Copilot".
[[nodiscard]] QString displayName(UsageVendor vendor);
// Exact, case-sensitive match of a raw value; none for any other text.
[[nodiscard]] std::optional<UsageVendor> usageVendorFromRaw(const QString &raw);
// All six ordered by display name, case-insensitively in the user's locale.
[[nodiscard]] QList<UsageVendor> alphabeticalUsageVendors();

// The span class of a limit's window.
enum class UsageSpan { session, daily, weekly, monthly };
// < 6 h session, < 36 h daily, < 8 days weekly, else monthly.
[[nodiscard]] UsageSpan usageSpan(double windowSeconds);

// The period the user views.
enum class UsagePeriod { today, week, month, vendor };

inline constexpr std::array<UsagePeriod, 4> allUsagePeriods{UsagePeriod::today, UsagePeriod::week,
    UsagePeriod::month, UsagePeriod::vendor};

[[nodiscard]] QString rawValue(UsagePeriod period);
// "Today", "7 Days", "Month", "Period".
[[nodiscard]] QString title(UsagePeriod period);
[[nodiscard]] QList<UsageSpan> headlineSpans(UsagePeriod period);
[[nodiscard]] std::optional<UsagePeriod> usagePeriodFromRaw(const QString &raw);

enum class UsageAuthState { disconnected, connecting, connected };

[[nodiscard]] QString rawValue(UsageAuthState state);
[[nodiscard]] std::optional<UsageAuthState> usageAuthStateFromRaw(const QString &raw);

struct UsageConnection {
    UsageVendor vendor = UsageVendor::openai;
    UsageAuthState state = UsageAuthState::disconnected;
    bool operator==(const UsageConnection &) const = default;

    // {"vendor": raw, "state": raw}.
    [[nodiscard]] QJsonValue toJson() const;
    // None when either key is missing, not a text or names no case.
    [[nodiscard]] static std::optional<UsageConnection> fromJson(const QJsonValue &value);
};

struct UsageLimit {
    QString label;
    UsageSpan span = UsageSpan::session;
    int percentUsed = 0;
    std::optional<QDateTime> resetsAt;
    std::optional<double> duration; // seconds
    bool operator==(const UsageLimit &) const = default;

    // 0 for figures ≤ 0, else capped at 100 and rounded half away from zero. A NaN figure reads 0;
    // callers treat non-finite figures as missing before they get here.
    [[nodiscard]] static int clampedPercent(double figure);
};

struct UsageVendorWindow {
    QString label;
    QDateTime start;
    QDateTime end;
    bool operator==(const UsageVendorWindow &) const = default;

    // Start and end as abbreviated month and day in the user's locale and time zone, joined by an
    // en dash without spaces ("Dec 9–Jan 8").
    [[nodiscard]] QString shortRange() const;
    // The same in a given ICU locale name ("de_DE") and IANA time zone; for tests.
    [[nodiscard]] QString shortRange(const QByteArray &locale, const QByteArray &timeZone) const;
};

struct UsageModelSlice {
    QString model;
    std::int64_t tokens = 0;
    std::optional<int> percentUsed;
    bool operator==(const UsageModelSlice &) const = default;
};

struct UsageReport {
    UsageVendor vendor = UsageVendor::openai;
    QString plan;
    QList<UsageLimit> limits;
    QList<UsageModelSlice> breakdown;
    std::optional<UsageVendorWindow> billingWindow;
    bool operator==(const UsageReport &) const = default;

    // The highest percentUsed among the period's spans (earliest wins ties), else among all limits.
    [[nodiscard]] std::optional<UsageLimit> headline(UsagePeriod period) const;
    // The billing window, else the headline's window when it has a reset time and a duration.
    [[nodiscard]] std::optional<UsageVendorWindow> window(UsagePeriod period) const;
};

struct UsageVendorSample {
    UsageVendor vendor = UsageVendor::openai;
    QList<UsageModelSlice> models;
    std::optional<int> headlinePercentUsed;
    bool operator==(const UsageVendorSample &) const = default;
};

struct UsageShare {
    UsageVendor vendor = UsageVendor::openai;
    std::int64_t tokens = 0;
    double fraction = 0;
    QList<UsageModelSlice> models;
    std::optional<int> headlinePercentUsed;
    bool operator==(const UsageShare &) const = default;
};

struct UsageModelFraction {
    UsageModelSlice slice;
    double fraction = 0;
    bool operator==(const UsageModelFraction &) const = default;
};

namespace UsageMix {
// One share per sample, sorted by tokens descending (stable). Token sums saturate at the 64-bit range.
[[nodiscard]] QList<UsageShare> shares(const QList<UsageVendorSample> &samples);
[[nodiscard]] QList<UsageModelFraction> modelFractions(const UsageShare &share);
} // namespace UsageMix

// A failed fetch of one vendor, with the text the user sees.
struct UsageFetchError {
    enum class Kind { signedOut, http, schema, unavailable };
    Kind kind = Kind::unavailable;
    UsageVendor vendor = UsageVendor::openai;
    int status = 0;    // http
    QString text;      // schema detail or unavailable message
    bool operator==(const UsageFetchError &) const = default;

    [[nodiscard]] static UsageFetchError signedOut(UsageVendor v) { return {Kind::signedOut, v, 0, {}}; }
    [[nodiscard]] static UsageFetchError http(UsageVendor v, int status) { return {Kind::http, v, status, {}}; }
    [[nodiscard]] static UsageFetchError schema(UsageVendor v, QString detail) { return {Kind::schema, v, 0, detail}; }
    [[nodiscard]] static UsageFetchError unavailable(UsageVendor v, QString message)
    {
        return {Kind::unavailable, v, 0, message};
    }

    [[nodiscard]] QString errorDescription() const;
};

// The Cursor client's own failures.
struct CursorClientError {
    enum class Kind { http, schema, transport, unauthorized };
    Kind kind = Kind::transport;
    int status = 0; // http
    QString text;   // schema detail or transport message
    bool operator==(const CursorClientError &) const = default;

    [[nodiscard]] static CursorClientError http(int status) { return {Kind::http, status, {}}; }
    [[nodiscard]] static CursorClientError schema(QString detail) { return {Kind::schema, 0, detail}; }
    [[nodiscard]] static CursorClientError transport(QString message) { return {Kind::transport, 0, message}; }
    [[nodiscard]] static CursorClientError unauthorized() { return {Kind::unauthorized, 0, {}}; }

    [[nodiscard]] QString errorDescription() const;
};

// A failure below the vendor's answer (no connection, time-out, TLS, a body that is no JSON where
// the platform's parser would speak): a text of ours, shown as is.
struct UsageTransportError {
    QString message;
    bool operator==(const UsageTransportError &) const = default;
};

// The request was given up because its work was cancelled; never shown.
struct UsageCancelled {
    bool operator==(const UsageCancelled &) const = default;
};

// Whatever a client's operation can fail with.
using UsageFailure = std::variant<UsageFetchError, CursorClientError, UsageTransportError, UsageCancelled>;

// The text the user sees (empty for a cancellation).
[[nodiscard]] QString describe(const UsageFailure &failure);
// The vendor refused the session: UsageFetchError::signedOut or the Cursor client's unauthorized.
[[nodiscard]] bool refusesSession(const UsageFailure &failure);
[[nodiscard]] bool isCancellation(const UsageFailure &failure);

} // namespace tavrenhold
