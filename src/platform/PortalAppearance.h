#pragma once

#include "SystemAppearance.h"

#include <QDBusConnection>
#include <QDBusVariant>
#include <QString>

#include <chrono>

namespace QCoro {
template <typename T>
class Task;
}

namespace tavrenhold::platform {

// The desktop's appearance read from the XDG desktop portal's Settings interface:
// "org.freedesktop.appearance" "color-scheme" (1 prefer dark, 2 prefer light, 0 no preference) and
// "org.gnome.desktop.interface" "enable-animations", followed through SettingChanged.
//
// Nothing waits on the portal: both readings are asynchronous with a time-out, and until (or
// unless) the portal answers, the values are the plain fallback: dark when the application
// palette's window colour is dark, motion on. "No preference" also takes the palette's answer.
class PortalAppearance final : public SystemAppearance {
    Q_OBJECT

public:
    static constexpr auto portalService = "org.freedesktop.portal.Desktop";
    static constexpr auto portalPath = "/org/freedesktop/portal/desktop";
    static constexpr auto settingsInterface = "org.freedesktop.portal.Settings";
    static constexpr auto appearanceNamespace = "org.freedesktop.appearance";
    static constexpr auto colorSchemeKey = "color-scheme";
    static constexpr auto interfaceNamespace = "org.gnome.desktop.interface";
    static constexpr auto animationsKey = "enable-animations";

    explicit PortalAppearance(QDBusConnection bus, std::chrono::milliseconds timeout = std::chrono::seconds(3),
                              QObject *parent = nullptr);

    [[nodiscard]] bool isDark() const override { return m_dark; }
    [[nodiscard]] bool reduceMotion() const override { return m_reduceMotion; }
    [[nodiscard]] ColorScheme colorScheme() const override { return m_scheme; }

    // The fallback's reading: the application palette's window colour is dark.
    [[nodiscard]] static bool paletteIsDark();

private Q_SLOTS:
    void onSettingChanged(const QString &ns, const QString &key, const QDBusVariant &value);

private:
    enum class Setting { colorScheme, animations };

    QCoro::Task<void> readInitial(Setting setting);
    // Applies one reading; false when the value is not of the setting's type.
    bool apply(Setting setting, const QVariant &value);
    void setDark(bool dark);
    void setColorScheme(ColorScheme scheme);
    void setReduceMotion(bool reduce);

    QDBusConnection m_bus;
    std::chrono::milliseconds m_timeout;
    bool m_dark = false;
    bool m_reduceMotion = false;
    ColorScheme m_scheme = ColorScheme::noPreference;
    // A change signalled while the first reading is on its way is newer than that reading.
    bool m_schemeSignalled = false;
    bool m_animationsSignalled = false;
};

} // namespace tavrenhold::platform
