#include "AdapterChild.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace tavrenhold::adapterchild {

QProcess *make(const AdapterLocation &location, const QStringList &command)
{
    auto *process = new QProcess;
    process->setProgram(location.perl);
    process->setArguments(location.arguments(command));
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    const pid_t parent = ::getpid();
    process->setChildProcessModifier([parent] {
        // Runs in the child between fork and exec: only async-signal-safe calls here.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) // the program died before the line above took effect
            ::_exit(127);
    });
    return process;
}

bool launch(QProcess *process)
{
    process->start(QIODevice::ReadOnly);
    return process->waitForStarted(10000);
}

void endForGood(QProcess *process, Millis grace)
{
    process->disconnect();
    // Kept by the application (when there is one) until the process has exited.
    process->setParent(QCoreApplication::instance());
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
        return;
    }
    process->closeReadChannel(QProcess::StandardOutput);
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    process->terminate();
    QTimer::singleShot(grace, process, [process] {
        if (process->state() != QProcess::NotRunning)
            process->kill();
    });
}

void dispose(QProcess *process, Millis grace)
{
    if (process->state() != QProcess::NotRunning) {
        endForGood(process, grace);
        return;
    }
    process->disconnect();
    process->deleteLater();
}

} // namespace tavrenhold::adapterchild
