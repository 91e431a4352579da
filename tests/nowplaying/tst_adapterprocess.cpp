#include "fakes/FakeAdapter.h"
#include "nowplaying/AdapterProcess.h"

#include <QElapsedTimer>
#include <QTest>

using namespace tavrenhold;

namespace {
// The fake adapter's one-shot commands.
const QByteArray kAdapter = R"PERL(
if ($command eq 'test') { exit 0; }
if ($command eq 'get') { print '{"title":"Song","duration":215}'; exit 0; }
if ($command eq 'echo') { print join('|', $framework, $command, @rest); exit 0; }
if ($command eq 'fail') { print 'partial'; print STDERR "noise\n"; exit 3; }
if ($command eq 'crash') { print 'before'; kill 'KILL', $$; sleep 5; }
if ($command eq 'stdin') { my $in = <STDIN>; print defined $in ? 'input' : 'eof'; exit 0; }
if ($command eq 'hang') {
    $SIG{TERM} = $SIG{INT} = 'IGNORE' if ($rest[0] // '') eq 'stubborn';
    $SIG{TERM} = sub { exit 0 } if ($rest[0] // '') eq 'clean';
    save_pid(); print 'early'; sleep 30; exit 0;
}
if ($command eq 'log') {
    note("$rest[0]+");
    select(undef, undef, undef, $rest[1] // 0);
    note("$rest[0]-");
    print $rest[0];
    exit 0;
}
if ($command eq 'send') { note("send @rest"); exit 0; }
exit 99;
)PERL";

AdapterLocation locationOf(const test::FakeAdapter &adapter)
{
    AdapterLocation location;
    location.script = adapter.scriptPath();
    location.framework = adapter.frameworkPath();
    location.testClient = adapter.testClientPath();
    return location;
}

// Runs the adapter and keeps the output where the test can see it once the run is done.
QCoro::Task<> runInto(AdapterLocation location, QStringList arguments, double timeout,
                      std::optional<AdapterProcess::Output> &out)
{
    out = co_await AdapterProcess::run(location, arguments, timeout);
}
} // namespace

class AdapterProcessTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void oneShotRuns_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("self-test") << QStringList{"test"} << 0 << QByteArray();
        QTest::newRow("get") << QStringList{"get", "--no-artwork", "--allow-missing-title"} << 0
                             << QByteArray(R"({"title":"Song","duration":215})");
        QTest::newRow("non-zero exit keeps its output, not its errors") << QStringList{"fail"} << 3
                                                                       << QByteArray("partial");
        QTest::newRow("killed by a signal is no success") << QStringList{"crash"} << -2 << QByteArray("before");
        QTest::newRow("standard input is empty") << QStringList{"stdin"} << 0 << QByteArray("eof");
    }
    void oneShotRuns()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QByteArray, data);
        test::FakeAdapter adapter(kAdapter);
        QVERIFY(adapter.isValid());
        std::optional<AdapterProcess::Output> out;
        runInto(locationOf(adapter), arguments, 5, out);
        QTRY_VERIFY_WITH_TIMEOUT(out.has_value(), 10000);
        if (status == -2)
            QVERIFY(out->status != 0 && out->status != -1);
        else
            QCOMPARE(out->status, status);
        QCOMPARE(out->data, data);
    }

    void commandLineReachesTheAdapter()
    {
        test::FakeAdapter adapter(kAdapter);
        std::optional<AdapterProcess::Output> out;
        runInto(locationOf(adapter), {"echo", "a b", "--x=1", ""}, 5, out);
        QTRY_VERIFY_WITH_TIMEOUT(out.has_value(), 10000);
        QCOMPARE(out->status, 0);
        QCOMPARE(QString::fromUtf8(out->data), adapter.frameworkPath() + "|echo|a b|--x=1|");
    }

    void launchFailureIsMinusOne()
    {
        test::FakeAdapter adapter(kAdapter);
        AdapterLocation location = locationOf(adapter);
        location.perl = adapter.filePath("no-such-perl");
        std::optional<AdapterProcess::Output> failed, after;
        AdapterProcess::detached(location, {"send", "0"});
        runInto(location, {"get"}, 5, failed);
        runInto(locationOf(adapter), {"test"}, 5, after);
        QTRY_VERIFY_WITH_TIMEOUT(after.has_value(), 10000);
        QVERIFY(failed.has_value());
        QCOMPARE(failed->status, -1);
        QVERIFY(failed->data.isEmpty());
        QCOMPARE(after->status, 0);
    }

    // A run past its time-out ends at the deadline with what it printed so far and a non-zero
    // status, even when the adapter ignores SIGTERM or exits 0 on it; the process is gone soon after,
    // and the run queued behind it does not wait for it.
    void timeOutEndsTheRunForGood_data()
    {
        QTest::addColumn<QString>("temper");
        QTest::newRow("obliging") << "";
        QTest::newRow("ignores SIGTERM") << "stubborn";
        QTest::newRow("exits 0 on SIGTERM") << "clean";
    }
    void timeOutEndsTheRunForGood()
    {
        QFETCH(QString, temper);
        test::FakeAdapter adapter(kAdapter);
        std::optional<AdapterProcess::Output> hung, behind;
        QElapsedTimer elapsed;
        elapsed.start();
        // The adapter sleeps 30 s: a run that ends within 10 s ended at its deadline, even on a loaded
        // machine where perl needs a while to start and print.
        runInto(locationOf(adapter), {"hang", temper}, 1.5, hung);
        runInto(locationOf(adapter), {"get"}, 5, behind);
        QTRY_VERIFY_WITH_TIMEOUT(hung.has_value(), 15000);
        QVERIFY2(elapsed.elapsed() < 10000, "the run waited past its deadline");
        QVERIFY(hung->status != 0);
        QCOMPARE(hung->data, QByteArray("early"));
        QTRY_VERIFY_WITH_TIMEOUT(behind.has_value(), 15000);
        QCOMPARE(behind->status, 0);
        const qint64 pid = adapter.savedPid();
        QVERIFY(pid > 0);
        QTRY_VERIFY_WITH_TIMEOUT(!test::processAlive(pid), 10000);
    }

    void queuedRunsGoOneAtATimeInOrder()
    {
        test::FakeAdapter adapter(kAdapter);
        const AdapterLocation location = locationOf(adapter);
        std::optional<AdapterProcess::Output> a, c, d;
        runInto(location, {"log", "A", "0.3"}, 5, a);
        AdapterProcess::detached(location, {"send", "2"});
        runInto(location, {"log", "C", "0.1"}, 5, c);
        runInto(location, {"log", "D", "0"}, 5, d);
        QTRY_VERIFY_WITH_TIMEOUT(d.has_value(), 10000);
        QVERIFY(a && c);
        QCOMPARE(a->data, QByteArray("A"));
        QCOMPARE(d->data, QByteArray("D"));
        QTRY_COMPARE(adapter.log().size(), 7);
        QStringList runs = adapter.log();
        // The detached command is launched only after A has ended; its own timing is its own.
        const qsizetype send = runs.indexOf("send 2");
        QVERIFY(send > runs.indexOf("A-"));
        runs.removeAt(send);
        QCOMPARE(runs, (QStringList{"A+", "A-", "C+", "C-", "D+", "D-"}));
    }
};

QTEST_GUILESS_MAIN(AdapterProcessTest)
#include "tst_adapterprocess.moc"
