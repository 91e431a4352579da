#pragma once

#include "AdapterLocation.h"
#include "design/Clock.h"

class QProcess;

namespace tavrenhold::adapterchild {

// A process for one adapter command: `perl script framework <command…>`, standard input and error on
// the null device, standard output to a pipe. The child is killed when this program dies, however
// it dies. The caller owns the object.
[[nodiscard]] QProcess *make(const AdapterLocation &location, const QStringList &command);

// Starts the process and waits until it runs; false when it could not be launched.
[[nodiscard]] bool launch(QProcess *process);

// Takes the process over and ends it for good: nobody hears from it again, its output is no longer
// read, it gets SIGTERM now and SIGKILL when it still runs after `grace`; the object goes once the
// process has exited. Nothing waits for it.
void endForGood(QProcess *process, Millis grace);

// Lets go of a process that has exited, or ends it for good when it still runs.
void dispose(QProcess *process, Millis grace);

} // namespace tavrenhold::adapterchild
