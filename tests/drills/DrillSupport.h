#pragma once

// What the drills against the built program share: a plain backdrop to read the notch against, a
// hover that must open it, and readings of the program's processes from /proc.

#include "e2e/ProgramRig.h"

#include <QDBusConnection>
#include <QDirIterator>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRasterWindow>
#include <QScreen>

#include <unistd.h>

namespace tavrenhold::test::drill {

// A session bus of the test's own that starts no services on demand, exported as this process's
// session bus (so ProgramRig::useSessionBus gives it to the program), with a connection of the test.
class PrivateBus {
public:
    PrivateBus() = default;
    PrivateBus(const PrivateBus &) = delete;
    ~PrivateBus()
    {
        QDBusConnection::disconnectFromBus(kConnection);
        ProgramRig::stop(m_daemon);
    }
    bool start()
    {
        const QString config = m_folder.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write("<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>"
                   "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                   "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        file.close();
        dieWithParent(m_daemon);
        m_daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                                                       QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted(5000))
            return false;
        QByteArray out;
        while (!out.contains('\n')) {
            if (!m_daemon.waitForReadyRead(10000))
                return false;
            out += m_daemon.readAllStandardOutput();
        }
        qputenv("DBUS_SESSION_BUS_ADDRESS", out.trimmed());
        return QDBusConnection::connectToBus(QString::fromUtf8(out.trimmed()), kConnection).isConnected();
    }
    [[nodiscard]] static QDBusConnection connection() { return QDBusConnection(kConnection); }

private:
    static inline const QString kConnection = QStringLiteral("drill-bus");
    QTemporaryDir m_folder;
    QProcess m_daemon;
};

// A full-screen window of one light colour under everything, so the notch is the only dark thing
// at the top of the screen.
class Backdrop final : public QRasterWindow {
public:
    Backdrop()
    {
        setFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint | Qt::WindowStaysOnBottomHint);
        setGeometry(QGuiApplication::primaryScreen()->geometry());
    }

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(QRect(QPoint(), size()), QColor(70, 150, 220)); }
};

// The box of what is drawn over the backdrop in the upper part of the screen around its centre:
// the notch (dark or light, whichever the theme).
inline QRect notchBox()
{
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
    const int centre = shot.width() / 2;
    QRect box;
    for (int y = 0; y < qMin(shot.height(), 600); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(shot.constScanLine(y));
        for (int x = qMax(0, centre - 320); x < qMin(shot.width(), centre + 320); ++x) {
            const QRgb p = line[x];
            if (qAbs(qRed(p) - 70) + qAbs(qGreen(p) - 150) + qAbs(qBlue(p) - 220) > 90)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

inline bool looksExpanded(const QRect &box) { return box.width() >= 400 && box.height() > 150; }
inline bool looksCollapsed(const QRect &box) { return box.isValid() && box.height() < 80; }

// The pointer goes up to the top centre and the notch must open within `ceilingMs`; the pointer
// then leaves and it must close again. The milliseconds the opening took, or -1.
inline qint64 hoverOpens(XDriver &driver, int ceilingMs)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const int centreX = screen.center().x() + 1;
    QElapsedTimer timer;
    driver.moveTo(centreX, 300);
    driver.moveTo(centreX, 0);
    timer.start();
    const bool opened = QTest::qWaitFor([] { return looksExpanded(notchBox()); }, ceilingMs);
    const qint64 took = timer.elapsed();
    driver.moveTo(100, screen.height() - 100);
    if (!opened)
        return -1;
    return QTest::qWaitFor([] { return looksCollapsed(notchBox()); }, ceilingMs) ? took : -1;
}

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The fields of /proc/<pid>/stat after the command name (field 3 onwards); empty once it is gone.
inline QList<QByteArray> statFields(qint64 pid)
{
    const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return {};
    return stat.mid(close + 2).split(' ');
}

// User and system clock ticks the process has used so far; -1 once it is gone.
inline qint64 cpuTicks(qint64 pid)
{
    const QList<QByteArray> f = statFields(pid);
    return f.size() > 12 ? f.at(11).toLongLong() + f.at(12).toLongLong() : -1;
}

inline double ticksPerSecond() { return double(::sysconf(_SC_CLK_TCK)); }

// The resident set in KiB; -1 once it is gone.
inline qint64 residentKiB(qint64 pid)
{
    for (const QByteArray &line : readAll(QStringLiteral("/proc/%1/status").arg(pid)).split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Every live process whose chain of parents leads to `pid` (not `pid` itself).
inline QList<qint64> descendantsOf(qint64 pid)
{
    QHash<qint64, qint64> parentOf;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool ok = false;
        const qint64 p = entry.toLongLong(&ok);
        if (!ok)
            continue;
        const QList<QByteArray> f = statFields(p);
        if (f.size() > 1 && f.at(0) != "Z")
            parentOf.insert(p, f.at(1).toLongLong());
    }
    QList<qint64> found;
    for (auto it = parentOf.cbegin(); it != parentOf.cend(); ++it) {
        for (qint64 up = it.value(); up > 1; up = parentOf.value(up, 0)) {
            if (up == pid) {
                found << it.key();
                break;
            }
        }
    }
    return found;
}

// What a process was started as, its arguments joined by spaces.
inline QString commandLine(qint64 pid)
{
    return QString::fromUtf8(readAll(QStringLiteral("/proc/%1/cmdline").arg(pid)).replace('\0', ' ').trimmed());
}

// Every regular file under `folder`, recursively, hidden ones too.
inline QStringList filesUnder(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    return found;
}

} // namespace tavrenhold::test::drill
