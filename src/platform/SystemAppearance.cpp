#include "SystemAppearance.h"

#include "PortalAppearance.h"

namespace tavrenhold::platform {

SystemAppearance &SystemAppearance::shared()
{
    // Made on first use on the main thread and kept for the whole run (never destroyed, so no
    // bus traffic happens during exit).
    static PortalAppearance *const appearance = new PortalAppearance(QDBusConnection::sessionBus());
    return *appearance;
}

} // namespace tavrenhold::platform
