#pragma once

#include "usage/UsageClients.h"
#include "usage/UsageEndpoints.h"
#include "usage/UsageHTTP.h"

namespace tavrenhold::GrokUsageClient {

inline const QString loginExpiredText = QStringLiteral("Grok CLI login expired. Run `grok login` in Terminal.");
inline const QString noFigureText = QStringLiteral("Grok hasn\u2019t reported credit usage for this period yet.");
// "No Grok CLI login. Install Grok (<download>), run `grok login` in Terminal, then connect xAI."
[[nodiscard]] QString noLoginText(const UsageEndpoints &endpoints);

// $GROK_HOME/auth.json when GROK_HOME is set and not empty, else ~/.grok/auth.json.
[[nodiscard]] QString authFilePath();
// The login file's bytes; none unless it is a regular file of at most 1 MiB that can be read (a
// FIFO or device there must not block the main thread).
[[nodiscard]] std::optional<QByteArray> readAuthFile(const QString &path);

// The token of the best login in the file: names under the auth service first, then the accounts
// service, then any; the first met (names in sorted order) among equals. Expired at or before now
// fails with the login-expired text; no login with the no-login text.
[[nodiscard]] Result<QString, UsageFailure> token(const QByteArray &authFile, const QDateTime &now,
    const UsageEndpoints &endpoints);

// The credit usage with that token; a refused token is the login-expired text, never signedOut.
[[nodiscard]] QCoro::Task<UsageFetchResult> fetch(QString token, UsageRequestContext context, UsageEndpoints endpoints);

[[nodiscard]] Result<UsageReport, UsageFailure> decode(const QByteArray &body);

// Reads the login file afresh and fetches with its token: what a refresh of xAI does.
[[nodiscard]] QCoro::Task<UsageFetchResult> fetchWithLoginFile(UsageRequestContext context, UsageEndpoints endpoints);
// Connecting xAI: the login file holds a login that has not expired at `now`.
[[nodiscard]] Status<UsageFailure> checkLogin(const QDateTime &now, const UsageEndpoints &endpoints);

} // namespace tavrenhold::GrokUsageClient
