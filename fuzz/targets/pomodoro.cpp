// The stored focus record ("focus.pomodoro" in the settings store): decoded as the Focus pane does
// at start, then driven through the timer's operations; whatever decodes must encode again and
// read back the same, or the next start would lose the user's timer and rounds.
#include "FuzzSupport.h"

#include "focus/PomodoroState.h"

#include <cmath>

using namespace tavrenhold;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto decoded = decodePomodoro(fuzz::bytes(data, size));
    if (!decoded.ok())
        return 0;
    PomodoroState state = decoded.value();

    const auto encoded = encodePomodoro(state);
    fuzz::check(encoded.has_value(), "a decoded record does not encode");
    const auto again = decodePomodoro(*encoded);
    fuzz::check(again.ok() && again.value() == state, "an encoded record does not read back the same");

    // What the pane does with a record it read: roll over the phases that ended while it was not
    // running, show the remaining time and progress, and let the user toggle and pause.
    const double now = referenceSeconds(fuzz::fixedNow());
    for (const double at : {now, now + 3600.0, now - 86400.0 * 365}) {
        PomodoroState s = state;
        s.rollForward(at);
        const double remaining = s.remaining(at);
        const double progress = s.progress(at);
        fuzz::check(std::isfinite(remaining) && remaining >= 0, "the remaining time is not a time");
        fuzz::check(progress >= 0 && progress <= 1, "the progress is outside 0...1");
        (void)s.span();
        (void)s.rounds(at);
        s.toggle(at);
        s.pause(at + 10);
        s.toggle(at + 20);
        s.complete(at + 30);
        fuzz::check(encodePomodoro(s).has_value(), "a state the timer reached does not encode");
    }
    return 0;
}
