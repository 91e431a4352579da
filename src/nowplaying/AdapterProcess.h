#pragma once

#include "AdapterLocation.h"
#include "NowPlayingModels.h"
#include "SerialQueue.h"
#include "design/Clock.h"

#include <QByteArray>
#include <QCoroTask>
#include <QStringList>

#include <csignal>
#include <optional>

namespace tavrenhold {

// One-shot and detached adapter runs. Both pass through one first-in-first-out adapter queue: one run
// at a time, in the order they were asked for.
class AdapterProcess {
public:
    struct Output {
        int status = -1; // exit status; -1 when the adapter could not be launched
        QByteArray data; // everything read from standard output

        bool operator==(const Output &) const = default;
    };

    // Status of a run that was ended by its time-out (as if terminated by SIGTERM); never 0.
    static constexpr int timedOutStatus = SIGTERM;
    // How long a timed-out run has after SIGTERM before it gets SIGKILL.
    static constexpr Millis killGrace{500};
    // Standard output beyond this ends the run like a time-out.
    static constexpr qsizetype maxOutputBytes = 32 * 1024 * 1024;

    // Runs `perl script framework <arguments…>` once and collects its standard output. At the
    // time-out (seconds) the run stops being read, the process is ended for good and the result is
    // timedOutStatus with the output read so far; the queue goes on at once. Never fails otherwise:
    // every problem shows in the status.
    [[nodiscard]] static QCoro::Task<Output> run(AdapterLocation location, QStringList arguments, double timeout);

    // Launches `perl script framework <arguments…>` on the queue and returns at once; nobody reads
    // its output or waits for it. A launch failure is dropped.
    static void detached(AdapterLocation location, QStringList arguments);

    // The adapter's own arguments for a transport command: "send" with the command number, or "seek"
    // with whole microseconds of max(0, seconds). Nothing for a seek that is not finite or does not
    // fit a 64-bit count of microseconds.
    [[nodiscard]] static std::optional<QStringList> commandArguments(const TransportCommand &command);

    // The adapter queue all runs go through.
    [[nodiscard]] static SerialQueue &queue();
};

} // namespace tavrenhold
