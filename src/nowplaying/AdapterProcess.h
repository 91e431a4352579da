#pragma once

#include "AdapterLocation.h"
#include "NowPlayingModels.h"
#include "SerialQueue.h"
#include "design/Clock.h"

#include <QByteArray>
#include <QCoroTask>
#include <QStringList>

#include <csignal>
#include <functional>
#include <optional>

namespace tavrenhold {

// One-shot and detached adapter runs. Both pass through one first-in-first-out adapter queue: one run
// at a time, in the order they were asked for. A run made for a purpose waits in the queue only until
// a newer run of the same purpose is asked for, and runs only when its caller still wants it once its
// turn has come: a player that changes tracks many times a second queues one pull, not hundreds.
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

    // What a run is for: at most one run of each purpose other than `other` waits in the queue.
    enum class Purpose { other, trackRefresh, artwork };
    // Asked when a run's turn comes: false skips the run.
    using Wanted = std::function<bool()>;
    // Status of a run that never ran: replaced while waiting, or no longer wanted at its turn.
    static constexpr int skippedStatus = -2;

    // Runs `perl script framework <arguments…>` once and collects its standard output. At the
    // time-out (seconds) the run stops being read, the process is ended for good and the result is
    // timedOutStatus with the output read so far; the queue goes on at once. Never fails otherwise:
    // every problem shows in the status.
    [[nodiscard]] static QCoro::Task<Output> run(AdapterLocation location, QStringList arguments, double timeout);
    // The same for a purpose: skippedStatus with no data, without launching anything, when a newer
    // run of the purpose replaced this one while it waited, or when `wanted` says no at its turn.
    [[nodiscard]] static QCoro::Task<Output> run(AdapterLocation location, QStringList arguments, double timeout,
                                                 Purpose purpose, Wanted wanted);

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
