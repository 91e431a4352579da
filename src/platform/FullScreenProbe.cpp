#include "FullScreenProbe.h"

namespace tavrenhold::platform {

bool showsFullScreen(const FullScreenSnapshot &snapshot)
{
    // A window manager that is gone leaves stale states behind; without one nothing is full screen.
    if (!snapshot.windowManager || snapshot.screen.isEmpty())
        return false;
    for (auto it = snapshot.clients.rbegin(); it != snapshot.clients.rend(); ++it) {
        if (it->hidden || !it->viewable || it->frame.isEmpty())
            continue;
        if (!snapshot.screen.contains(it->frame.center()))
            continue;
        return it->fullScreen;
    }
    return false;
}

} // namespace tavrenhold::platform
