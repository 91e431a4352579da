#include "LoginItem.h"

#include "platform/Defaults.h"

namespace tavrenhold {

namespace {
const QString kConfigured = QStringLiteral("launchAtLogin.configured");
}

using platform::LoginStatus;

LoginItem::LoginItem(platform::LoginService &service) : m_service(service) {}

LoginItem &LoginItem::shared()
{
    static LoginItem item(platform::LoginService::standard());
    return item;
}

bool LoginItem::setEnabled(bool enabled)
{
    if (!m_service.runsFromInstalledPrefix())
        return false;
    const LoginStatus status = m_service.status();
    if (enabled) {
        if (status == LoginStatus::enabled)
            return true;
        return m_service.registerApp().ok();
    }
    if (status == LoginStatus::notRegistered || status == LoginStatus::notFound)
        return true;
    return m_service.unregisterApp().ok();
}

void LoginItem::applyDefaultOnFirstLaunch(platform::Defaults &defaults)
{
    if (!m_service.runsFromInstalledPrefix())
        return;
    if (defaults.boolean(kConfigured))
        return;
    defaults.set(kConfigured, true);
    [[maybe_unused]] const bool registered = setEnabled(true);
}

void LoginItem::openSystemSettings() { m_service.openSettings(); }

LoginStatus LoginItem::status() const { return m_service.status(); }

} // namespace tavrenhold
