#include "HapticFeedback.h"

namespace tavrenhold::platform {

// No haptic device on this platform: nothing to perform.
void HapticFeedback::perform(HapticPattern) {}

} // namespace tavrenhold::platform
