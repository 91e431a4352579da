#pragma once

#include <QString>

#include <memory>
#include <optional>

namespace tavrenhold::platform {

// The application in front: its desktop-file ID as bundle identifier, and its name.
struct RunningApplication {
    std::optional<QString> bundleIdentifier;
    std::optional<QString> localizedName;

    bool operator==(const RunningApplication &) const = default;
};

// Which application the user works in now.
class FrontmostApplication {
public:
    virtual ~FrontmostApplication() = default;
    // Nothing when no window is active (or no window manager tells).
    [[nodiscard]] virtual std::optional<RunningApplication> frontmost() const = 0;

    // The display's active window, matched to its desktop entry.
    [[nodiscard]] static std::unique_ptr<FrontmostApplication> create();
};

} // namespace tavrenhold::platform
