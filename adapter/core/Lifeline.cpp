#include "Lifeline.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace tavrenhold::adapter {

namespace {

int g_signalPipe[2] = {-1, -1};

extern "C" void onSignalRaised(int signo)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signo);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

bool tieToParent()
{
    const QByteArray named = qgetenv(kParentVariable);
    qunsetenv(kParentVariable);
    const pid_t before = ::getppid();
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    const pid_t now = ::getppid();
    if (now != before)
        return false;
    bool ok = false;
    const long expected = named.toLong(&ok);
    return !ok || expected == long(now);
}

Lifeline::Lifeline(QObject *parent)
    : QObject(parent)
{
    ::signal(SIGPIPE, SIG_IGN);
    if (g_signalPipe[0] < 0 && ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        g_signalPipe[0] = g_signalPipe[1] = -1;
    if (g_signalPipe[0] >= 0) {
        m_notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &Lifeline::onSignal);
        struct sigaction action {};
        action.sa_handler = onSignalRaised;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (const int signo : {SIGTERM, SIGINT, SIGHUP})
            ::sigaction(signo, &action, nullptr);
    }
}

Lifeline::~Lifeline()
{
    for (const int signo : {SIGTERM, SIGINT, SIGHUP})
        ::signal(signo, SIG_DFL);
}

void Lifeline::endWithBus(const QDBusConnection &bus, int status)
{
    m_busStatus = status;
    QDBusConnection watched(bus);
    const bool watching = watched.isConnected()
                          && watched.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"),
                                             QStringLiteral("org.freedesktop.DBus.Local"),
                                             QStringLiteral("Disconnected"), this, SLOT(onBusLost()));
    // Gone before the watch was in place: no signal would come.
    if (!watching || !watched.isConnected())
        QTimer::singleShot(0, this, &Lifeline::onBusLost);
}

void Lifeline::onBusLost() { QCoreApplication::exit(m_busStatus); }

void Lifeline::onSignal()
{
    unsigned char byte = 0;
    int signo = 0;
    while (::read(g_signalPipe[0], &byte, 1) == 1)
        signo = signo ? signo : byte;
    if (signo)
        QCoreApplication::exit(128 + signo);
}

bool writeOut(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

} // namespace tavrenhold::adapter
