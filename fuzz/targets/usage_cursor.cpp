// The Cursor client's decoders: the usage summary, the period-usage answer, and the bearer token
// cut out of the session cookie.
#include "UsageCheck.h"

#include "usage/clients/CursorUsageClient.h"

using namespace tavrenhold;

namespace {

void checkSnapshot(const CursorUsageClient::SnapshotResult &result)
{
    if (!result.ok())
        return;
    const auto &snapshot = result.value();
    fuzz::checkReport(snapshot.report());
    (void)snapshot.sample();
    if (const auto window = snapshot.window())
        (void)window->shortRange();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray body = fuzz::bytes(data, size);
    checkSnapshot(CursorUsageClient::decodeSummary(body));
    checkSnapshot(CursorUsageClient::decodePeriodUsage(body));
    const UsageSession cookies{{QStringLiteral("WorkosCursorSessionToken"), QString::fromUtf8(body)}};
    if (const auto session = CursorSession::fromCookies(cookies))
        (void)session->accessToken();
    return 0;
}
