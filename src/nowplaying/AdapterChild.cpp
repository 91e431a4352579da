#include "AdapterChild.h"

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

struct Children {
    // Launched children by their process (and group) id, until their objects go.
    QHash<QProcess *, pid_t> launched;
    // Groups that were sent SIGTERM and get SIGKILL when their grace ends.
    QSet<pid_t> ending;
};

Children &children()
{
    static Children all;
    return all;
}

void signalGroup(pid_t group, int signo)
{
    if (group > 0)
        ::kill(-group, signo);
}

// SIGTERM to the group now, SIGKILL when the grace is over. The group's id stays taken while any
// member lives, so the later signal cannot reach a stranger's group in the meantime.
void endGroup(pid_t group, Millis grace)
{
    if (group <= 0)
        return;
    signalGroup(group, SIGTERM);
    children().ending.insert(group);
    auto killIt = [group] {
        if (children().ending.remove(group))
            signalGroup(group, SIGKILL);
    };
    if (auto *app = QCoreApplication::instance())
        QTimer::singleShot(grace, app, killIt);
}

// Follows a launched process: when it exits its leftovers are ended; when its object goes it is
// forgotten. Made again after every blanket disconnect.
void follow(QProcess *process, pid_t group)
{
    children().launched.insert(process, group);
    QObject::connect(process, &QProcess::finished, [group] { endGroup(group, leftoverGrace); });
    QObject::connect(process, &QObject::destroyed, [process] { children().launched.remove(process); });
}

pid_t groupOf(QProcess *process) { return children().launched.value(process, 0); }

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
    process->start(QIODevice::ReadOnly);
    if (!process->waitForStarted(10000))
        return false;
    follow(process, pid_t(process->processId()));
    return true;
}

void endForGood(QProcess *process, Millis grace)
{
    const pid_t group = groupOf(process);
    process->disconnect();
    if (group > 0)
        follow(process, group);
    // Kept by the application (when there is one) until the process has exited.
    process->setParent(QCoreApplication::instance());
    if (process->state() == QProcess::NotRunning) {
        endGroup(group, grace);
        process->deleteLater();
        return;
    }
    process->closeReadChannel(QProcess::StandardOutput);
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    if (group > 0)
        endGroup(group, grace);
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
    const pid_t group = groupOf(process);
    process->disconnect();
    children().launched.remove(process);
    endGroup(group, grace);
    process->deleteLater();
}

void endAll(Millis grace)
{
    const QDeadlineTimer deadline(grace.count());
    QList<QPair<QPointer<QProcess>, pid_t>> running;
    for (auto it = children().launched.cbegin(); it != children().launched.cend(); ++it) {
        if (it.key()->state() == QProcess::NotRunning)
            continue;
        signalGroup(it.value(), SIGTERM);
        running.append({it.key(), it.value()});
    }
    for (const auto &[process, group] : running) {
        if (process && process->state() != QProcess::NotRunning)
            process->waitForFinished(int(std::max<qint64>(0, deadline.remainingTime())));
    }
    for (const auto &[process, group] : running) {
        if (process && process->state() != QProcess::NotRunning) {
            signalGroup(group, SIGKILL);
            process->kill();
            process->waitForFinished(5000);
        }
    }
    // What the children left behind, and groups still in their grace, go now.
    for (const auto &[process, group] : running)
        signalGroup(group, SIGKILL);
    for (const pid_t group : std::exchange(children().ending, {}))
        signalGroup(group, SIGKILL);
}

} // namespace tavrenhold::adapterchild
