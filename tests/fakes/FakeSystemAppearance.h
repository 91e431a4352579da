#pragma once

#include "platform/SystemAppearance.h"

namespace tavrenhold::test {

// A desktop appearance a test sets by hand; notifies only on change.
class FakeSystemAppearance final : public platform::SystemAppearance {
public:
    bool isDark() const override { return m_dark; }
    bool reduceMotion() const override { return m_reduceMotion; }
    ColorScheme colorScheme() const override { return m_scheme; }

    void setDark(bool dark)
    {
        if (std::exchange(m_dark, dark) != dark)
            Q_EMIT isDarkChanged();
    }
    void setColorScheme(ColorScheme scheme)
    {
        if (std::exchange(m_scheme, scheme) != scheme)
            Q_EMIT colorSchemeChanged();
    }
    void setReduceMotion(bool reduce)
    {
        if (std::exchange(m_reduceMotion, reduce) != reduce)
            Q_EMIT reduceMotionChanged();
    }

private:
    bool m_dark = false;
    bool m_reduceMotion = false;
    ColorScheme m_scheme = ColorScheme::noPreference;
};

} // namespace tavrenhold::test
