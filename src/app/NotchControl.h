#pragma once

#include "design/NotchPane.h"

#include <optional>

namespace tavrenhold {

// What the application delegate asks of the notch controller (the controller lives in the shell,
// which builds on this library).
class NotchControl {
public:
    virtual ~NotchControl() = default;

    virtual void start() = 0;
    virtual void stop() = 0;
    // Opens the surface at once, landing on `pane` when one is given.
    virtual void present(std::optional<PaneID> pane) = 0;
    // Measures and places the notch again (the layout settings changed).
    virtual void relocate() = 0;
    // Lets the shell model, when there is one, re-read the pane order and the hidden panes.
    virtual void syncPanePreferences() = 0;
    // Works the interactive area out again.
    virtual void updateHitBox() = 0;
};

} // namespace tavrenhold
