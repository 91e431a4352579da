#pragma once

#include "usage/UsageClients.h"
#include "usage/UsageEndpoints.h"
#include "usage/UsageHTTP.h"

namespace tavrenhold::ClaudeUsageClient {

// The organization list, then the chosen organization's usage, with the "sessionKey" cookie only.
[[nodiscard]] QCoro::Task<UsageFetchResult> fetch(UsageSession cookies, UsageRequestContext context,
    UsageEndpoints endpoints);

// The uuid of the first organization that can chat, else of the first one. Only ids of letters,
// digits, "_" and "-" are used, since the id goes into the path as it is.
[[nodiscard]] Result<QString, UsageFailure> organizationID(const QByteArray &body);
[[nodiscard]] Result<UsageReport, UsageFailure> decodeUsage(const QByteArray &body);

} // namespace tavrenhold::ClaudeUsageClient
