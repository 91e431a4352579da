#include "AdapterChild.h"

#include "platform/Descendants.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QHash>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <QTimer>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace tavrenhold::adapterchild {

namespace {

// How long what a finished child left in its group has after SIGTERM before it gets SIGKILL.
constexpr Millis leftoverGrace{1000};

// One launched child: its process (and group) id, and the environment entry it and everything it
// starts carry, by which descendants that left its group are found.
struct Run {
    pid_t group = 0;
    QByteArray entry;
};

struct Children {
    // Launched children by their objects, until their objects go.
    QHash<QProcess *, Run> launched;
    // Runs whose groups were sent SIGTERM and get SIGKILL when their grace ends, by group.
    QHash<pid_t, QByteArray> ending;
};

Children &children()
{
    static Children all;
    return all;
}

// The signal to the run's group and to its descendants that left the group (found by their
// environment: as our subreaper's adoptees they stay below us).
void signalRun(const Run &run, int signo)
{
    if (run.group > 0)
        ::kill(-run.group, signo);
    if (!run.entry.isEmpty())
        platform::descendants::signalAll(run.entry, signo);
}

// SIGTERM to the run's group and escaped descendants now, SIGKILL when the grace is over. The
// group's id stays taken while any member lives, so the later signal cannot reach a stranger's group
// in the meantime.
void endRun(const Run &run, Millis grace)
{
    if (run.group <= 0)
        return;
    signalRun(run, SIGTERM);
    children().ending.insert(run.group, run.entry);
    auto killIt = [run] {
        if (children().ending.remove(run.group))
            signalRun(run, SIGKILL);
    };
    if (auto *app = QCoreApplication::instance())
        QTimer::singleShot(grace, app, killIt);
}

QByteArray entryOf(const QProcess *process)
{
    const QString value = process->processEnvironment().value(QString::fromLatin1(runVariable));
    return value.isEmpty() ? QByteArray() : QByteArray(runVariable) + '=' + value.toLatin1();
}

// Follows a launched process: when it exits its leftovers are ended; when its object goes it is
// forgotten. Made again after every blanket disconnect.
void follow(QProcess *process, const Run &run)
{
    children().launched.insert(process, run);
    QObject::connect(process, &QProcess::finished, [run] { endRun(run, leftoverGrace); });
    QObject::connect(process, &QObject::destroyed, [process] { children().launched.remove(process); });
}

Run runOf(QProcess *process) { return children().launched.value(process); }

} // namespace

std::optional<quint64> startTime(pid_t pid)
{
    if (pid <= 0)
        return std::nullopt;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = stat.read(4096);
    // "pid (name) state ppid …": the fields after the name's closing parenthesis start at the third.
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    constexpr int startTimeIndex = 22 - 3;
    if (fields.size() <= startTimeIndex)
        return std::nullopt;
    bool ok = false;
    const quint64 ticks = fields.at(startTimeIndex).toULongLong(&ok);
    if (!ok)
        return std::nullopt;
    return ticks;
}

QByteArray launcherRecord()
{
    static const QByteArray record = [] {
        const pid_t self = ::getpid();
        return QByteArray::number(self) + ' ' + QByteArray::number(startTime(self).value_or(0));
    }();
    return record;
}

QProcess *make(const AdapterLocation &location, const QStringList &command)
{
    auto *process = new QProcess;
    process->setProgram(location.perl);
    process->setArguments(location.arguments(command));
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(launcherVariable), QString::fromLatin1(launcherRecord()));
    static quint64 runs = 0;
    environment.insert(QString::fromLatin1(runVariable),
                       QString::fromLatin1(launcherRecord()) + QLatin1Char(' ') + QString::number(++runs));
    process->setProcessEnvironment(environment);
    const pid_t parent = ::getpid();
    process->setChildProcessModifier([parent] {
        // Runs in the child between fork and exec: only async-signal-safe calls here.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) // the program died before the line above took effect
            ::_exit(127);
    });
    return process;
}

bool launch(QProcess *process)
{
    platform::descendants::becomeSubreaper();
    process->start(QIODevice::ReadOnly);
    if (!process->waitForStarted(10000))
        return false;
    follow(process, Run{pid_t(process->processId()), entryOf(process)});
    return true;
}

void endForGood(QProcess *process, Millis grace)
{
    const Run run = runOf(process);
    process->disconnect();
    if (run.group > 0)
        follow(process, run);
    // Kept by the application (when there is one) until the process has exited.
    process->setParent(QCoreApplication::instance());
    if (process->state() == QProcess::NotRunning) {
        endRun(run, grace);
        process->deleteLater();
        return;
    }
    process->closeReadChannel(QProcess::StandardOutput);
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    if (run.group > 0)
        endRun(run, grace);
    else
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
    const Run run = runOf(process);
    process->disconnect();
    children().launched.remove(process);
    endRun(run, grace);
    process->deleteLater();
}

void endAll(Millis grace)
{
    const QDeadlineTimer deadline(grace.count());
    QList<QPair<QPointer<QProcess>, Run>> running;
    for (auto it = children().launched.cbegin(); it != children().launched.cend(); ++it) {
        if (it.key()->state() == QProcess::NotRunning)
            continue;
        signalRun(it.value(), SIGTERM);
        running.append({it.key(), it.value()});
    }
    for (const auto &[process, run] : running) {
        if (process && process->state() != QProcess::NotRunning)
            process->waitForFinished(int(std::max<qint64>(0, deadline.remainingTime())));
    }
    for (const auto &[process, run] : running) {
        if (process && process->state() != QProcess::NotRunning) {
            signalRun(run, SIGKILL);
            process->kill();
            process->waitForFinished(5000);
        }
    }
    // What the children left behind, also outside their groups, and runs still in their grace, go
    // now.
    for (const auto &[process, run] : running)
        signalRun(run, SIGKILL);
    const QHash<pid_t, QByteArray> ending = std::exchange(children().ending, {});
    for (auto it = ending.cbegin(); it != ending.cend(); ++it)
        signalRun(Run{it.key(), it.value()}, SIGKILL);
    platform::descendants::reapAdopted();
}

} // namespace tavrenhold::adapterchild
