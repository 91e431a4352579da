#pragma once

#include "usage/UsageClients.h"
#include "usage/UsageEndpoints.h"
#include "usage/UsageHTTP.h"

namespace tavrenhold::CopilotUsageClient {

inline const QString noClientIDText = QStringLiteral("No GitHub OAuth client ID is configured.");
inline const QString expiredText = QStringLiteral("GitHub code expired. Try again.");
inline const QString deniedText = QStringLiteral("GitHub sign-in was denied.");

// Asks for a device code; with no client id configured fails at once and sends nothing. The
// verification page must be an absolute https URL with a host, else "device code" fails, so no
// other scheme ever reaches the desktop's URL handler.
[[nodiscard]] QCoro::Task<Result<CopilotDeviceCode, UsageFailure>> requestDeviceCode(UsageRequestContext context,
    UsageEndpoints endpoints);
[[nodiscard]] Result<CopilotDeviceCode, UsageFailure> decodeDeviceCode(const QJsonObject &answer);

// Polls for the access token: waits the interval (5 s more after each "slow_down") on the
// context's clock before every request, until the code expires by the wall clock.
[[nodiscard]] QCoro::Task<Result<QString, UsageFailure>> pollForToken(CopilotDeviceCode code,
    UsageRequestContext context, UsageEndpoints endpoints);

// The quota snapshots with the access token.
[[nodiscard]] QCoro::Task<UsageFetchResult> fetch(QString token, UsageRequestContext context, UsageEndpoints endpoints);
[[nodiscard]] Result<UsageReport, UsageFailure> decode(const QByteArray &body);

} // namespace tavrenhold::CopilotUsageClient
