#pragma once

#include <QByteArray>
#include <QList>

#include <sys/types.h>

namespace tavrenhold::platform::descendants {

// Makes this process the child subreaper of everything it starts (PR_SET_CHILD_SUBREAPER): a
// descendant whose parent ends is handed to us instead of to init, however it left its process
// group or session, so it can still be found and ended. Adopted processes that end are reaped as
// they go (on SIGCHLD); children started through QProcess are left for Qt to wait on. Call on the
// main thread once a QCoreApplication exists; later calls do nothing.
void becomeSubreaper();

// The processes below this one whose environment holds `entry` ("NAME=value") exactly.
[[nodiscard]] QList<pid_t> withEnvironmentEntry(const QByteArray &entry);

// Sends `signo` to each process below this one whose environment holds `entry`.
void signalAll(const QByteArray &entry, int signo);

// Reaps the adopted processes that have ended. Runs by itself on SIGCHLD.
void reapAdopted();

} // namespace tavrenhold::platform::descendants
