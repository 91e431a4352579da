#pragma once

#include "platform/HapticFeedback.h"

namespace tavrenhold {

namespace platform {
class Defaults;
}

// Haptic feedback for the panes, behind the user's switch "notch.haptics".
class NotchHaptics {
public:
    using Pattern = platform::HapticPattern;

    // The switch in the standard user defaults, read afresh on every call: a stored value that reads
    // as a boolean, true when absent or anything else.
    [[nodiscard]] static bool isEnabled();
    [[nodiscard]] static bool isEnabled(const platform::Defaults &defaults);

    // Performs `pattern` now when enabled.
    static void perform(Pattern pattern);
};

} // namespace tavrenhold
