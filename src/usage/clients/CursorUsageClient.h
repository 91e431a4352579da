#pragma once

#include "usage/UsageClients.h"
#include "usage/UsageEndpoints.h"
#include "usage/UsageHTTP.h"

namespace tavrenhold {

// The Cursor web session: the value of its WorkosCursorSessionToken cookie, never empty.
struct CursorSession {
    QString cookieValue;
    bool operator==(const CursorSession &) const = default;

    [[nodiscard]] static std::optional<CursorSession> fromCookies(const UsageSession &cookies);
    // The bearer token cut out of the cookie value, when it has the shape of one.
    [[nodiscard]] std::optional<QString> accessToken() const;
};

namespace CursorUsageClient {

inline const QByteArray chromeUserAgent = QByteArrayLiteral(
    "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 "
    "Safari/537.36");
inline const QString notJsonText = QStringLiteral("Cursor usage response is not valid JSON.");

struct Snapshot {
    QString plan;
    qint64 autoPercentUsed = 0;
    qint64 apiPercentUsed = 0;
    qint64 totalPercentUsed = 0;
    bool unlimited = false;
    std::optional<QDateTime> billingCycleStart;
    std::optional<QDateTime> billingCycleEnd;
    bool operator==(const Snapshot &) const = default;

    [[nodiscard]] UsageReport report() const;
    [[nodiscard]] UsageVendorSample sample() const;
    [[nodiscard]] std::optional<UsageVendorWindow> window() const;
};

using SnapshotResult = Result<Snapshot, UsageFailure>;

// The usage summary with the cookie; when refused, the period-usage RPC with the token cut from it.
[[nodiscard]] QCoro::Task<SnapshotResult> fetch(CursorSession session, UsageRequestContext context,
    UsageEndpoints endpoints);

[[nodiscard]] SnapshotResult decodeSummary(const QByteArray &body);
[[nodiscard]] SnapshotResult decodePeriodUsage(const QByteArray &body);

} // namespace CursorUsageClient
} // namespace tavrenhold
