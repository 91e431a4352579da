#pragma once

#include "PlayerKind.h"

#include "design/Clock.h"

#include <QCoroTask>
#include <QString>

namespace tavrenhold {

class AppleEventRunner;
class PlayerWorkspace;

// Starts a music player on the user's behalf and gets it playing: opens the player's application
// when it does not run (without bringing it to the front), then checks 0.2 s later and every 0.6 s
// after that, 30 checks at most, asking the player for its state and sending it play until it
// answers "playing". Stateless; one run per call.
class MusicLauncher {
public:
    MusicLauncher() = delete;

    static constexpr Millis firstCheckDelay{200};
    static constexpr Millis checkInterval{600};
    static constexpr int maximumChecks = 30;

    // The scripts, addressed to the player by bundle identifier.
    [[nodiscard]] static QString stateScript(PlayerKind kind);
    [[nodiscard]] static QString playScript(PlayerKind kind);

    // Returns when the player reports "playing", when its application cannot be located, or after
    // the 30th check. Never fails; nothing cancels it. The clock, runner and workspace must outlive
    // the run.
    static QCoro::Task<> launchAndPlay(PlayerKind kind, Clock &clock, AppleEventRunner &runner,
                                       PlayerWorkspace &workspace);
    // The same with the real clock, the shared runner and the desktop's workspace.
    static QCoro::Task<> launchAndPlay(PlayerKind kind);
};

} // namespace tavrenhold
