#include "LiveUsageClients.h"

#include "ChatGPTUsageClient.h"
#include "ClaudeUsageClient.h"
#include "CopilotUsageClient.h"
#include "CursorUsageClient.h"
#include "GeminiUsageClient.h"
#include "GrokUsageClient.h"

namespace tavrenhold {

namespace {

QCoro::Task<UsageFetchResult> cursorReport(CursorSession session, UsageRequestContext context, UsageEndpoints endpoints)
{
    const auto snapshot = co_await CursorUsageClient::fetch(std::move(session), context, std::move(endpoints));
    if (!snapshot.ok())
        co_return UsageFetchResult::failure(snapshot.error());
    co_return snapshot.value().report();
}

QCoro::Task<UsageFetchResult> fetchVendor(UsageVendor vendor, UsageSession session, QNetworkAccessManager &network,
    CancelToken token, UsageEndpoints endpoints, Clock &clock)
{
    const UsageRequestContext context{network, clock, token};
    switch (vendor) {
    case UsageVendor::openai: co_return co_await ChatGPTUsageClient::fetch(session, context, endpoints);
    case UsageVendor::anthropic: co_return co_await ClaudeUsageClient::fetch(session, context, endpoints);
    case UsageVendor::google: co_return co_await GeminiUsageClient::fetch(session, context, endpoints);
    case UsageVendor::xai: co_return co_await GrokUsageClient::fetchWithLoginFile(context, endpoints);
    case UsageVendor::cursor: {
        const auto cursor = CursorSession::fromCookies(session);
        if (!cursor)
            co_return UsageFetchResult::failure(CursorClientError::unauthorized());
        co_return co_await cursorReport(*cursor, context, endpoints);
    }
    case UsageVendor::copilot:
        co_return co_await CopilotUsageClient::fetch(session.value(QStringLiteral("github_token")), context, endpoints);
    }
    co_return UsageFetchResult::failure(UsageFetchError::signedOut(vendor));
}

QCoro::Task<Status<UsageFailure>> grokLogin(QDateTime now, UsageEndpoints endpoints)
{
    co_return GrokUsageClient::checkLogin(now, endpoints);
}

} // namespace

UsageClients liveUsageClients(const UsageEndpoints &endpoints, Clock &clock)
{
    UsageClients clients;
    clients.fetch = [endpoints, &clock](UsageVendor vendor, UsageSession session, QNetworkAccessManager &network,
                        CancelToken token) {
        return fetchVendor(vendor, std::move(session), network, std::move(token), endpoints, clock);
    };
    clients.grokLogin = [endpoints](QDateTime now) { return grokLogin(now, endpoints); };
    clients.grokNoLoginMessage = GrokUsageClient::noLoginText(endpoints);
    clients.copilotDeviceCode = [endpoints, &clock](QNetworkAccessManager &network, CancelToken token) {
        return CopilotUsageClient::requestDeviceCode(UsageRequestContext{network, clock, std::move(token)}, endpoints);
    };
    clients.copilotPollToken = [endpoints](CopilotDeviceCode code, QNetworkAccessManager &network, Clock &waits,
                                   CancelToken token) {
        return CopilotUsageClient::pollForToken(std::move(code), UsageRequestContext{network, waits, std::move(token)},
            endpoints);
    };
    return clients;
}

} // namespace tavrenhold
