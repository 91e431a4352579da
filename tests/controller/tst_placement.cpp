// labels: unit
// Where the panel goes: screen changes re-measure and re-place it (and sample), the "under cursor"
// setting follows the pointer to another screen while collapsed, and without a screen nothing moves.
#include "ControllerRig.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

using namespace tavrenhold;
using namespace tavrenhold::test;

namespace {
constexpr double centreX = ControllerRig::centreX;
const QRectF primary(0, 0, 1512, 982);
const QRectF second(1512, 0, 1920, 1080); // to the right, taller
} // namespace

class PlacementTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { isolateUserFolders(); }

    void screenChangeReplacesThePanel()
    {
        ControllerRig rig;
        rig.shell.addAllPanes();
        rig.start();
        rig.screens.set({FakeScreens::screen(QRectF(0, 0, 1920, 1080))});
        QCOMPARE(rig.panel().geometry(), QRect(580, 0, 760, 412));
        QCOMPARE(rig.model().geometry().screenFrame, (platform::GlobalRect{0, 0, 1920, 1080}));
        QCOMPARE(rig.probe->screen, QRect(0, 0, 1920, 1080));
        QCOMPARE(rig.controller->hitBox().size(), QSizeF(200, 44));
        // The trigger moved with it.
        rig.moveTo(960, 0);
        QCOMPARE(rig.phase(), NotchPhase::expanded);
    }

    void unchangedScreensStillSample()
    {
        ControllerRig rig;
        rig.shell.addAllPanes();
        rig.start();
        rig.pointer.state.position = QPointF(centreX, 0); // no report reached the controller
        QCOMPARE(rig.phase(), NotchPhase::idle);
        QSignalSpy geometry(&rig.model(), &NotchShellModel::geometryChanged);
        rig.screens.set(rig.screens.layout);
        QCOMPARE(geometry.count(), 0); // written only when it changed
        QCOMPARE(rig.phase(), NotchPhase::expanded);
    }

    void withoutScreensThePanelStays()
    {
        ControllerRig rig;
        rig.shell.addAllPanes();
        rig.start();
        rig.screens.set({});
        QCOMPARE(rig.panel().geometry(), QRect(376, 0, 760, 412));
        QCOMPARE(rig.model().geometry().screenFrame, (platform::GlobalRect{0, 0, 1512, 982}));
    }

    void underCursorFollowsThePointerWhileCollapsed()
    {
        ControllerRig rig;
        rig.shell.addAllPanes();
        rig.shell.settings->setScreen(NotchScreen::cursor);
        rig.screens.layout = {FakeScreens::screen(primary), FakeScreens::screen(second, QStringLiteral("DP-2"))};
        rig.pointer.state.position = QPointF(200, 500);
        rig.start();
        QCOMPARE(rig.panel().geometry(), QRect(376, 0, 760, 412));

        rig.moveTo(2000, 600);
        QCOMPARE(rig.panel().geometry(), QRect(2092, 0, 760, 412));
        QCOMPARE(rig.probe->screen, QRect(1512, 0, 1920, 1080));

        // Open there, it stays there when the pointer crosses back.
        rig.moveTo(2472, 0);
        QCOMPARE(rig.phase(), NotchPhase::expanded);
        rig.moveTo(200, 500);
        QCOMPARE(rig.panel().geometry(), QRect(2092, 0, 760, 412));
        rig.advance(140);
        QCOMPARE(rig.phase(), NotchPhase::idle);
        rig.moveTo(210, 500);
        QCOMPARE(rig.panel().geometry(), QRect(376, 0, 760, 412));
    }

    void layoutSettingsTakeEffect()
    {
        ControllerRig rig;
        rig.shell.addAllPanes();
        rig.start();
        rig.open();
        QCOMPARE(rig.controller->hitBox().size().width(), 520.0);
        rig.shell.settings->setExpandedWidth(440);
        QCOMPARE(rig.controller->hitBox().size().width(), 440.0);

        // The notch's own height for the collapsed bar, applied at the next relocation.
        rig.leave();
        rig.advance(140);
        rig.shell.settings->setCollapsedHeight(CollapsedHeight::notch);
        rig.controller->relocate();
        QCOMPARE(rig.controller->hitBox().size(), QSizeF(200, 32)); // the stand-in notch
        rig.moveTo(centreX, 33);
        QCOMPARE(rig.phase(), NotchPhase::proximity);
        rig.moveTo(centreX, 32);
        QCOMPARE(rig.phase(), NotchPhase::expanded);
    }
};

QTEST_MAIN(PlacementTest)
#include "tst_placement.moc"
