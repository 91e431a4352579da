#include "fakes/FakeAdapter.h"
#include "nowplaying/AdapterChild.h"
#include "nowplaying/AdapterStream.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QTest>

#include <memory>
#include <csignal>
#include <unistd.h>

using namespace tavrenhold;

namespace {
AdapterLocation locationOf(const test::FakeAdapter &adapter)
{
    AdapterLocation location;
    location.script = adapter.scriptPath();
    location.framework = adapter.frameworkPath();
    return location;
}

// Records what a stream reports, in order: the payloads' titles and "exit".
struct Recorder {
    QStringList events;
    AdapterStream::PayloadHandler payloads()
    {
        return [this](const AdapterPayload &p) { events.append(p.title.value_or(QStringLiteral("?"))); };
    }
    AdapterStream::ExitHandler exits()
    {
        return [this] { events.append(QStringLiteral("exit")); };
    }
};

// A stream adapter that prints a line, saves its pid and stays until killed; with "stubborn" in
// STREAM_TEMPER it ignores SIGTERM and SIGINT.
const QByteArray kLingering = R"PERL(
$SIG{TERM} = $SIG{INT} = 'IGNORE' if ($ENV{STREAM_TEMPER} // '') eq 'stubborn';
print qq({"type":"data","payload":{"title":"first"}}\n);
save_pid();
sleep 60;
)PERL";

// Holds a stream to the adapter given on the command line until killed: started by the test as a
// separate program so that its death can be watched from outside. With "until-eof" it quits as the
// program does when its standard input ends.
int holdStream(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4)
        return 2;
    AdapterLocation location;
    location.script = QString::fromLocal8Bit(argv[2]);
    location.framework = QString::fromLocal8Bit(argv[3]);
    AdapterStream stream;
    if (!stream.start(location, {}, [] { QCoreApplication::exit(1); }))
        return 3;
    if (argc > 4 && qstrcmp(argv[4], "until-eof") == 0) {
        auto *input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
        QObject::connect(input, &QSocketNotifier::activated, &app, [input] {
            char byte = 0;
            if (::read(STDIN_FILENO, &byte, 1) <= 0) {
                input->setEnabled(false);
                QCoreApplication::quit();
            }
        });
        const int status = app.exec();
        adapterchild::endAll(AdapterStream::stopGrace);
        return status;
    }
    return app.exec();
}

// A stream adapter that forks: the copy (same argument list, outside the launcher's reach once its
// parent is gone) saves its pid in "child" and sleeps; the stream itself prints a line and stays.
const QByteArray kForking = R"PERL(
my $child = fork();
if (defined $child && $child == 0) {
    $SIG{TERM} = 'IGNORE' if ($ENV{FORK_TEMPER} // '') eq 'stubborn';
    open(my $fh, '>', "$here/child.tmp") or die; print $fh $$; close($fh); rename("$here/child.tmp", "$here/child");
    sleep 60; exit 0;
}
save_pid();
print qq({"type":"data","payload":{"title":"first"}}\n);
sleep 60;
)PERL";

// The launcher record of a program that has ended.
QByteArray deadLauncherRecord()
{
    QProcess gone;
    gone.start(QStringLiteral("/bin/true"), {});
    if (!gone.waitForStarted(5000))
        return {};
    const qint64 pid = gone.processId();
    gone.waitForFinished(5000);
    return QByteArray::number(pid) + " 1";
}

// A dummy process whose argument list is exactly the given one (program first); launched by the
// program the record names (none: no record).
std::unique_ptr<QProcess> startDummy(const QStringList &argv, const QByteArray &launcher = {})
{
    auto process = std::make_unique<QProcess>();
    process->setProgram(argv.first());
    process->setArguments(argv.mid(1));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QString::fromLatin1(adapterchild::launcherVariable));
    if (!launcher.isEmpty())
        environment.insert(QString::fromLatin1(adapterchild::launcherVariable), QString::fromLatin1(launcher));
    process->setProcessEnvironment(environment);
    process->start();
    if (!process->waitForStarted(5000))
        return nullptr;
    return process;
}
} // namespace

class AdapterStreamTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { qunsetenv("STREAM_TEMPER"); }

    void payloadsInLineOrderThenExit()
    {
        test::FakeAdapter adapter(R"PERL(
note("@ARGV");
print qq({"type":"data","payload":{"title":"one"}}\n{"type":"status","payload":{"title":"no"}}\n);
print qq({"type":"data","payload":{"ti);
select(undef, undef, undef, 0.05);
print qq(tle":"two"}}\r\n\n{"type":"data","payload":{"title":3}}\n);
print qq({"type":"data","payload":{"title":"three"}}\n{"type":"data","payload":{"title":"lost"}});
exit 4;
)PERL");
        QVERIFY(adapter.isValid());
        Recorder recorder;
        AdapterStream stream;
        QVERIFY(stream.start(locationOf(adapter), recorder.payloads(), recorder.exits()));
        QTRY_VERIFY_WITH_TIMEOUT(recorder.events.contains("exit"), 10000);
        QTest::qWait(50);
        // Lines that arrive together deliver only their newest payload, so how the output was cut into
        // reads decides whether "one" and "two" show; what shows keeps line order and ends the same.
        const QStringList all{"one", "two", "three", "exit"};
        QVERIFY2(recorder.events.size() >= 2 && recorder.events.last(2) == QStringList({"three", "exit"}), qPrintable(recorder.events.join(',')));
        qsizetype at = -1;
        for (const QString &event : std::as_const(recorder.events)) {
            const qsizetype next = all.indexOf(event, at + 1);
            QVERIFY2(next > at, qPrintable(recorder.events.join(',')));
            at = next;
        }
        QCOMPARE(adapter.log(),
                 QStringList{adapter.frameworkPath() + " stream --no-diff --debounce=120 --no-artwork --allow-missing-title"});
    }

    // Complete lines that arrive together are superseded by the newest of them; a flood of lines is
    // delivered as a handful of payloads, the last line's among them, not one call per line.
    void newestPayloadSupersedesTheLinesBeforeIt_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("atMost");
        QTest::newRow("one read") << 3 << 1;
        QTest::newRow("flood") << 20000 << 400;
    }
    void newestPayloadSupersedesTheLinesBeforeIt()
    {
        QFETCH(int, lines);
        QFETCH(int, atMost);
        // All lines in one write: a short write reaches the pipe whole, a long one in pipe-sized parts.
        test::FakeAdapter adapter(R"PERL(
my $n = $ENV{STREAM_LINES};
print join('', map { qq({"type":"data","payload":{"title":"t$_"}}\n) } 1 .. $n);
save_pid();
sleep 60;
)PERL");
        qputenv("STREAM_LINES", QByteArray::number(lines));
        Recorder recorder;
        AdapterStream stream;
        QVERIFY(stream.start(locationOf(adapter), recorder.payloads(), recorder.exits()));
        const QString last = QStringLiteral("t%1").arg(lines);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.events.contains(last), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(adapter.savedPid() > 0, 10000);
        QTest::qWait(100);
        QCOMPARE(recorder.events.constLast(), last);
        QVERIFY2(recorder.events.size() <= atMost, qPrintable(QString::number(recorder.events.size())));
        stream.stop();
        qunsetenv("STREAM_LINES");
    }

    void launchFailureReportsNothing()
    {
        test::FakeAdapter adapter(kLingering);
        AdapterLocation location = locationOf(adapter);
        location.perl = adapter.filePath("no-such-perl");
        Recorder recorder;
        AdapterStream stream;
        QVERIFY(!stream.start(location, recorder.payloads(), recorder.exits()));
        QTest::qWait(100);
        QVERIFY(recorder.events.isEmpty());
        // A stream is never reused.
        QVERIFY(!stream.start(locationOf(adapter), recorder.payloads(), recorder.exits()));
    }

    // Stopping (or dropping) a stream ends the adapter without calling onExit; an adapter that ignores
    // SIGTERM gets SIGKILL after the grace period.
    void stopEndsTheAdapterWithoutOnExit_data()
    {
        QTest::addColumn<QString>("temper");
        QTest::addColumn<bool>("drop");
        QTest::newRow("stop") << "" << false;
        QTest::newRow("drop the stream") << "" << true;
        QTest::newRow("stop, SIGTERM ignored") << "stubborn" << false;
    }
    void stopEndsTheAdapterWithoutOnExit()
    {
        QFETCH(QString, temper);
        QFETCH(bool, drop);
        qputenv("STREAM_TEMPER", temper.toLatin1());
        test::FakeAdapter adapter(kLingering);
        Recorder recorder;
        auto stream = std::make_unique<AdapterStream>();
        QVERIFY(stream->start(locationOf(adapter), recorder.payloads(), recorder.exits()));
        QTRY_COMPARE_WITH_TIMEOUT(recorder.events, QStringList{"first"}, 10000);
        QTRY_VERIFY(adapter.savedPid() > 0);
        const qint64 pid = adapter.savedPid();
        QVERIFY(stream->isRunning());
        if (drop) {
            stream.reset();
        } else {
            stream->stop();
            stream->stop(); // twice is harmless
        }
        if (temper == QLatin1String("stubborn")) {
            QTest::qWait(500);
            QVERIFY2(test::processAlive(pid), "the adapter was expected to ignore SIGTERM");
        }
        QTRY_VERIFY_WITH_TIMEOUT(!test::processAlive(pid), 4000);
        QTest::qWait(100);
        QCOMPARE(recorder.events, QStringList{"first"});
        if (stream)
            QVERIFY(!stream->isRunning());
    }

    // Stopping a stream ends what its adapter forked too; quitting ends every child and what it
    // forked, even a fork that ignores SIGTERM, before the program is gone.
    void streamEndsWithWhatItForked_data()
    {
        QTest::addColumn<bool>("quit");
        QTest::newRow("stop") << false;
        QTest::newRow("quit, fork ignores SIGTERM") << true;
    }
    void streamEndsWithWhatItForked()
    {
        QFETCH(bool, quit);
        test::FakeAdapter adapter(kForking);
        qint64 stream = 0;
        qint64 fork = 0;
        if (quit) {
            qputenv("FORK_TEMPER", "stubborn");
            QProcess holder;
            holder.setProgram(QCoreApplication::applicationFilePath());
            holder.setArguments({"--hold-stream", adapter.scriptPath(), adapter.frameworkPath(), "until-eof"});
            holder.start();
            qunsetenv("FORK_TEMPER");
            QVERIFY(holder.waitForStarted(5000));
            QTRY_VERIFY_WITH_TIMEOUT(adapter.savedPid() > 0 && adapter.readFile("child").toLongLong() > 0, 10000);
            stream = adapter.savedPid();
            fork = adapter.readFile("child").toLongLong();
            holder.closeWriteChannel();
            QVERIFY(holder.waitForFinished(10000));
            QCOMPARE(holder.exitCode(), 0);
            const QByteArray errors = holder.readAllStandardError();
            QVERIFY2(!errors.contains("QProcess: Destroyed while process"), errors.constData());
        } else {
            Recorder recorder;
            AdapterStream running;
            QVERIFY(running.start(locationOf(adapter), recorder.payloads(), recorder.exits()));
            QTRY_VERIFY_WITH_TIMEOUT(adapter.savedPid() > 0 && adapter.readFile("child").toLongLong() > 0, 10000);
            stream = adapter.savedPid();
            fork = adapter.readFile("child").toLongLong();
            running.stop();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!test::processAlive(stream), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!test::processAlive(fork), 5000);
    }

    void adapterDiesWithTheProgram()
    {
        test::FakeAdapter adapter(kLingering);
        QProcess holder;
        holder.setProgram(QCoreApplication::applicationFilePath());
        holder.setArguments({"--hold-stream", adapter.scriptPath(), adapter.frameworkPath()});
        holder.start();
        QVERIFY(holder.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(adapter.savedPid() > 0, 10000);
        const qint64 pid = adapter.savedPid();
        QVERIFY(test::processAlive(pid));
        holder.kill(); // SIGKILL: no chance to stop anything itself
        QVERIFY(holder.waitForFinished(5000));
        QTRY_VERIFY_WITH_TIMEOUT(!test::processAlive(pid), 3000);
    }

    // Only this user's exact stream processes of the location whose launcher is gone are ended;
    // everything that merely resembles one survives, and so does the stream of a running launcher.
    void reapOrphansMatchesExactStreamProcesses()
    {
        test::FakeAdapter adapter("sleep 30;");
        QVERIFY(adapter.isValid());
        const QString perl = QStringLiteral("/usr/bin/perl");
        const QString script = adapter.scriptPath();
        const QString framework = adapter.frameworkPath();
        const QString otherFramework = adapter.filePath("Other/MediaRemoteAdapter.framework");
        const QString lookalike = adapter.filePath("not-mediaremote-adapter.pl");
        QVERIFY(QFile::copy(script, lookalike));

        const QByteArray dead = deadLauncherRecord();
        QVERIFY(!dead.isEmpty());
        enum Launcher { gone, running, unrecorded };
        struct Shape {
            const char *name;
            QStringList argv;
            bool reaped;
            Launcher launcher = gone;
        };
        QList<Shape> shapes{
            {"stream with options", {perl, script, framework, "stream", "--no-diff", "--debounce=120"}, true},
            {"bare stream", {perl, script, framework, "stream"}, true},
            {"one-shot get", {perl, script, framework, "get", "--no-artwork"}, false},
            {"stream of another framework", {perl, script, otherFramework, "stream"}, false},
            {"stream only as a later argument", {perl, script, framework, "get", "stream"}, false},
            {"other script naming the adapter", {perl, lookalike, framework, "stream"}, false},
            {"command that merely starts with stream", {perl, script, framework, "streaming"}, false},
            {"stream of a running launcher", {perl, script, framework, "stream"}, false, running},
            {"stream without a launcher record, its parent running", {perl, script, framework, "stream"}, false,
             unrecorded},
        };
        if (::geteuid() == 0) {
            // Another user's stream process, started through setpriv as nobody.
            QFile::setPermissions(adapter.dir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                     | QFile::ReadOther | QFile::ExeOther);
            shapes.append({"another user's stream",
                           QStringList{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", perl,
                                       script, framework, "stream"},
                           false});
        }

        std::vector<std::unique_ptr<QProcess>> processes;
        for (const Shape &shape : shapes) {
            const QByteArray record = shape.launcher == gone      ? dead
                                      : shape.launcher == running ? adapterchild::launcherRecord()
                                                                  : QByteArray();
            processes.push_back(startDummy(shape.argv, record));
            QVERIFY2(processes.back(), shape.name);
        }
        QTest::qWait(200); // let setpriv become perl

        AdapterLocation location = locationOf(adapter);
        AdapterStream::reapOrphans(location);

        for (qsizetype i = 0; i < shapes.size(); ++i) {
            if (shapes[i].reaped)
                QVERIFY2(processes[i]->waitForFinished(3000), shapes[i].name);
        }
        QTest::qWait(200);
        for (qsizetype i = 0; i < shapes.size(); ++i) {
            if (!shapes[i].reaped)
                QVERIFY2(processes[i]->state() == QProcess::Running, shapes[i].name);
        }
        for (auto &process : processes) {
            process->kill();
            process->waitForFinished(3000);
        }
    }

    // A program's stream, and what it forked, survive another program's reaping while that program
    // runs; once it died (killed, so nothing of its own could end the fork) the fork is an orphan and
    // the next reaping ends it.
    void reapingSparesStreamsOfARunningLauncher_data()
    {
        QTest::addColumn<bool>("launcherDies");
        QTest::newRow("launcher runs") << false;
        QTest::newRow("launcher killed") << true;
    }
    void reapingSparesStreamsOfARunningLauncher()
    {
        QFETCH(bool, launcherDies);
        test::FakeAdapter adapter(kForking);
        QProcess holder;
        holder.setProgram(QCoreApplication::applicationFilePath());
        holder.setArguments({"--hold-stream", adapter.scriptPath(), adapter.frameworkPath()});
        holder.start();
        QVERIFY(holder.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(adapter.savedPid() > 0, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(adapter.readFile("child").toLongLong() > 0, 10000);
        const qint64 stream = adapter.savedPid();
        const qint64 fork = adapter.readFile("child").toLongLong();
        if (launcherDies) {
            holder.kill();
            QVERIFY(holder.waitForFinished(5000));
            QTRY_VERIFY_WITH_TIMEOUT(!test::processAlive(stream), 5000);
        }
        QVERIFY(test::processAlive(fork));

        AdapterStream::reapOrphans(locationOf(adapter));
        if (launcherDies) {
            QTRY_VERIFY_WITH_TIMEOUT(!test::processAlive(fork), 5000);
        } else {
            QTest::qWait(300);
            QVERIFY(test::processAlive(stream));
            QVERIFY(test::processAlive(fork));
        }
        holder.kill();
        holder.waitForFinished(5000);
        ::kill(pid_t(fork), SIGKILL);
    }
};

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--hold-stream") == 0)
        return holdStream(argc, argv);
    QCoreApplication app(argc, argv);
    AdapterStreamTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_adapterstream.moc"
