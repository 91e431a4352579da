#include "AdapterStream.h"

#include "AdapterChild.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QProcess>

#include <csignal>
#include <optional>
#include <utility>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrenhold {

const QStringList AdapterStream::streamCommand{QStringLiteral("stream"), QStringLiteral("--no-diff"),
                                               QStringLiteral("--debounce=120"), QStringLiteral("--no-artwork"),
                                               QStringLiteral("--allow-missing-title")};

AdapterStream::AdapterStream(const Clock &clock, QObject *parent)
    : QObject(parent)
    , m_reader(makeDecoder(clock))
{
}

AdapterStream::~AdapterStream() { stop(); }

AdapterDecoder AdapterStream::makeDecoder(const Clock &clock) { return AdapterDecoder(clock); }

bool AdapterStream::start(const AdapterLocation &location, PayloadHandler onPayload, ExitHandler onExit)
{
    if (m_started)
        return false;
    m_started = true;
    QProcess *process = adapterchild::make(location, streamCommand);
    if (!adapterchild::launch(process)) {
        adapterchild::dispose(process, stopGrace);
        m_stopped = true;
        return false;
    }
    m_process = process;
    m_onPayload = std::move(onPayload);
    m_onExit = std::move(onExit);
    connect(m_process, &QProcess::readyReadStandardOutput, this, &AdapterStream::readOutput);
    connect(m_process, &QProcess::finished, this, &AdapterStream::processExited);
    if (auto *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &AdapterStream::stop);
    return true;
}

void AdapterStream::readOutput()
{
    if (m_stopped || !m_process)
        return;
    QList<AdapterPayload> payloads = m_reader.feed(m_process->readAllStandardOutput());
    if (payloads.isEmpty())
        return;
    // Only the newest report counts: older lines of this read, and a payload from an earlier read that
    // is still waiting, are superseded. A flood of lines thus costs one payload per event-loop turn.
    m_pending = std::move(payloads.last());
    if (!m_deliveryQueued) {
        m_deliveryQueued = true;
        QMetaObject::invokeMethod(this, &AdapterStream::deliver, Qt::QueuedConnection);
    }
}

void AdapterStream::deliver()
{
    m_deliveryQueued = false;
    if (m_stopped || !m_pending)
        return;
    const AdapterPayload payload = *std::exchange(m_pending, std::nullopt);
    // The handler may stop or even delete this stream.
    if (m_onPayload)
        m_onPayload(payload);
}

void AdapterStream::processExited()
{
    if (m_stopped || m_exited)
        return;
    QPointer<AdapterStream> self(this);
    readOutput(); // whatever is still in the pipe comes before the exit
    if (!self || m_stopped || m_exited)
        return;
    deliver();
    if (!self || m_stopped || m_exited)
        return;
    m_exited = true;
    if (m_onExit)
        m_onExit();
}

void AdapterStream::stop()
{
    m_stopped = true;
    m_pending.reset();
    if (auto *app = QCoreApplication::instance())
        disconnect(app, &QCoreApplication::aboutToQuit, this, &AdapterStream::stop);
    if (QProcess *process = std::exchange(m_process, nullptr))
        adapterchild::dispose(process, stopGrace);
}

bool AdapterStream::isRunning() const { return m_process && m_process->state() != QProcess::NotRunning; }

namespace {

// The parent process id from /proc/<pid>/stat; 0 when unknown.
pid_t parentOf(const QByteArray &dir)
{
    QFile stat(QString::fromLatin1(dir) + QStringLiteral("/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.read(4096);
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return 0;
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    return fields.size() > 1 ? pid_t(fields.at(1).toInt()) : 0;
}

// The launcher a process was started by, from its environment: pid and start time.
std::optional<std::pair<pid_t, quint64>> launcherOf(const QByteArray &dir)
{
    QFile environ(QString::fromLatin1(dir) + QStringLiteral("/environ"));
    if (!environ.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray prefix = QByteArray(adapterchild::launcherVariable) + '=';
    for (const QByteArray &entry : environ.read(1024 * 1024).split('\0')) {
        if (!entry.startsWith(prefix))
            continue;
        const QList<QByteArray> parts = entry.mid(prefix.size()).split(' ');
        bool pidOk = false;
        bool timeOk = false;
        const int pid = parts.value(0).toInt(&pidOk);
        const quint64 started = parts.value(1).toULongLong(&timeOk);
        if (parts.size() != 2 || !pidOk || !timeOk || pid <= 0)
            return std::nullopt;
        return std::pair{pid_t(pid), started};
    }
    return std::nullopt;
}

// A process whose launcher is gone: the launcher it names in its environment no longer runs (or its
// pid now belongs to another process); without that record, one that was handed to init.
bool isOrphan(const QByteArray &dir)
{
    if (const auto launcher = launcherOf(dir))
        return adapterchild::startTime(launcher->first) != launcher->second;
    return parentOf(dir) == 1;
}

} // namespace

void AdapterStream::reapOrphans(const AdapterLocation &location)
{
    const uid_t me = ::getuid();
    const pid_t self = ::getpid();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool isNumber = false;
        const int pid = entry.toInt(&isNumber);
        if (!isNumber || pid <= 0 || pid == self)
            continue;
        const QByteArray dir = QByteArrayLiteral("/proc/") + entry.toLatin1();
        struct stat info {};
        if (::stat(dir.constData(), &info) != 0 || info.st_uid != me)
            continue;
        QFile cmdline(QString::fromLatin1(dir) + QStringLiteral("/cmdline"));
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;
        // The argument list, each argument ended by a NUL byte.
        const QList<QByteArray> argv = cmdline.read(64 * 1024).split('\0');
        if (argv.size() < 4)
            continue;
        if (QString::fromLocal8Bit(argv[0]) != location.perl || QString::fromLocal8Bit(argv[1]) != location.script
            || QString::fromLocal8Bit(argv[2]) != location.framework || argv[3] != "stream")
            continue;
        // The stream of a program that still runs (another session, another copy) is its own.
        if (!isOrphan(dir))
            continue;
        // A stream that leads its own group takes what it forked along.
        if (::getpgid(pid) == pid)
            ::kill(-pid, SIGTERM);
        else
            ::kill(pid, SIGTERM);
    }
}

} // namespace tavrenhold
