#include "SystemAppearance.h"

namespace tavrenhold::platform {

namespace {
// Light, with motion on, until the desktop says otherwise.
class FallbackAppearance final : public SystemAppearance {
public:
    bool isDark() const override { return false; }
    bool reduceMotion() const override { return false; }
};
} // namespace

SystemAppearance &SystemAppearance::shared()
{
    static FallbackAppearance appearance;
    return appearance;
}

} // namespace tavrenhold::platform
