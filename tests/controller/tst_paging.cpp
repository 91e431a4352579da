// labels: unit
// Paging between panes over the open panel: wheel notches (one step per 0.22 s, every vertical one
// swallowed) and trackpad swipes (one step per gesture after 60 pt, momentum swallowed but adding no
// travel).
#include "ControllerRig.h"

#include <QGuiApplication>
#include <QTest>
#include <QWheelEvent>

using namespace tavrenhold;
using namespace tavrenhold::test;

namespace {
// The default order: usage, music, clipboard, notes, drop, focus.
struct PagingRig : ControllerRig {
    explicit PagingRig(PaneID landed = PaneID::music)
    {
        shell.addAllPanes();
        start();
        controller->present(landed);
    }
    [[nodiscard]] int landedIndex() const { return model().landedIndex(); }
    bool wheel(double dx, double dy, bool inverted = false)
    {
        return controller->handleScroll({.dx = dx, .dy = dy, .inverted = inverted});
    }
    bool swipe(double dx, double dy = 0, bool began = false, bool momentum = false)
    {
        return controller->handleScroll({.dx = dx, .dy = dy, .precise = true, .began = began, .momentum = momentum});
    }
};
} // namespace

class PagingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { isolateUserFolders(); }

    void wheel_data()
    {
        QTest::addColumn<double>("dx");
        QTest::addColumn<double>("dy");
        QTest::addColumn<bool>("inverted");
        QTest::addColumn<bool>("swallowed");
        QTest::addColumn<int>("step");
        QTest::newRow("down") << 0.0 << -15.0 << false << true << 1;
        QTest::newRow("up") << 0.0 << 15.0 << false << true << -1;
        QTest::newRow("natural scrolling, fingers up") << 0.0 << 15.0 << true << true << 1;
        QTest::newRow("mostly vertical") << 3.0 << -10.0 << false << true << 1;
        QTest::newRow("horizontal passes") << 15.0 << 5.0 << false << false << 0;
        QTest::newRow("no movement passes") << 0.0 << 0.0 << false << false << 0;
    }
    void wheel()
    {
        QFETCH(double, dx);
        QFETCH(double, dy);
        QFETCH(bool, inverted);
        QFETCH(bool, swallowed);
        QFETCH(int, step);
        PagingRig rig;
        QCOMPARE(rig.wheel(dx, dy, inverted), swallowed);
        QCOMPARE(rig.landedIndex(), 1 + step);
    }

    void wheelStepsAtMostOncePer220ms()
    {
        PagingRig rig;
        QVERIFY(rig.wheel(0, -15));
        QCOMPARE(rig.landedIndex(), 2);
        QVERIFY(rig.wheel(0, -15)); // swallowed without a step
        rig.advance(220);
        QVERIFY(rig.wheel(0, -15));
        QCOMPARE(rig.landedIndex(), 2);
        rig.advance(1);
        QVERIFY(rig.wheel(0, -15));
        QCOMPARE(rig.landedIndex(), 3);
    }

    void noStepPastEitherEnd()
    {
        PagingRig first(PaneID::usage);
        QVERIFY(first.wheel(0, 15));
        QCOMPARE(first.model().landed(), PaneID::usage);
        PagingRig last(PaneID::focus);
        QVERIFY(last.swipe(-80, 0, true));
        QCOMPARE(last.model().landed(), PaneID::focus);
    }

    void collapsedScrollsPassThrough()
    {
        ControllerRig rig;
        rig.shell.addAllPanes();
        rig.start();
        QVERIFY(!rig.controller->handleScroll({.dy = -15}));
        QVERIFY(!rig.controller->handleScroll({.dx = -80, .precise = true, .began = true}));
        QCOMPARE(rig.phase(), NotchPhase::idle);
    }

    void swipeStepsOncePerGesture()
    {
        PagingRig rig;
        QVERIFY(rig.swipe(-20, 0, true));
        QVERIFY(rig.swipe(-20));
        QCOMPARE(rig.landedIndex(), 1);
        QVERIFY(rig.swipe(-20)); // 60 pt
        QCOMPARE(rig.landedIndex(), 2);
        QVERIFY(rig.swipe(-100));
        QCOMPARE(rig.landedIndex(), 2); // one step per gesture
        QVERIFY(rig.swipe(-100, 0, false, true)); // momentum after the lift: swallowed
        QVERIFY(!rig.swipe(1, 10)); // vertical passes
        // The next gesture, the other way.
        QVERIFY(rig.swipe(30, 0, true));
        QVERIFY(rig.swipe(30));
        QCOMPARE(rig.landedIndex(), 1);
    }

    void momentumAddsNoTravel()
    {
        PagingRig rig;
        rig.swipe(-20, 0, true);
        rig.swipe(-20);
        QVERIFY(rig.swipe(-50, 0, false, true));
        QCOMPARE(rig.landedIndex(), 1);
        rig.swipe(-20); // 60 pt of the fingers' own travel
        QCOMPARE(rig.landedIndex(), 2);
    }

    // The panel hands its wheel events to the controller and keeps those it swallows.
    void panelWheelEventsReachTheController()
    {
        PagingRig rig;
        QWheelEvent notch(QPointF(380, 100), QPointF(756, 100), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&rig.panel(), &notch);
        QVERIFY(notch.isAccepted());
        QCOMPARE(rig.landedIndex(), 2);
        QWheelEvent finger(QPointF(380, 100), QPointF(756, 100), QPoint(-70, 0), QPoint(-70, 0), Qt::NoButton,
                           Qt::NoModifier, Qt::ScrollBegin, false);
        QCoreApplication::sendEvent(&rig.panel(), &finger);
        QCOMPARE(rig.landedIndex(), 3);
    }
};

QTEST_MAIN(PagingTest)
#include "tst_paging.moc"
