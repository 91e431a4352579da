#include "VendorLoginWebSignIn.h"

namespace tavrenhold {

VendorLoginWebSignIn::VendorLoginWebSignIn(VendorLoginController::Services services, UsageEndpoints endpoints)
    : m_services(std::move(services)), m_endpoints(std::move(endpoints))
{
}

bool VendorLoginWebSignIn::isOpen() const { return VendorLoginController::current() != nullptr; }

void VendorLoginWebSignIn::cancelOpen()
{
    if (VendorLoginController *open = VendorLoginController::current())
        open->finish(VendorLoginController::Outcome::failure(VendorLoginController::LoginError::cancelled));
}

LoginError VendorLoginWebSignIn::storeError(VendorLoginController::LoginError error)
{
    switch (error) {
    case VendorLoginController::LoginError::cancelled:
        return {LoginError::Kind::cancelled};
    case VendorLoginController::LoginError::timedOut:
        return {LoginError::Kind::timedOut};
    case VendorLoginController::LoginError::notSignedIn:
        return {LoginError::Kind::notSignedIn};
    case VendorLoginController::LoginError::windowFailed:
        return {LoginError::Kind::windowFailed};
    }
    return {LoginError::Kind::cancelled};
}

QCoro::Task<Result<UsageSession, LoginError>> VendorLoginWebSignIn::signIn(UsageVendor vendor)
{
    auto profile = VendorLoginProfile::profile(vendor, m_endpoints);
    if (!profile) // xAI and Copilot never come here
        co_return Result<UsageSession, LoginError>::failure(storeError(VendorLoginController::LoginError::windowFailed));
    const auto outcome = co_await VendorLoginController::signIn(vendor, std::move(*profile), m_services);
    if (outcome.ok())
        co_return outcome.value();
    co_return Result<UsageSession, LoginError>::failure(storeError(outcome.error()));
}

} // namespace tavrenhold
