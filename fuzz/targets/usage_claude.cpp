// The Claude client's decoders: the organization list and the usage answer.
#include "UsageCheck.h"

#include "usage/clients/ClaudeUsageClient.h"

#include <QRegularExpression>

using namespace tavrenhold;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray body = fuzz::bytes(data, size);
    if (const auto id = ClaudeUsageClient::organizationID(body); id.ok()) {
        // The id goes into a request path as it is.
        static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_-]+$"));
        fuzz::check(plain.match(id.value()).hasMatch(), "an organization id that is no plain path segment");
    }
    fuzz::checkResult(ClaudeUsageClient::decodeUsage(body));
    return 0;
}
