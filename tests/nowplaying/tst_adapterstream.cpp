#include "fakes/FakeAdapter.h"
#include "nowplaying/AdapterStream.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <memory>
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
// separate program so that its death can be watched from outside.
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
    return app.exec();
}

// A dummy process whose argument list is exactly the given one (program first).
std::unique_ptr<QProcess> startDummy(const QStringList &argv)
{
    auto process = std::make_unique<QProcess>();
    process->setProgram(argv.first());
    process->setArguments(argv.mid(1));
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
        QCOMPARE(recorder.events, (QStringList{"one", "two", "three", "exit"}));
        QCOMPARE(adapter.log(),
                 QStringList{adapter.frameworkPath() + " stream --no-diff --debounce=120 --no-artwork --allow-missing-title"});
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

    // Only this user's exact stream processes of the location are ended; everything that merely
    // resembles one survives.
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

        struct Shape {
            const char *name;
            QStringList argv;
            bool reaped;
        };
        QList<Shape> shapes{
            {"stream with options", {perl, script, framework, "stream", "--no-diff", "--debounce=120"}, true},
            {"bare stream", {perl, script, framework, "stream"}, true},
            {"one-shot get", {perl, script, framework, "get", "--no-artwork"}, false},
            {"stream of another framework", {perl, script, otherFramework, "stream"}, false},
            {"stream only as a later argument", {perl, script, framework, "get", "stream"}, false},
            {"other script naming the adapter", {perl, lookalike, framework, "stream"}, false},
            {"command that merely starts with stream", {perl, script, framework, "streaming"}, false},
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
            processes.push_back(startDummy(shape.argv));
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
