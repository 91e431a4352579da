#include "FakeLoginService.h"

namespace tavrenhold::test {

using platform::LoginError;
using platform::LoginStatus;

LoginStatus FakeLoginService::status() const
{
    ++statusCalls;
    return currentStatus;
}

Status<LoginError> FakeLoginService::registerApp()
{
    ++registerCalls;
    if (onRegister)
        onRegister();
    if (!registerSucceeds)
        return Status<LoginError>::failure(LoginError::writeFailed);
    currentStatus = statusAfterRegister;
    return Ok{};
}

Status<LoginError> FakeLoginService::unregisterApp()
{
    ++unregisterCalls;
    if (!unregisterSucceeds)
        return Status<LoginError>::failure(LoginError::removeFailed);
    currentStatus = LoginStatus::notRegistered;
    return Ok{};
}

} // namespace tavrenhold::test
