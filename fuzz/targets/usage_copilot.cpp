// The Copilot client's decoder of the quota answer.
#include "UsageCheck.h"

#include "usage/clients/CopilotUsageClient.h"

using namespace tavrenhold;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::checkResult(CopilotUsageClient::decode(fuzz::bytes(data, size)));
    return 0;
}
