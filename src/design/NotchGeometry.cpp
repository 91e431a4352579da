#include "NotchGeometry.h"

namespace tavrenhold {

namespace {
// The stand-in notch on a screen without a camera housing.
constexpr double standInWidth = 200;
// Its height when the screen shows no menu bar (or top panel) to measure.
constexpr double standInHeight = 32;
} // namespace

NotchGeometry NotchGeometry::measure(const platform::ScreenDescription &screen)
{
    NotchGeometry g;
    g.screenFrame = screen.frame;
    if (screen.topInset > 0 && screen.auxiliaryTopLeft && screen.auxiliaryTopRight) {
        const double width = screen.frame.width - screen.auxiliaryTopLeft->width - screen.auxiliaryTopRight->width;
        g.hardwareWidth = width > 0 ? width : 0;
        g.hardwareHeight = screen.topInset;
        g.isPhysical = true;
    } else {
        const double menuBar = screen.frame.maxY() - screen.visibleFrame.maxY();
        g.hardwareHeight = menuBar > 0 ? menuBar : standInHeight;
        g.hardwareWidth = standInWidth;
        g.isPhysical = false;
    }
    return g;
}

std::optional<std::size_t> NotchGeometry::screen(platform::GlobalPoint point,
                                                 const std::vector<platform::ScreenDescription> &screens)
{
    for (std::size_t i = 0; i < screens.size(); ++i) {
        const platform::GlobalRect &f = screens[i].frame;
        if (f.minX() <= point.x && point.x < f.maxX() && f.minY() <= point.y && point.y <= f.maxY())
            return i;
    }
    return std::nullopt;
}

std::optional<std::size_t> NotchGeometry::preferredScreen(const std::vector<platform::ScreenDescription> &screens,
                                                          NotchScreen choice, platform::GlobalPoint pointer)
{
    if (screens.empty())
        return std::nullopt;
    constexpr std::size_t fallback = 0; // the primary screen
    switch (choice) {
    case NotchScreen::cursor:
        return screen(pointer, screens).value_or(fallback);
    case NotchScreen::main:
        return fallback;
    case NotchScreen::builtIn:
        for (std::size_t i = 0; i < screens.size(); ++i) {
            if (screens[i].isBuiltIn)
                return i;
        }
        for (std::size_t i = 0; i < screens.size(); ++i) {
            if (screens[i].topInset > 0)
                return i;
        }
        return fallback;
    }
    return fallback;
}

} // namespace tavrenhold
