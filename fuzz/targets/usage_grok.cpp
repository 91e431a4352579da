// The xAI client's decoders: the Grok tool's login file (xAI's sign-in: it has no device flow of
// its own) and the credit usage answer.
#include "UsageCheck.h"

#include "usage/clients/GrokUsageClient.h"

using namespace tavrenhold;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray body = fuzz::bytes(data, size);
    (void)GrokUsageClient::token(body, fuzz::fixedNow(), UsageEndpoints());
    fuzz::checkResult(GrokUsageClient::decode(body));
    return 0;
}
