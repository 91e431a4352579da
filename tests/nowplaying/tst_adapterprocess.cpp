#include "fakes/FakeAdapter.h"
#include "nowplaying/AdapterProcess.h"

#include <QElapsedTimer>
#include <QFileInfo>
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
if ($command eq 'fork') {
    # A copy that outlives its parent unless someone ends its group; "stubborn" ignores SIGTERM,
    # "escapes" leaves the group for a session of its own.
    my $child = fork();
    if (defined $child && $child == 0) {
        $SIG{TERM} = 'IGNORE' if ($rest[1] // '') eq 'stubborn';
        if (($rest[1] // '') eq 'escapes') { require POSIX; POSIX::setsid(); }
        open(my $fh, '>', "$here/child.tmp") or die; print $fh $$; close($fh); rename("$here/child.tmp", "$here/child");
        sleep 60; exit 0;
    }
    select(undef, undef, undef, 0.01) until -e "$here/child";
    print 'forked';
    exit 0 if $rest[0] eq 'exit';
    sleep 30; exit 0;
}
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

// Runs the adapter for a purpose and keeps the output once the run is done.
QCoro::Task<> runForInto(AdapterLocation location, QStringList arguments, AdapterProcess::Purpose purpose,
                         AdapterProcess::Wanted wanted, std::optional<AdapterProcess::Output> &out)
{
    out = co_await AdapterProcess::run(location, arguments, 5, purpose, std::move(wanted));
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

    // Whatever a run forks is ended with it, and reaped: when the run exits, when it times out, when
    // what it forked ignores SIGTERM, and when it left the run's process group.
    void forkedProcessesEndWithTheRun_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QString>("temper");
        QTest::addColumn<double>("timeout");
        QTest::newRow("run exits") << "exit" << "" << 10.0;
        QTest::newRow("run exits, fork ignores SIGTERM") << "exit" << "stubborn" << 10.0;
        QTest::newRow("run times out") << "hang" << "" << 1.5;
        QTest::newRow("run times out, fork ignores SIGTERM") << "hang" << "stubborn" << 1.5;
        QTest::newRow("run exits, fork leaves the group") << "exit" << "escapes" << 10.0;
        QTest::newRow("run times out, fork leaves the group") << "hang" << "escapes" << 1.5;
    }
    void forkedProcessesEndWithTheRun()
    {
        QFETCH(QString, ending);
        QFETCH(QString, temper);
        QFETCH(double, timeout);
        test::FakeAdapter adapter(kAdapter);
        std::optional<AdapterProcess::Output> out;
        runInto(locationOf(adapter), {"fork", ending, temper}, timeout, out);
        QTRY_VERIFY_WITH_TIMEOUT(out.has_value(), 15000);
        QCOMPARE(out->data, QByteArray("forked"));
        QCOMPARE(out->status == 0, ending == QLatin1String("exit"));
        const qint64 child = adapter.readFile("child").toLongLong();
        QVERIFY(child > 0);
        QTRY_VERIFY_WITH_TIMEOUT(!test::processAlive(child), 10000);
        QTRY_VERIFY2_WITH_TIMEOUT(!QFileInfo::exists(QStringLiteral("/proc/%1").arg(child)), "not reaped", 10000);
    }

    // A run made for a purpose waits only until a newer run of that purpose is asked for, and runs only
    // when still wanted at its turn; runs without a purpose are never dropped.
    void purposeRunsKeepOnlyTheNewestWaiting()
    {
        using Purpose = AdapterProcess::Purpose;
        test::FakeAdapter adapter(kAdapter);
        const AdapterLocation location = locationOf(adapter);
        bool trackStillCurrent = true;
        const AdapterProcess::Wanted always = [] { return true; };
        std::optional<AdapterProcess::Output> a, t1, w1, t2, w2, t3, w3;
        runInto(location, {"log", "A", "0.5"}, 5, a);
        runForInto(location, {"log", "T1"}, Purpose::trackRefresh, always, t1);
        runForInto(location, {"log", "W1"}, Purpose::artwork, always, w1);
        AdapterProcess::detached(location, {"send", "2"});
        runForInto(location, {"log", "T2"}, Purpose::trackRefresh, always, t2);
        runForInto(location, {"log", "W2"}, Purpose::artwork, always, w2);
        runForInto(location, {"log", "T3"}, Purpose::trackRefresh, [&] { return trackStillCurrent; }, t3);
        runForInto(location, {"log", "W3"}, Purpose::artwork, always, w3);
        // The replaced ones are answered at once, while A still runs.
        QTRY_VERIFY_WITH_TIMEOUT(t1 && w1 && t2 && w2, 5000);
        QVERIFY(!a);
        for (const auto *replaced : {&t1, &w1, &t2, &w2})
            QCOMPARE(**replaced, (AdapterProcess::Output{AdapterProcess::skippedStatus, {}}));
        trackStillCurrent = false;
        QTRY_VERIFY_WITH_TIMEOUT(w3.has_value(), 15000);
        QVERIFY(a && t3);
        QCOMPARE(t3->status, AdapterProcess::skippedStatus);
        QCOMPARE(w3->data, QByteArray("W3"));
        QTRY_COMPARE(adapter.log().size(), 5);
        // The detached command is launched after A; its own timing is its own.
        QStringList runs = adapter.log();
        QVERIFY(runs.removeOne("send 2"));
        QCOMPARE(runs, (QStringList{"A+", "A-", "W3+", "W3-"}));
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
