// A vendor's session as the keyring item holds it: decoded when the usage store loads it, and
// encoded again when it saves it; a session must survive the round.
#include "FuzzSupport.h"

#include "usage/VendorSessionStore.h"

using namespace tavrenhold;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto session = VendorSessionStore::decode(fuzz::bytes(data, size));
    if (!session)
        return 0;
    const auto again = VendorSessionStore::decode(VendorSessionStore::encode(*session));
    fuzz::check(again && *again == *session, "a saved session does not read back the same");
    return 0;
}
