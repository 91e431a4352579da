#pragma once

#include <QObject>

namespace tavrenhold::platform {

// The desktop's light/dark preference and its reduce-motion switch, followed live.
class SystemAppearance : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isDark READ isDark NOTIFY isDarkChanged)
    Q_PROPERTY(bool reduceMotion READ reduceMotion NOTIFY reduceMotionChanged)

public:
    // What the desktop itself says of its scheme; `isDark` falls back on other signs where it says
    // nothing.
    enum class ColorScheme { noPreference, dark, light };

    using QObject::QObject;

    [[nodiscard]] virtual bool isDark() const = 0;
    [[nodiscard]] virtual bool reduceMotion() const = 0;
    [[nodiscard]] virtual ColorScheme colorScheme() const { return ColorScheme::noPreference; }

    // The desktop's own source for the run (the XDG desktop portal, with a plain fallback).
    static SystemAppearance &shared();

Q_SIGNALS:
    void isDarkChanged();
    void reduceMotionChanged();
    void colorSchemeChanged();
};

} // namespace tavrenhold::platform
