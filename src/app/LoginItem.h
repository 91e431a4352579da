#pragma once

#include "platform/LoginService.h"

namespace tavrenhold {

namespace platform {
class Defaults;
}

// Launch at login: registering the program with the desktop's login service, the first-launch
// default, and showing where login items are managed. Outside an installed prefix it does nothing.
class LoginItem {
public:
    // `service` must outlive the login item.
    explicit LoginItem(platform::LoginService &service);

    // Over the desktop's own login service.
    static LoginItem &shared();

    // Registers (true) or unregisters (false). True on success or when nothing had to be done; false
    // outside an installed prefix or when the service refuses.
    [[nodiscard]] bool setEnabled(bool enabled);
    // Turns launch at login on once per installation: "launchAtLogin.configured" is written first, so a
    // failed registration is not retried at the next launch.
    void applyDefaultOnFirstLaunch(platform::Defaults &defaults);
    void openSystemSettings();
    [[nodiscard]] platform::LoginStatus status() const;

private:
    platform::LoginService &m_service;
};

} // namespace tavrenhold
