#pragma once

#include "AdapterLocation.h"
#include "design/Clock.h"

#include <QByteArray>

#include <optional>
#include <sys/types.h>

class QProcess;

namespace tavrenhold::adapterchild {

// Every adapter child carries, in this environment variable, "<pid> <start time>" of the program that
// launched it (start time: clock ticks after boot, as /proc/<pid>/stat field 22 gives it), so that a
// child whose launcher is gone can be told from one whose launcher still runs.
inline constexpr char launcherVariable[] = "TAVRENHOLD_ADAPTER_LAUNCHER";
// Each child also carries, in this one, "<launcher record> <run number>", unique to the run; what it
// starts inherits it, so descendants that left its process group are still known as its own.
inline constexpr char runVariable[] = "TAVRENHOLD_ADAPTER_RUN";

// A process for one adapter command: `perl script framework <command…>`, standard input and error on
// the null device, standard output to a pipe. The child leads a process group of its own (whatever it
// forks can be ended with it) and is killed when this program dies, however it dies. The caller owns
// the object.
[[nodiscard]] QProcess *make(const AdapterLocation &location, const QStringList &command);

// Starts the process and waits until it runs; false when it could not be launched. Once the process
// has exited, whatever is left in its group, or below this program with its run's entry, gets
// SIGTERM, and SIGKILL a moment later. The first launch makes this program the subreaper of its
// descendants, so none of them can leave for init.
[[nodiscard]] bool launch(QProcess *process);

// Takes the process over and ends it for good: nobody hears from it again, its output is no longer
// read, its group gets SIGTERM now and SIGKILL after `grace`; the object goes once the process has
// exited. Nothing waits for it.
void endForGood(QProcess *process, Millis grace);

// Lets go of a process that has exited, or ends it for good when it still runs.
void dispose(QProcess *process, Millis grace);

// Ends every adapter child still running, and whatever their groups hold, before the program ends:
// SIGTERM to each group, up to `grace` for the children to exit, then SIGKILL; waits until each child
// is reaped. Blocks; meant for the last moments of the program, after the owners stopped their work.
void endAll(Millis grace);

// The start time of a running process (see launcherVariable); none when it does not exist.
[[nodiscard]] std::optional<quint64> startTime(pid_t pid);

// The value of launcherVariable for this program.
[[nodiscard]] QByteArray launcherRecord();

} // namespace tavrenhold::adapterchild
