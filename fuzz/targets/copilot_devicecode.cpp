// The answer to the Copilot device-code request, read as the sign-in reads it: the body must be a
// JSON object, then the code, the page to open, the poll interval and the lifetime are taken out.
#include "FuzzSupport.h"

#include "usage/clients/ClientSupport.h"
#include "usage/clients/CopilotUsageClient.h"

#include <cstdlib>

using namespace tavrenhold;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto answer = clients::jsonObject(fuzz::bytes(data, size));
    if (!answer)
        return 0;
    const auto code = CopilotUsageClient::decodeDeviceCode(*answer);
    if (!code.ok())
        return 0;
    const CopilotDeviceCode &c = code.value();
    // The page goes to the desktop's URL handler; the waits go to the clock.
    fuzz::check(c.verificationURL.scheme() == u"https" && !c.verificationURL.host().isEmpty(),
                "a verification page that is no https address");
    fuzz::check(c.interval >= 1 && c.interval <= (qint64(1) << 31) + 5, "a poll interval out of range");
    fuzz::check(std::abs(c.expiresIn) <= (qint64(1) << 31), "a code lifetime out of range");
    return 0;
}
