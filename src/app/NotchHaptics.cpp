#include "NotchHaptics.h"

#include "platform/Defaults.h"

namespace tavrenhold {

bool NotchHaptics::isEnabled() { return isEnabled(platform::Defaults::standard()); }

bool NotchHaptics::isEnabled(const platform::Defaults &defaults)
{
    return defaults.boolValue(QStringLiteral("notch.haptics")).value_or(true);
}

void NotchHaptics::perform(Pattern pattern)
{
    if (isEnabled())
        platform::HapticFeedback::perform(pattern);
}

} // namespace tavrenhold
