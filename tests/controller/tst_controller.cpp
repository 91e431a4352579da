// labels: unit
// The notch controller's phase machine over fakes: proximity, the trigger rectangle, the collapse
// grace, buttons held off the surface, the sample throttle, hover reports, present(), key status and
// scheme, and stopping.
#include "ControllerRig.h"
#include "panes/FakePublisher.h"

#include "music/MusicPane.h"

#include <QGuiApplication>
#include <QTest>

using namespace tavrenhold;
using namespace tavrenhold::test;

namespace {
// Qt y of the pointer for a global y (the screen is 982 high).
constexpr double centreX = ControllerRig::centreX;
} // namespace

class ControllerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { isolateUserFolders(); }

    void startPlacesCollapsedPanel()
    {
        ControllerRig rig;
        rig.shell.addAllPanes(100);
        NotchController &c = rig.start();
        QVERIFY(c.panel() && c.model());
        // max(520, 600) + 160 wide, the tallest pane + 312 high, at the top centre.
        QCOMPARE(rig.panel().geometry(), QRect(376, 0, 760, 412));
        QCOMPARE(rig.panel().level(), NotchPanel::collapsedLevel);
        QVERIFY(rig.panel().isVisible());
        QVERIFY(rig.panel().ignoresMouseEvents());
        QVERIFY(rig.inputShape().isEmpty());
        QCOMPARE(c.hitBox().size(), QSizeF(200, 44));
        QCOMPARE(c.hitBox().dragBand(), QRectF(190, 0, 380, 134)); // the notch + 180 wide, 134 high
        QVERIFY(rig.pointer.isRunning());
        QVERIFY(rig.probe && rig.probe->isRunning());
        QCOMPARE(rig.probe->screen, QRect(0, 0, 1512, 982));
        QCOMPARE(rig.phase(), NotchPhase::idle);

        // A second start changes nothing.
        NotchPanel *panel = c.panel();
        c.start();
        QCOMPARE(c.panel(), panel);
    }

    void withoutScreenStaysInert()
    {
        ControllerRig rig;
        rig.shell.addAllPanes();
        rig.screens.layout.clear();
        NotchController &c = rig.start();
        QVERIFY(!c.panel() && !c.model());
        QVERIFY(!rig.pointer.isRunning());
        QVERIFY(!rig.probe);
        c.present(PaneID::music);
        c.relocate();
        c.updateHitBox();
        QVERIFY(!c.model());
        // Screens coming later do not start it either.
        rig.screens.set({FakeScreens::screen(QRectF(0, 0, 1512, 982))});
        QVERIFY(!c.panel());
        QVERIFY(rig.shell.log.isEmpty());
    }

    void phaseFollowsPointer_data()
    {
        QTest::addColumn<double>("radius");
        QTest::addColumn<double>("y"); // Qt y at the centre; the trigger spans y 0 … 44
        QTest::addColumn<NotchPhase>("phase");
        QTest::newRow("top edge, 1 pt inside the raised trigger") << 10.0 << 0.0 << NotchPhase::expanded;
        QTest::newRow("bottom edge of the bar") << 10.0 << 44.0 << NotchPhase::expanded;
        QTest::newRow("1 pt below, radius 10") << 10.0 << 45.0 << NotchPhase::proximity;
        QTest::newRow("10 pt below, radius 10") << 10.0 << 54.0 << NotchPhase::proximity;
        QTest::newRow("11 pt below, radius 10") << 10.0 << 55.0 << NotchPhase::idle;
        QTest::newRow("1 pt below, radius 0") << 0.0 << 45.0 << NotchPhase::idle;
        QTest::newRow("40 pt below, radius 40") << 40.0 << 84.0 << NotchPhase::proximity;
        QTest::newRow("41 pt below, radius 40") << 40.0 << 85.0 << NotchPhase::idle;
    }
    void phaseFollowsPointer()
    {
        QFETCH(double, radius);
        QFETCH(double, y);
        QFETCH(NotchPhase, phase);
        ControllerRig rig;
        rig.shell.addAllPanes();
        rig.shell.settings->setProximityRadius(radius);
        rig.start();
        rig.moveTo(centreX, y);
        QCOMPARE(rig.phase(), phase);
        // The trigger reaches 1 pt above the panel's top edge.
        const platform::GlobalRect trigger = rig.controller->triggerRect();
        QCOMPARE(trigger.maxY(), rig.controller->panelFrame().maxY() + 1);
    }

    // The pointer is followed closely around the notch's hover zone while collapsed and around the
    // open surface while expanded; both contain every point a phase decision turns on.
    void attentionAreaFollowsThePhase()
    {
        ControllerRig rig;
        rig.shell.addAllPanes();
        rig.shell.settings->setProximityRadius(40);
        rig.start();
        const QRectF collapsed = rig.pointer.attentionArea;
        QVERIFY(collapsed.contains(QPointF(centreX, 0)));
        QVERIFY(collapsed.contains(QPointF(centreX, 32 + 40 + 100)));
        QVERIFY(!collapsed.contains(QPointF(100, 700)));
        rig.open();
        const QRectF open = rig.pointer.attentionArea;
        QVERIFY(open.contains(QPointF(centreX - 250, 250)));
        QVERIFY(open.width() > collapsed.width());
        rig.leave();
        rig.advance(140);
        QCOMPARE(rig.pointer.attentionArea, collapsed);
    }

    void approachFromIdleWithoutRadiusGoesStraightToExpanded()
    {
        ControllerRig rig;
        rig.shell.addAllPanes();
        rig.shell.settings->setProximityRadius(0);
        rig.start();
        QList<NotchPhase> seen;
        connect(&rig.model(), &NotchShellModel::phaseChanged, &rig.model(), [&] { seen.append(rig.phase()); });
        for (double y : {300.0, 100.0, 46.0, 45.0, 30.0})
            rig.moveTo(centreX, y);
        QCOMPARE(seen, QList<NotchPhase>{NotchPhase::expanded});
    }

    void leavingCollapsesAfterGrace()
    {
        ControllerRig rig;
        rig.shell.addAllPanes();
        rig.start();
        rig.open();
        QCOMPARE(rig.phase(), NotchPhase::expanded);
        QVERIFY(!rig.panel().ignoresMouseEvents());

        rig.leave();
        QVERIFY(rig.controller->isCollapsePending());
        rig.advance(139);
        QCOMPARE(rig.phase(), NotchPhase::expanded);
        rig.advance(1);
        QCOMPARE(rig.phase(), NotchPhase::idle);
        QVERIFY(!rig.controller->isCollapsePending());
        QVERIFY(rig.panel().ignoresMouseEvents());
        QCOMPARE(rig.shell.log, (QStringList{QStringLiteral("activate:usage"), QStringLiteral("deactivate:usage")}));
        QCOMPARE(rig.shell.violations(), 0);
    }

    void returningWithinGraceStaysOpen()
    {
        ControllerRig rig;
        rig.shell.addAllPanes();
        rig.start();
        rig.open();
        rig.leave();
        rig.advance(100);
        rig.moveTo(centreX - 200, 150); // back on the open surface, 120 ms after leaving
        QVERIFY(!rig.controller->isCollapsePending());
        rig.advance(500);
        QCOMPARE(rig.phase(), NotchPhase::expanded);
        QCOMPARE(rig.shell.log, QStringList{QStringLiteral("activate:usage")});
    }

    void buttonHeldOffSurfaceKeepsOpen()
    {
        ControllerRig rig;
        rig.shell.addAllPanes();
        rig.start();
        rig.open();
        rig.moveTo(centreX, 700, Qt::LeftButton); // dragging a slider out of the panel, say
        QVERIFY(!rig.controller->isCollapsePending());
        QVERIFY(!rig.panel().ignoresMouseEvents()); // left as it was when the button went down
        rig.advance(1000);
        QCOMPARE(rig.phase(), NotchPhase::expanded);

        rig.moveTo(centreX, 700); // released away from the surface
        QVERIFY(rig.panel().ignoresMouseEvents());
        QVERIFY(rig.controller->isCollapsePending());
        rig.advance(140);
        QCOMPARE(rig.phase(), NotchPhase::idle);
    }

    void graceEndingWithButtonHeldStaysOpen()
    {
        ControllerRig rig;
        rig.shell.addAllPanes();
        rig.start();
        rig.open();
        rig.leave();
        // The button goes down without a report reaching the controller before the grace ends.
        rig.pointer.state.buttons = Qt::LeftButton;
        rig.advance(140);
        QCOMPARE(rig.phase(), NotchPhase::expanded);
        QVERIFY(!rig.controller->isCollapsePending());
        // The next sample away without a button starts a new grace.
        rig.moveTo(centreX, 710);
        QVERIFY(rig.controller->isCollapsePending());
        rig.advance(140);
        QCOMPARE(rig.phase(), NotchPhase::idle);
    }

    // A burst of moves faster than the throttle ends with its last position decided.
    void lastMoveOfABurstIsSampled()
    {
        ControllerRig rig;
        rig.shell.addAllPanes();
        rig.start();
        rig.moveTo(centreX, 400);
        rig.pointer.move(QPointF(centreX, 0)); // 0 ms later: dropped by the throttle
        QCOMPARE(rig.phase(), NotchPhase::idle);
        rig.advance(16);
        QCOMPARE(rig.phase(), NotchPhase::idle);
        rig.advance(1);
        QCOMPARE(rig.phase(), NotchPhase::expanded);
        // A later move within the interval replaces the position the trailing sample reads.
        rig.moveTo(centreX, 700);
        rig.pointer.move(QPointF(centreX - 100, 100));
        rig.advance(17);
        QVERIFY(!rig.controller->isCollapsePending());
    }

    void hoverReports()
    {
        ControllerRig rig;
        rig.shell.addAllPanes();
        rig.start();
        rig.open();
        // Leaving the hosted surface samples at once, throttle or not.
        rig.pointer.state.position = QPointF(centreX, 700);
        rig.controller->hoverChanged(false);
        QVERIFY(rig.controller->isCollapsePending());
        // Entering it while the pointer is on the surface cancels the grace.
        rig.pointer.state.position = QPointF(centreX, 100);
        rig.controller->hoverChanged(true);
        QVERIFY(!rig.controller->isCollapsePending());
        rig.advance(300);
        QCOMPARE(rig.phase(), NotchPhase::expanded);
    }

    void presentOpensUntilTheNextSample()
    {
        ControllerRig rig(QJsonObject{{NotchShellModel::focusedPaneKey, "notes"}});
        rig.shell.addAllPanes();
        rig.start();
        rig.moveTo(centreX, 700);
        rig.controller->present(std::nullopt);
        QCOMPARE(rig.phase(), NotchPhase::expanded);
        QCOMPARE(rig.model().landed(), PaneID::notes);
        rig.advance(1000);
        QCOMPARE(rig.phase(), NotchPhase::expanded); // no sample yet
        rig.moveTo(centreX, 710);
        rig.advance(140);
        QCOMPARE(rig.phase(), NotchPhase::idle);

        rig.controller->present(PaneID::drop);
        QCOMPARE(rig.model().landed(), PaneID::drop);
        QCOMPARE(rig.shell.log.last(), QStringLiteral("activate:drop"));
    }

    void keyStatusLevelAndScheme()
    {
        ControllerRig rig;
        rig.shell.addAllPanes();
        rig.appearance.setTheme(ThemeMode::light);
        rig.start();
        NotchPanel &panel = rig.panel();
        QCOMPARE(panel.scheme(), ColorScheme::dark);

        rig.open();
        QCOMPARE(panel.level(), NotchPanel::expandedLevel);
        QCOMPARE(rig.windows.raised.last(), &panel);
        QVERIFY(panel.wantsKey());
        QCOMPARE(rig.windows.focused.data(), &panel);
        QCOMPARE(panel.scheme(), ColorScheme::light);
        QCOMPARE(rig.controller->hitBox().size(), QSizeF(520, 100 + 112));

        rig.appearance.setTheme(ThemeMode::dark); // followed while open
        QCOMPARE(panel.scheme(), ColorScheme::dark);
        rig.appearance.setTheme(ThemeMode::light);

        rig.leave();
        rig.advance(140);
        QCOMPARE(panel.level(), NotchPanel::collapsedLevel);
        QVERIFY(!panel.wantsKey());
        QVERIFY(rig.windows.focused.isNull()); // handed back
        QCOMPARE(panel.scheme(), ColorScheme::dark); // collapsed is always dark
        QCOMPARE(rig.controller->hitBox().size(), QSizeF(200, 44));
    }

    // The interactive area follows the open surface when a taller pane is landed on: the lower part
    // of the taller pane keeps the surface open and takes clicks.
    void hitBoxFollowsTheLandedPane()
    {
        ControllerRig rig;
        rig.shell.addPanes({"usage", "music"}, 100);
        rig.shell.addPanes({"clipboard"}, 200);
        rig.start();
        rig.open();
        QCOMPARE(rig.model().landed(), PaneID::usage);
        QCOMPARE(rig.controller->hitBox().size(), QSizeF(520, 212));
        rig.model().land(PaneID::clipboard);
        QCOMPARE(rig.controller->hitBox().size(), QSizeF(520, 312));
        QCOMPARE(rig.inputShape().constFirst().height(), 316.0);
        rig.moveTo(centreX, 290); // inside the taller pane only
        rig.advance(500);
        QCOMPARE(rig.phase(), NotchPhase::expanded);
    }

    // The Music pane's open output picker hangs below the surface: it takes the pointer and counts
    // as the surface, so going there does not collapse the notch; once it closes, it does not.
    void openPopoverCountsAsSurface()
    {
        ControllerRig rig;
        rig.shell.addPanes({"usage"});
        MusicPane music(new FakePublisher, rig.shell.clock);
        rig.shell.extraPanes.push_back(&music);
        rig.start();
        rig.open();
        const QRectF popover(rig.panel().width() / 2.0, 200, 240, 200); // panel coordinates
        music.setPopoverRect(popover);
        QCOMPARE(rig.controller->hitBox().popover(), popover);
        QVERIFY(rig.inputShape().contains(popover));
        const QPointF inside = QPointF(rig.panel().position()) + popover.center();
        rig.moveTo(inside.x(), inside.y());
        QVERIFY(!rig.controller->isCollapsePending());
        QVERIFY(!rig.panel().ignoresMouseEvents());
        rig.advance(500);
        QCOMPARE(rig.phase(), NotchPhase::expanded);

        music.setPopoverRect({});
        QVERIFY(!rig.inputShape().contains(popover));
        rig.moveTo(inside.x(), inside.y() + 1);
        QVERIFY(rig.controller->isCollapsePending());
        rig.advance(500);
        QCOMPARE(rig.phase(), NotchPhase::idle);
    }

    // The music services launch child processes: they start after the panel's first frame, not
    // with the panel, and only once; without a frame they start after a while all the same.
    void musicServicesStartAfterTheFirstFrame_data()
    {
        QTest::addColumn<bool>("frame");
        QTest::newRow("a frame shown") << true;
        QTest::newRow("no frame") << false;
    }
    void musicServicesStartAfterTheFirstFrame()
    {
        QFETCH(bool, frame);
        ControllerRig rig;
        rig.shell.addPanes({"usage"});
        auto *publisher = new FakePublisher;
        MusicPane music(publisher, rig.shell.clock);
        rig.shell.extraPanes.push_back(&music);
        rig.start();
        QVERIFY(!publisher->calls.contains(QStringLiteral("start")));
        if (frame) {
            Q_EMIT rig.panel().frameSwapped();
            QTRY_VERIFY(publisher->calls.contains(QStringLiteral("start")));
        } else {
            rig.advance(int(NotchController::servicesWithoutFrame.count()));
            QTRY_VERIFY(publisher->calls.contains(QStringLiteral("start")));
        }
        // Whatever comes later starts nothing more.
        Q_EMIT rig.panel().frameSwapped();
        rig.advance(int(NotchController::servicesWithoutFrame.count()));
        QCoreApplication::processEvents();
        QCOMPARE(publisher->calls.count(QStringLiteral("start")), 1);
    }

    void stopTearsDown()
    {
        ControllerRig rig;
        rig.shell.addPanes({"usage", "clipboard", "notes", "drop", "focus"});
        auto *publisher = new FakePublisher;
        MusicPane music(publisher, rig.shell.clock);
        rig.shell.extraPanes.push_back(&music);
        rig.start();
        rig.advance(int(NotchController::servicesWithoutFrame.count()));
        QTRY_VERIFY(publisher->calls.contains(QStringLiteral("start")));
        rig.controller->present(PaneID::notes);
        QPointer<NotchPanel> panel = rig.controller->panel();
        rig.leave(); // a grace is pending

        rig.controller->stop();
        QVERIFY(!rig.controller->panel() && !rig.controller->model());
        QVERIFY(panel.isNull());
        QVERIFY(!rig.pointer.isRunning());
        QVERIFY(rig.probe.isNull()); // stopped and dropped with its monitor
        QCOMPARE(rig.shell.log.last(), QStringLiteral("deactivate:notes"));
        QVERIFY(publisher->calls.contains(QStringLiteral("stop")));
        QVERIFY(rig.windows.focused.isNull());

        // Nothing happens any more.
        rig.advance(500);
        rig.moveTo(centreX, 0);
        rig.controller->present(PaneID::music);
        QCOMPARE(rig.shell.log.last(), QStringLiteral("deactivate:notes"));
        QCOMPARE(rig.shell.violations(), 0);
        rig.controller->stop(); // twice is harmless
    }
};

QTEST_MAIN(ControllerTest)
#include "tst_controller.moc"
