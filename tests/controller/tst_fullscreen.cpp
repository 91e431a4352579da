// labels: unit
// The full-screen monitor: a full-screen window on the notch's screen hides the collapsed bar (there
// is no menu bar to reveal), changes only are reported, and nothing after stop(); the controller
// copies it into the model and samples again.
#include "ControllerRig.h"

#include <QGuiApplication>
#include <QTest>

using namespace tavrenhold;
using namespace tavrenhold::test;

namespace {
constexpr double centreX = ControllerRig::centreX;
} // namespace

class FullScreenTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { isolateUserFolders(); }

    void monitorReportsChangesOnly()
    {
        auto made = std::make_unique<FakeFullScreenProbe>();
        QPointer<FakeFullScreenProbe> probe = made.get();
        probe->setFullScreen(true);
        QList<bool> reported;
        FullScreenMonitor monitor(std::move(made), [&](bool hides) { reported.append(hides); });
        QVERIFY(!monitor.hidesCollapsed());

        monitor.setScreen(QRect(0, 0, 1512, 982));
        QCOMPARE(probe->screen, QRect(0, 0, 1512, 982));
        monitor.start();
        QVERIFY(probe->isRunning());
        QVERIFY(monitor.isFullScreen());
        QVERIFY(monitor.hidesCollapsed());
        QVERIFY(reported.isEmpty()); // the first decision is read, not reported

        probe->setFullScreen(false);
        probe->setFullScreen(true);
        Q_EMIT probe->fullScreenChanged(true); // the same state again
        QCOMPARE(reported, (QList<bool>{false, true}));

        monitor.stop();
        monitor.stop();
        QVERIFY(!probe->isRunning());
        QCOMPARE(probe->stopCalls, 1);
        probe->setFullScreen(false);
        Q_EMIT probe->fullScreenChanged(false);
        QCOMPARE(reported, (QList<bool>{false, true}));
    }

    void startingOverAFullScreenWindowHidesTheBar()
    {
        ControllerRig rig;
        rig.shell.addAllPanes();
        rig.startFullScreen = true;
        rig.start();
        QVERIFY(rig.model().hidesCollapsed());
        // Nothing of the panel is drawn (a cut outside the window).
        QVERIFY(!rig.controller->surfaceOutline().intersects(QRect(0, 0, 760, 412)));
        // The trigger is the notch alone, not the hidden bar.
        rig.moveTo(centreX, 40);
        QCOMPARE(rig.phase(), NotchPhase::proximity);
        rig.moveTo(centreX, 31);
        QCOMPARE(rig.phase(), NotchPhase::expanded);
        QVERIFY(rig.controller->surfaceOutline().contains(QPoint(380, 200))); // the open surface shows
    }

    void changesReachTheModelAndSample()
    {
        ControllerRig rig;
        rig.shell.addAllPanes();
        rig.start();
        QVERIFY(rig.controller->surfaceOutline().contains(QPoint(380, 20)));
        rig.pointer.state.position = QPointF(centreX, 40); // over the bar, not yet reported
        rig.probe->setFullScreen(true);
        QVERIFY(rig.model().hidesCollapsed());
        QCOMPARE(rig.phase(), NotchPhase::proximity); // sampled at once against the notch alone
        QVERIFY(!rig.controller->surfaceOutline().contains(QPoint(380, 20)));

        rig.probe->setFullScreen(false);
        QVERIFY(!rig.model().hidesCollapsed());
        QCOMPARE(rig.phase(), NotchPhase::expanded);
    }
};

QTEST_MAIN(FullScreenTest)
#include "tst_fullscreen.moc"
