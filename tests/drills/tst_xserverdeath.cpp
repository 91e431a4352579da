// labels: drill x11 process
// The X server going away under the running program: it must end with a failure, take its
// children (the adapter's helper and whatever else it started) with it, and never spin on the dead
// connection on the way out.
#include "DrillSupport.h"

#include <xcb/xcb.h>

#include <csignal>
#include <sys/socket.h>

using tavrenhold::test::ProgramRig;
namespace drill = tavrenhold::test::drill;

namespace {
// An Xvfb that the test can end either way.
class XDisplay {
public:
    ~XDisplay()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        // A server told to end is given the time to end by itself: killed in the middle of it, it
        // leaves its socket file behind for the next server that takes the number.
        if (signalled && process.waitForFinished(30000))
            return;
        process.kill();
        process.waitForFinished(30000);
    }
    bool start()
    {
        tavrenhold::test::dieWithParent(process);
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                               QStringLiteral("0"), QStringLiteral("1512x982x24"), QStringLiteral("-nolisten"),
                                               QStringLiteral("tcp")});
        if (!process.waitForStarted(5000))
            return false;
        QByteArray out;
        while (!out.contains('\n')) {
            if (!process.waitForReadyRead(15000))
                return false;
            out += process.readAllStandardOutput();
        }
        name = ':' + out.trimmed();
        // The number alone is no promise: a client may only come once this server takes connections
        // under it.
        return QTest::qWaitFor([this] { return process.state() != QProcess::Running || answers(); }, 30000)
            && process.state() == QProcess::Running;
    }
    // Whether a client of the display reaches this very server (by the peer of its socket), not
    // one that is still going away under the same number.
    [[nodiscard]] bool answers() const
    {
        xcb_connection_t *c = xcb_connect(name.constData(), nullptr);
        ucred peer{};
        socklen_t size = sizeof peer;
        const bool ours = !xcb_connection_has_error(c)
            && ::getsockopt(xcb_get_file_descriptor(c), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0
            && qint64(peer.pid) == process.processId();
        xcb_disconnect(c);
        return ours;
    }
    void end(int signal)
    {
        signalled = true;
        ::kill(pid_t(process.processId()), signal);
    }
    // Whether a window named "Tavrenhold" is mapped on this display.
    [[nodiscard]] bool programShows() const
    {
        QProcess search;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), QString::fromUtf8(name));
        search.setProcessEnvironment(env);
        search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                 QStringLiteral("--name"), QStringLiteral("^Tavrenhold$")});
        return search.waitForFinished(5000) && !search.readAllStandardOutput().trimmed().isEmpty();
    }

    QProcess process;
    QByteArray name;
    bool signalled = false;
};
} // namespace

class XServerDeathTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void programEndsWithItsDisplay_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("server terminated") << int(SIGTERM);
        QTest::newRow("server killed") << int(SIGKILL);
    }
    void programEndsWithItsDisplay()
    {
        QFETCH(int, signal);
        XDisplay display;
        QVERIFY2(display.start(), "Xvfb did not start, or does not take connections");
        qputenv("DISPLAY", display.name);
        ProgramRig rig;
        QVERIFY(rig.startBus());
        QVERIFY(rig.writeDefaults({{QStringLiteral("style.theme"), QStringLiteral("dark")}}));
        rig.start();
        QVERIFY2(rig.program.waitForStarted(10000), qPrintable(rig.program.errorString()));
        const qint64 pid = rig.program.processId();
        QVERIFY2(QTest::qWaitFor([&] { return display.programShows(); }, 30000), rig.program.readAllStandardError().constData());
        // Its helpers come up with it; the adapter's stream is the one that lives on.
        (void)QTest::qWaitFor(
            [&] {
                const QList<qint64> now = drill::descendantsOf(pid);
                return std::any_of(now.begin(), now.end(), [](qint64 p) { return drill::commandLine(p).contains(QLatin1String(" stream")); });
            },
            20000);
        const QList<qint64> children = drill::descendantsOf(pid);
        QStringList named;
        for (qint64 child : children)
            named << QFileInfo(drill::commandLine(child).section(QLatin1Char(' '), 0, 0)).fileName() + QLatin1Char(' ') + drill::commandLine(child).section(QLatin1Char(' '), 1).section(QLatin1Char('/'), -1);
        qInfo("running with %lld children: %s", qlonglong(children.size()), qPrintable(named.join(QStringLiteral("; "))));
        QVERIFY2(!children.isEmpty(), "the program started no helper, so their ending proves nothing");

        // The server goes; the program's processor time is read until it is gone.
        const qint64 ticksBefore = drill::cpuTicks(pid);
        QElapsedTimer wall;
        wall.start();
        display.end(signal);
        qint64 ticksLast = ticksBefore;
        const bool ended = QTest::qWaitFor(
            [&] {
                if (const qint64 t = drill::cpuTicks(pid); t >= 0)
                    ticksLast = t;
                return rig.program.state() == QProcess::NotRunning;
            },
            20000);
        const double seconds = double(wall.elapsed()) / 1000.0;
        const double cpuSeconds = double(ticksLast - ticksBefore) / drill::ticksPerSecond();
        qInfo("server ended by signal %d: program %s after %.2f s, %.2f s of processor time, status %d (%s)", signal,
              ended ? "ended" : "still running", seconds, cpuSeconds, rig.program.exitCode(),
              rig.program.exitStatus() == QProcess::NormalExit ? "normal exit" : "crashed");
        QVERIFY2(ended, "the program lives on without its display");
        // Ending may take a little work; spinning for the whole wait would use nearly all of it.
        QVERIFY2(cpuSeconds < 1.0 + 0.25 * seconds, qPrintable(QStringLiteral("%1 s of processor time").arg(cpuSeconds)));
        QCOMPARE(rig.program.exitStatus(), QProcess::NormalExit);
        QVERIFY(rig.program.exitCode() != 0);

        QStringList left;
        (void)QTest::qWaitFor(
            [&] {
                left.clear();
                for (qint64 child : children) {
                    if (!drill::statFields(child).isEmpty() && drill::statFields(child).value(0) != "Z")
                        left << drill::commandLine(child);
                }
                return left.isEmpty();
            },
            10000);
        QVERIFY2(left.isEmpty(), qPrintable(QStringLiteral("children left behind: ") + left.join(QStringLiteral("; "))));
        // The settings are still whole (the program may have written them in its own form).
        QCOMPARE(rig.readDefaults().value(QStringLiteral("style.theme")).toString(), QStringLiteral("dark"));
        qInfo("held: exit status %d, no child left, settings kept", rig.program.exitCode());
    }
};

QTEST_GUILESS_MAIN(XServerDeathTest)
#include "tst_xserverdeath.moc"
