// The ChatGPT client's decoders: the session answer (with the account claim in its token) and the
// usage answer.
#include "UsageCheck.h"

#include "usage/clients/ChatGPTUsageClient.h"

using namespace tavrenhold;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray body = fuzz::bytes(data, size);
    const QString claimKey = UsageEndpoints().openaiApi + QStringLiteral("/auth");
    (void)ChatGPTUsageClient::decodeSession(body, claimKey);
    (void)ChatGPTUsageClient::accountIDClaim(QString::fromUtf8(body), claimKey);
    fuzz::checkResult(ChatGPTUsageClient::decodeUsage(body, fuzz::fixedNow()));
    return 0;
}
