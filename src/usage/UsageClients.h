#pragma once

#include "UsageModels.h"

#include "design/CancelToken.h"
#include "design/Clock.h"
#include "base/Result.h"

#include <QCoroTask>
#include <QMap>
#include <QString>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;

namespace tavrenhold {

// One vendor's session dictionary: cookie name to value from the web sign-in, "github_token" to the
// Copilot access token, or "source" to "grok-cli" for xAI. QMap keeps the names sorted.
using UsageSession = QMap<QString, QString>;

using UsageFetchResult = Result<UsageReport, UsageFailure>;

// What the Copilot device-code request gives: the code the token polls send back, the code the
// user types on the vendor's page, that page (always an absolute https URL with a host), the wait
// between polls (≥ 1 s) and the code's lifetime, both in seconds.
struct CopilotDeviceCode {
    QString deviceCode;
    QString userCode;
    QUrl verificationURL;
    qint64 interval = 5;
    qint64 expiresIn = 900;
    bool operator==(const CopilotDeviceCode &) const = default;
};

// The seam between the usage store and the vendor clients. The store fills it with the real
// clients (usage/clients/LiveUsageClients.h, `liveUsageClients`) and tests with fakes. Every call
// runs on the main thread; failures come back as values, never thrown. A call whose token is
// cancelled aborts its request and gives UsageCancelled; the caller still checks its token after
// each co_await.
struct UsageClients {
    // Fetches one vendor's report with its stored session (the store has checked the session is
    // usable first). For xAI the session is only a marker: the Grok login file is read afresh.
    std::function<QCoro::Task<UsageFetchResult>(UsageVendor, UsageSession, QNetworkAccessManager &, CancelToken)>
        fetch;

    // Connecting xAI: reads the Grok login file and checks it holds an unexpired login at `now`.
    std::function<QCoro::Task<Status<UsageFailure>>(QDateTime now)> grokLogin;

    // The "unavailable" text for xAI when it has no usable marker or login file.
    QString grokNoLoginMessage;

    // Connecting Copilot, step 1: asks for a device code. Fails at once, sending nothing, when no
    // OAuth client id is configured.
    std::function<QCoro::Task<Result<CopilotDeviceCode, UsageFailure>>(QNetworkAccessManager &, CancelToken)>
        copilotDeviceCode;

    // Connecting Copilot, step 2: polls until the user approved the code; gives the access token.
    // Waits go through the clock's sleepFor with the token, the deadline through its wallNow.
    std::function<QCoro::Task<Result<QString, UsageFailure>>(
        CopilotDeviceCode, QNetworkAccessManager &, Clock &, CancelToken)>
        copilotPollToken;
};

} // namespace tavrenhold
