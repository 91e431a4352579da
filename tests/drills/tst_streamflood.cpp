// labels: process
#include "nowplaying/SystemSourceHarness.h"

#include <QAtomicInt>
#include <QTest>
#include <QThread>

using namespace tavrenhold;
using namespace tavrenhold::test;

namespace {
// A stream that floods: for two seconds as many lines as it can write, each naming a new player, then
// one last track, and then it stays quiet.
const QByteArray kFlood = R"PERL(
if ($command ne 'stream') { exit 1; }
save_pid();
my $n = 0;
my $until = time() + 2;
while (time() < $until) {
    my $batch = '';
    for (1 .. 200) { $n++; $batch .= qq({"type":"data","payload":{"title":"t$n","bundleIdentifier":"org.flood.$n","playing":true}}\n); }
    print $batch;
}
note("lines $n");
print qq({"type":"data","payload":{"title":"Last","bundleIdentifier":"org.flood.last","playing":true}}\n);
sleep 60;
)PERL";
} // namespace

// A stream of lines far faster than names can be looked up: the source keeps up with the newest
// report instead of working through every line, and looks up a small share of the players named.
class StreamFloodTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void floodEndsAtItsLastLine()
    {
        DesktopEntries entries;
        auto lookups = std::make_shared<QAtomicInt>(0);
        SourceFixture f(kFlood, [lookups](const QString &bundle) {
            lookups->fetchAndAddRelaxed(1);
            QThread::msleep(2); // reading the applications folders takes a while
            return bundle;
        });
        QCoro::waitFor(f.source.start());
        QTRY_VERIFY_WITH_TIMEOUT(f.adapter.log().size() == 1, 20000);
        const int lines = f.adapter.log().constFirst().section(' ', 1).toInt();
        QVERIFY(lines > 0);
        // Once the flood has ended its last track shows at once, not minutes later.
        QTRY_VERIFY_WITH_TIMEOUT(f.source.current().track && f.source.current().track->title == "Last", 5000);
        QVERIFY2(lookups->loadRelaxed() < std::max(50, lines / 2),
                 qPrintable(QStringLiteral("%1 lookups for %2 lines").arg(lookups->loadRelaxed()).arg(lines)));
        QCoro::waitFor(f.source.stop());
    }
};

QTEST_GUILESS_MAIN(StreamFloodTest)
#include "tst_streamflood.moc"
