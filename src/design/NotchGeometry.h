#pragma once

#include "NotchScreen.h"
#include "platform/ScreenList.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace tavrenhold {

// The camera housing of one screen, or the notch-sized area that stands in for it on a screen
// without one. All values are points in the global space (origin bottom left of the primary
// screen, y up).
struct NotchGeometry {
    double hardwareWidth = 0;  // the housing's width, or 200 without one
    double hardwareHeight = 0; // the top inset, or the menu bar's (top panel's) height without one
    bool isPhysical = false;   // whether the screen has a camera housing
    platform::GlobalRect screenFrame;

    bool operator==(const NotchGeometry &) const = default;

    // Measures one screen.
    [[nodiscard]] static NotchGeometry measure(const platform::ScreenDescription &screen);

    // The index of the first screen whose frame holds `point` (right edge open, top edge
    // closed), or nothing.
    [[nodiscard]] static std::optional<std::size_t> screen(platform::GlobalPoint point,
                                                           const std::vector<platform::ScreenDescription> &screens);

    // The index of the screen the notch lives on for `choice`; `pointer` is where the pointer is
    // now (read only for `cursor`). Nothing only when `screens` is empty.
    [[nodiscard]] static std::optional<std::size_t> preferredScreen(const std::vector<platform::ScreenDescription> &screens,
                                                                    NotchScreen choice, platform::GlobalPoint pointer);
};

} // namespace tavrenhold
