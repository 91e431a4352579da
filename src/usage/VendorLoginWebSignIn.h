#pragma once

// The usage store's web sign-in seam, filled by the sign-in controller.

#include "VendorLoginController.h"
#include "WebSignIn.h"

namespace tavrenhold {

// Signs OpenAI, Anthropic, Google and Cursor in through their profiles on the configured hosts.
class VendorLoginWebSignIn final : public WebSignIn {
public:
    explicit VendorLoginWebSignIn(VendorLoginController::Services services = VendorLoginController::Services::live(),
                                  UsageEndpoints endpoints = UsageEndpoints::shared());

    [[nodiscard]] bool isOpen() const override;
    void cancelOpen() override;
    [[nodiscard]] QCoro::Task<Result<UsageSession, LoginError>> signIn(UsageVendor vendor) override;

    // The store's error for the controller's.
    [[nodiscard]] static LoginError storeError(VendorLoginController::LoginError error);

private:
    VendorLoginController::Services m_services;
    UsageEndpoints m_endpoints;
};

} // namespace tavrenhold
