#pragma once

#include "usage/UsageClients.h"
#include "usage/UsageEndpoints.h"
#include "usage/UsageHTTP.h"

namespace tavrenhold::GeminiUsageClient {

inline const QString querySignature = QStringLiteral("2/Qm7rTzX1pLk9VwE3sYh0JdN5cGuB8aFoR4iM6tKe2xw=");
inline const QString variables = QStringLiteral(
    R"({"g1Request":{"entrypoints":["GEMINI_USAGE_SETTINGS_UPGRADE_BANNER"]},"workspaceRequest":{"recommendationsForSurfaceRequests":[]}})");

// One fixed GraphQL query with the whole cookie jar; reads the 5-hour and weekly pools.
[[nodiscard]] QCoro::Task<UsageFetchResult> fetch(UsageSession cookies, UsageRequestContext context,
    UsageEndpoints endpoints);

[[nodiscard]] Result<UsageReport, UsageFailure> decode(const QByteArray &body);

} // namespace tavrenhold::GeminiUsageClient
