#pragma once

#include "platform/FrontmostApplication.h"
#include "XcbConnection.h"

#include <memory>

namespace tavrenhold::platform::x11 {

// The window manager's active window (_NET_ACTIVE_WINDOW), named by its desktop entry: the one its
// _GTK_APPLICATION_ID names, else the one whose StartupWMClass or file ID matches its WM_CLASS
// (case-insensitive). The bundle identifier is the desktop-file ID without ".desktop", the name is
// the entry's Name; without an entry the class stands in for both. Without a window manager,
// nothing is in front.
class X11FrontmostApplication final : public FrontmostApplication {
public:
    X11FrontmostApplication();
    explicit X11FrontmostApplication(std::shared_ptr<XcbConnection> connection);

    std::optional<RunningApplication> frontmost() const override;

    // The application a window of this GTK application ID or WM_CLASS (instance, class) stands for,
    // from the desktop entries in the XDG data folders.
    [[nodiscard]] static RunningApplication match(const QString &gtkApplicationID, const QString &instance,
                                                  const QString &wmClass);

private:
    std::shared_ptr<XcbConnection> m_connection;
};

} // namespace tavrenhold::platform::x11
