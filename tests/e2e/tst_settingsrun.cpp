// labels: x11 e2e
// The built program with a tray host: the tray's "Settings…" and a second start each show the one
// settings window, 520 × 560; closed and shown again it is on the tab it was left on; a
// termination signal then ends the program with status 0.
#include "ProgramRig.h"

#include <QImage>
#include <QScreen>

using tavrenhold::test::dieWithParent;
using tavrenhold::test::Openbox;
using tavrenhold::test::ProgramRig;
using tavrenhold::test::XDriver;

namespace {
// Runs a command on this test's display and returns what it printed, or nothing on failure.
QByteArray run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

// The visible windows that `xdotool search` finds, each as its place on the screen (the client
// area, without the window manager's frame).
QList<QRect> windows(XDriver &driver, const QStringList &search)
{
    const QByteArray ids = run(QStringLiteral("xdotool"), QStringList{QStringLiteral("search"),
                                                                      QStringLiteral("--onlyvisible")}
                                                              + search);
    return tavrenhold::test::windowPlaces(driver, ids);
}

int brightness(const QImage &shot, QPoint at)
{
    const QRgb p = shot.pixel(at);
    return qRed(p) + qGreen(p) + qBlue(p);
}
} // namespace

class SettingsRunTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void trayAndSecondStartShowOneWindow()
    {
        ProgramRig rig;
        XDriver driver;
        const auto settingsWindows = [&] {
            return windows(driver, {QStringLiteral("--name"), QStringLiteral("^Tavrenhold Settings")});
        };
        Openbox openbox;
        QProcess trayer;
        QVERIFY(rig.startBus());
        QVERIFY(openbox.start(driver.connection()));
        dieWithParent(trayer);
        trayer.start(QStringLiteral("trayer"), {QStringLiteral("--edge"), QStringLiteral("bottom"),
                                                QStringLiteral("--align"), QStringLiteral("right"),
                                                QStringLiteral("--widthtype"), QStringLiteral("request"),
                                                QStringLiteral("--height"), QStringLiteral("32")});
        QVERIFY(trayer.waitForStarted(5000));
        rig.start();
        QVERIFY2(rig.program.waitForStarted(10000), qPrintable(rig.program.errorString()));

        // The status item sits in the tray: a small window of ours there.
        QRect icon;
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         for (const QRect &r : windows(driver, {QStringLiteral("--classname"), QStringLiteral("tavrenhold")})) {
                             if (r.width() > 0 && r.width() <= 64 && r.height() <= 64)
                                 icon = r;
                         }
                         return icon.isValid();
                     },
                     30000),
                 rig.program.readAllStandardError().constData());

        // Its menu, then "Settings…" (the item above "Quit Tavrenhold", the last one).
        driver.click(icon.center().x(), icon.center().y(), 3);
        QTest::qWait(300); // the menu takes the keyboard when it maps
        run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Up"), QStringLiteral("Up"),
                                        QStringLiteral("Return")});
        QVERIFY2(QTest::qWaitFor([&] { return settingsWindows().size() == 1; }, 15000),
                 rig.program.readAllStandardError().constData());
        QTest::qWait(500); // placed by the window manager
        const QRect shown = settingsWindows().constFirst();
        QCOMPARE(shown.size(), QSize(520, 560));

        // To the Panes tab (right of the centre of the tab bar), then closed.
        driver.click(shown.x() + shown.width() / 2 + 36, shown.y() + 8 + 12);
        QTest::qWait(300);
        run(QStringLiteral("wmctrl"), {QStringLiteral("-c"), QStringLiteral("Tavrenhold Settings")});
        QVERIFY(QTest::qWaitFor([&] { return settingsWindows().isEmpty(); }, 10000));

        // A second start hands over to the running program and ends; the same window comes back
        // on the tab it was left on.
        QProcess second;
        rig.start(second);
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(QTest::qWaitFor([&] { return settingsWindows().size() == 1; }, 15000));
        const QRect again = settingsWindows().constFirst();
        QCOMPARE(again.size(), QSize(520, 560));
        QTest::qWait(300);
        const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        const QPoint general(again.x() + again.width() / 2 - 36, again.y() + 8 + 12);
        const QPoint panes(again.x() + again.width() / 2 + 36, again.y() + 8 + 12);
        QVERIFY2(brightness(shot, panes) > brightness(shot, general), "the Panes tab is not the chosen one");

        rig.program.terminate();
        QVERIFY(rig.program.waitForFinished(10000));
        QCOMPARE(rig.program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(rig.program.exitCode(), 0);
        const QByteArray errors = rig.program.readAllStandardError();
        QVERIFY2(!errors.contains("QProcess: Destroyed while process"), errors.constData());
        ProgramRig::stop(trayer);
    }
};

int main(int argc, char **argv)
{
    return tavrenhold::test::runOnPrivateDisplay<SettingsRunTest>(argc, argv);
}

#include "tst_settingsrun.moc"
