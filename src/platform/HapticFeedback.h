#pragma once

namespace tavrenhold::platform {

enum class HapticPattern { generic, alignment };

// The system's haptic feedback performer. Linux desktops have no haptic feedback to drive, so the
// call exists for its callers and does nothing.
class HapticFeedback {
public:
    static void perform(HapticPattern pattern);
};

} // namespace tavrenhold::platform
