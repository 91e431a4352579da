#pragma once

#include "usage/UsageClients.h"
#include "usage/UsageEndpoints.h"
#include "usage/UsageHTTP.h"

namespace tavrenhold::ChatGPTUsageClient {

// What the session endpoint gives: the bearer token and, where known, the account to act for.
struct Session {
    QString accessToken;
    std::optional<QString> accountID;
    bool operator==(const Session &) const = default;
};

// Session endpoint, then the usage endpoint with its token; the report has one or two limits.
[[nodiscard]] QCoro::Task<UsageFetchResult> fetch(UsageSession cookies, UsageRequestContext context,
    UsageEndpoints endpoints);

[[nodiscard]] Result<Session, UsageFailure> decodeSession(const QByteArray &body, const QString &claimKey);
// The "chatgpt_account_id" under claimKey in the token's payload, unverified; none on any trouble.
[[nodiscard]] std::optional<QString> accountIDClaim(const QString &jwt, const QString &claimKey);
[[nodiscard]] Result<UsageReport, UsageFailure> decodeUsage(const QByteArray &body, const QDateTime &now);

} // namespace tavrenhold::ChatGPTUsageClient
