// The Gemini client's decoder of the usage query's answer.
#include "UsageCheck.h"

#include "usage/clients/GeminiUsageClient.h"

using namespace tavrenhold;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::checkResult(GeminiUsageClient::decode(fuzz::bytes(data, size)));
    return 0;
}
