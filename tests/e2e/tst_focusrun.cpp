// labels: x11 e2e
// The built program with a focus round about to end: the ring shows in the collapsed bar, and
// at the deadline, with nobody touching anything, the stored timer moves on to an idle break.
#include "ProgramRig.h"

#include <QDateTime>
#include <QImage>
#include <QScreen>

using tavrenhold::test::Openbox;
using tavrenhold::test::ProgramRig;
using tavrenhold::test::XDriver;

namespace {
// Seconds since 2001-01-01 UTC, the timer's unit.
double referenceNow() { return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0 - 978307200.0; }

// The ring's orange among the dark bar's pixels at the top of the screen.
int ringPixels(const QImage &shot)
{
    int count = 0;
    const QImage top = shot.copy(0, 0, shot.width(), 60).convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < top.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(top.constScanLine(y));
        for (int x = 0; x < top.width(); ++x) {
            if (qRed(line[x]) > 180 && qGreen(line[x]) > 40 && qGreen(line[x]) < 130 && qBlue(line[x]) < 60)
                ++count;
        }
    }
    return count;
}
} // namespace

class FocusRunTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void theRoundEndsOnItsOwn()
    {
        ProgramRig rig;
        XDriver driver;
        Openbox openbox;
        QVERIFY(rig.startBus());
        QVERIFY(openbox.start(driver.connection()));
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        driver.moveTo(100, screen.height() - 100); // far from the notch, and left there

        // A work round that ends a few seconds after the program starts.
        const double deadline = referenceNow() + 12;
        const QByteArray record = QByteArrayLiteral(R"({"settings":{"workMinutes":25,"shortBreakMinutes":5,)"
                                                    R"("longBreakMinutes":15,"roundsBeforeLong":4},"phase":"work",)"
                                                    R"("run":{"running":{"deadline":)")
            + QByteArray::number(deadline, 'f', 3) + R"(}},"roundsToday":0,"runDuration":1500})";
        QVERIFY(rig.writeDefaults({{QStringLiteral("style.theme"), QStringLiteral("dark")},
                                   {QStringLiteral("focus.pomodoro"),
                                    QJsonObject{{QStringLiteral("data"), QString::fromLatin1(record.toBase64())}}}}));
        rig.start();
        QVERIFY2(rig.program.waitForStarted(10000), qPrintable(rig.program.errorString()));

        // Before the deadline the ring hangs in the collapsed bar.
        const auto grab = [] { return QGuiApplication::primaryScreen()->grabWindow(0).toImage(); };
        QVERIFY2(QTest::qWaitFor([&] { return ringPixels(grab()) > 20 || referenceNow() > deadline; }, 30000),
                 rig.program.readAllStandardError().constData());
        QVERIFY2(referenceNow() < deadline, "the bar came up only after the round had ended");

        // At the deadline the program itself completes the round and stores it.
        const auto stored = [&] {
            const QJsonObject value = rig.readDefaults().value(QStringLiteral("focus.pomodoro")).toObject();
            return QJsonDocument::fromJson(QByteArray::fromBase64(value.value(QStringLiteral("data")).toString().toLatin1()))
                .object();
        };
        QVERIFY2(QTest::qWaitFor([&] { return stored().value(QStringLiteral("roundsToday")).toInt() == 1; }, 60000),
                 QJsonDocument(stored()).toJson().constData());
        const QJsonObject done = stored();
        QCOMPARE(done.value(QStringLiteral("phase")).toString(), QStringLiteral("shortBreak"));
        QCOMPARE(done.value(QStringLiteral("run")).toObject(), (QJsonObject{{QStringLiteral("idle"), QJsonObject{}}}));
        // The round counts for the local day its deadline fell in.
        const QDateTime midnight = QDateTime::fromMSecsSinceEpoch(qint64((deadline + 978307200.0) * 1000))
                                       .toLocalTime()
                                       .date()
                                       .startOfDay();
        QCOMPARE(done.value(QStringLiteral("roundsDay")).toDouble(),
                 double(midnight.toMSecsSinceEpoch()) / 1000.0 - 978307200.0);
        QVERIFY(!done.contains(QStringLiteral("runDuration")));
        QCOMPARE(rig.program.state(), QProcess::Running);
    }
};

int main(int argc, char **argv)
{
    return tavrenhold::test::runOnPrivateDisplay<FocusRunTest>(argc, argv);
}

#include "tst_focusrun.moc"
