#pragma once

#include "platform/LoginService.h"

#include <functional>

namespace tavrenhold::test {

// A login service a test sets by hand. It counts the calls it gets; a successful registration makes
// the status `statusAfterRegister`, a successful unregistration makes it not registered.
class FakeLoginService final : public platform::LoginService {
public:
    bool runsFromInstalledPrefix() const override { return installed; }
    platform::LoginStatus status() const override;
    Status<platform::LoginError> registerApp() override;
    Status<platform::LoginError> unregisterApp() override;
    void openSettings() override { ++openSettingsCalls; }

    bool installed = true;
    platform::LoginStatus currentStatus = platform::LoginStatus::notRegistered;
    platform::LoginStatus statusAfterRegister = platform::LoginStatus::enabled;
    bool registerSucceeds = true;
    bool unregisterSucceeds = true;
    // Runs at the start of every registration, e.g. to look at the defaults at that moment.
    std::function<void()> onRegister;

    mutable int statusCalls = 0;
    int registerCalls = 0;
    int unregisterCalls = 0;
    int openSettingsCalls = 0;
};

} // namespace tavrenhold::test
