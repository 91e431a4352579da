#include "Descendants.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tavrenhold::platform::descendants {

namespace {

int wakeFds[2] = {-1, -1};
struct sigaction previousChild {};

// Runs in a signal handler: only async-signal-safe calls.
void onChild(int signo, siginfo_t *info, void *context)
{
    const int saved = errno;
    if (wakeFds[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const auto n = ::write(wakeFds[1], &byte, 1);
    }
    errno = saved;
    // Whoever handled SIGCHLD before us still hears of it.
    if (previousChild.sa_flags & SA_SIGINFO) {
        if (previousChild.sa_sigaction)
            previousChild.sa_sigaction(signo, info, context);
    } else if (previousChild.sa_handler != SIG_DFL && previousChild.sa_handler != SIG_IGN && previousChild.sa_handler) {
        previousChild.sa_handler(signo);
    }
}

QByteArray readProcFile(const QString &path, qint64 bound)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {};
    return file.read(bound);
}

// The direct children of `pid`, from every one of its threads.
QList<pid_t> childrenOf(pid_t pid)
{
    QList<pid_t> found;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QByteArray text = readProcFile(tasks.filePath(task + QStringLiteral("/children")), 1 << 20);
        for (const QByteArray &word : text.split(' ')) {
            bool ok = false;
            const int child = word.trimmed().toInt(&ok);
            if (ok && child > 0)
                found.append(pid_t(child));
        }
    }
    return found;
}

// Every process below this one, parents before their children.
QList<pid_t> allDescendants()
{
    QList<pid_t> all = childrenOf(::getpid());
    QSet<pid_t> seen(all.cbegin(), all.cend());
    for (qsizetype i = 0; i < all.size(); ++i) {
        for (const pid_t child : childrenOf(all.at(i))) {
            if (!seen.contains(child)) {
                seen.insert(child);
                all.append(child);
            }
        }
    }
    return all;
}

bool isZombie(pid_t pid)
{
    const QByteArray text = readProcFile(QStringLiteral("/proc/%1/stat").arg(pid), 4096);
    const qsizetype close = text.lastIndexOf(')');
    return close >= 0 && close + 2 < text.size() && text.at(close + 2) == 'Z';
}

// The processes this one holds a pidfd of: the children QProcess started and waits on itself.
QSet<pid_t> heldByPidfd()
{
    QSet<pid_t> held;
    const QDir fds(QStringLiteral("/proc/self/fdinfo"));
    for (const QString &fd : fds.entryList(QDir::Files)) {
        const QByteArray text = readProcFile(fds.filePath(fd), 4096);
        const qsizetype at = text.indexOf("\nPid:");
        if (at < 0)
            continue;
        const qsizetype end = text.indexOf('\n', at + 1);
        bool ok = false;
        const int pid = text.mid(at + 5, end < 0 ? -1 : end - at - 5).trimmed().toInt(&ok);
        if (ok && pid > 0)
            held.insert(pid_t(pid));
    }
    return held;
}

// Whether this kernel gives out pidfds, and so Qt waits on its children through them.
bool pidfdsAvailable()
{
#ifdef SYS_pidfd_open
    const long fd = ::syscall(SYS_pidfd_open, ::getpid(), 0);
    if (fd < 0)
        return false;
    ::close(int(fd));
    return true;
#else
    return false;
#endif
}

bool canReap = false;

} // namespace

void becomeSubreaper()
{
    static bool done = false;
    if (done || !QCoreApplication::instance())
        return;
    done = true;
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    // Without pidfds, an ended child of QProcess could not be told from an adopted one; nothing is
    // reaped then, and adopted processes stay until the program ends.
    canReap = pidfdsAvailable();
    if (!canReap || ::pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char drain[64];
        while (::read(wakeFds[0], drain, sizeof drain) > 0) {
        }
        reapAdopted();
    });
    struct sigaction action {};
    action.sa_sigaction = onChild;
    action.sa_flags = SA_SIGINFO | SA_RESTART | SA_NOCLDSTOP;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGCHLD, &action, &previousChild);
}

QList<pid_t> withEnvironmentEntry(const QByteArray &entry)
{
    QList<pid_t> found;
    for (const pid_t pid : allDescendants()) {
        const QByteArray environment = readProcFile(QStringLiteral("/proc/%1/environ").arg(pid), 1 << 20);
        if (environment.startsWith(entry + '\0') || environment.contains('\0' + entry + '\0'))
            found.append(pid);
    }
    return found;
}

void signalAll(const QByteArray &entry, int signo)
{
    for (const pid_t pid : withEnvironmentEntry(entry))
        ::kill(pid, signo);
}

void reapAdopted()
{
    if (!canReap)
        return;
    QSet<pid_t> held;
    bool heldRead = false;
    for (const pid_t child : childrenOf(::getpid())) {
        if (!isZombie(child))
            continue;
        if (!heldRead) {
            held = heldByPidfd();
            heldRead = true;
        }
        if (!held.contains(child))
            ::waitpid(child, nullptr, WNOHANG);
    }
}

} // namespace tavrenhold::platform::descendants
