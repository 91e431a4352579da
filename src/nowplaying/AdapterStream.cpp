#include "AdapterStream.h"

#include "AdapterChild.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QProcess>

#include <csignal>
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
    const QList<AdapterPayload> payloads = m_reader.feed(m_process->readAllStandardOutput());
    QPointer<AdapterStream> self(this);
    for (const AdapterPayload &payload : payloads) {
        // The handler may stop or even delete this stream.
        if (!self || m_stopped)
            return;
        if (m_onPayload)
            m_onPayload(payload);
    }
}

void AdapterStream::processExited()
{
    if (m_stopped || m_exited)
        return;
    QPointer<AdapterStream> self(this);
    readOutput(); // whatever is still in the pipe comes before the exit
    if (!self || m_stopped || m_exited)
        return;
    m_exited = true;
    if (m_onExit)
        m_onExit();
}

void AdapterStream::stop()
{
    m_stopped = true;
    if (auto *app = QCoreApplication::instance())
        disconnect(app, &QCoreApplication::aboutToQuit, this, &AdapterStream::stop);
    if (QProcess *process = std::exchange(m_process, nullptr))
        adapterchild::dispose(process, stopGrace);
}

bool AdapterStream::isRunning() const { return m_process && m_process->state() != QProcess::NotRunning; }

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
        if (QString::fromLocal8Bit(argv[0]) == location.perl && QString::fromLocal8Bit(argv[1]) == location.script
            && QString::fromLocal8Bit(argv[2]) == location.framework && argv[3] == "stream")
            ::kill(pid, SIGTERM);
    }
}

} // namespace tavrenhold
