// labels: unit
// Paging between panes over the open panel: wheel notches (one step per 0.22 s, every vertical one
// swallowed) and trackpad swipes (one step per gesture after 60 pt, momentum swallowed but adding no
// travel). Scrolls come as X11 delivers them: without phases, touchpads under libinput with angle
// deltas only, under synaptics with pixel deltas too; a pause in the events ends a swipe.
#include "ControllerRig.h"

#include <QGuiApplication>
#include <QPointingDevice>
#include <QTest>
#include <QWheelEvent>

#include <optional>
#include <vector>

using namespace tavrenhold;
using namespace tavrenhold::test;

namespace {
// How a touchpad driver reports a scroll of so many points of finger travel.
struct Driver {
    enum Device { touchpad, unnamed };
    Device device = touchpad; // unnamed: a device X11 does not tell to be a touchpad
    double anglePerPoint = 0; // libinput: eight eighths of a degree per point; none: no angle deltas
    bool pixels = false;      // pixel deltas too (synaptics), or only (where the angle is none)
};
} // namespace

Q_DECLARE_METATYPE(Driver)

namespace {
// The devices live as long as the application, which owns them.
const QPointingDevice &touchpadDevice()
{
    static const auto *device = new QPointingDevice(
        QStringLiteral("SYNA2B31:00 06CB:CD3E Touchpad"), 12, QInputDevice::DeviceType::TouchPad,
        QPointingDevice::PointerType::Finger, QInputDevice::Capability::Position | QInputDevice::Capability::Scroll,
        5, 1, QString(), QPointingDeviceUniqueId(), QCoreApplication::instance());
    return *device;
}
const QPointingDevice &mouseDevice()
{
    static const auto *device = new QPointingDevice(
        QStringLiteral("Logitech USB Receiver Mouse"), 13, QInputDevice::DeviceType::Mouse,
        QPointingDevice::PointerType::Generic, QInputDevice::Capability::Position | QInputDevice::Capability::Scroll,
        1, 5, QString(), QPointingDeviceUniqueId(), QCoreApplication::instance());
    return *device;
}

// The event X11 delivers: no phase, positions over the panel.
QWheelEvent x11Wheel(QPoint pixels, QPoint angle, const QPointingDevice &device, bool inverted = false)
{
    return QWheelEvent(QPointF(380, 100), QPointF(756, 100), pixels, angle, Qt::NoButton, Qt::NoModifier,
                       Qt::NoScrollPhase, inverted, Qt::MouseEventNotSynthesized, &device);
}

// One touchpad scroll of (x, y) points of finger travel, in the driver's shape.
QWheelEvent touchpadScroll(const Driver &driver, int x, int y)
{
    const QPoint pixels = driver.pixels ? QPoint(x, y) : QPoint();
    const QPoint angle(qRound(x * driver.anglePerPoint), qRound(y * driver.anglePerPoint));
    return x11Wheel(pixels, angle, driver.device == Driver::touchpad ? touchpadDevice() : mouseDevice());
}

// A quick two-finger flick as libinput reports it, about 80 events a second: it speeds up and slows
// down, and some of its steps are whole notches in angle (15 and 30 points).
const std::vector<int> flick{4, 9, 15, 22, 30, 30, 30, 28, 25, 20, 15, 11, 7, 4, 2, 1,
                             3, 8, 15, 24, 30, 30, 27, 22, 16, 11, 6, 3, 1};
constexpr int flickSpacingMs = 12;

// The default order: usage, music, clipboard, notes, drop, focus.
struct PagingRig : ControllerRig {
    explicit PagingRig(PaneID landed = PaneID::music)
    {
        shell.addAllPanes();
        start();
        controller->present(landed);
    }
    [[nodiscard]] int landedIndex() const { return model().landedIndex(); }
    bool send(const QWheelEvent &event) { return controller->handleScroll(ScrollEvent::from(event)); }
    // A mouse wheel turned by whole notches (120 eighths of a degree each).
    bool wheel(int notchesX, int notchesY, bool inverted = false)
    {
        return send(x11Wheel({}, {notchesX * 120, notchesY * 120}, mouseDevice(), inverted));
    }
    // A phased scroll, as platforms that tell a gesture's beginning send it.
    bool swipe(double dx, double dy = 0, bool began = false, bool momentum = false)
    {
        return controller->handleScroll({.dx = dx, .dy = dy, .precise = true, .began = began, .momentum = momentum});
    }
    // A flick along `direction` ((±1, 0) or (0, ±1)) at the driver's pace; true when every event was
    // swallowed, false when none was (mixed answers fail the test).
    std::optional<bool> flickWith(const Driver &driver, QPoint direction)
    {
        int swallowed = 0;
        for (int travel : flick) {
            advance(flickSpacingMs);
            swallowed += send(touchpadScroll(driver, direction.x() * travel, direction.y() * travel)) ? 1 : 0;
        }
        if (swallowed == 0)
            return false;
        if (swallowed == int(flick.size()))
            return true;
        return std::nullopt;
    }
};

// One row per touchpad driver shape X11 delivers.
void addDriverRows()
{
    QTest::addColumn<Driver>("driver");
    QTest::newRow("libinput, touchpad device") << Driver{Driver::touchpad, 8, false};
    QTest::newRow("libinput, device not named a touchpad") << Driver{Driver::unnamed, 8, false};
    QTest::newRow("synaptics, pixel and angle deltas") << Driver{Driver::touchpad, 1.2, true};
    QTest::newRow("pixel deltas only") << Driver{Driver::unnamed, 0, true};
}
} // namespace

class PagingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { isolateUserFolders(); }

    // Wheel notches, as X11 sends them: whole multiples of 120 in angle, no pixels, no phase.
    void wheel_data()
    {
        QTest::addColumn<int>("notchesX");
        QTest::addColumn<int>("notchesY");
        QTest::addColumn<bool>("inverted");
        QTest::addColumn<bool>("swallowed");
        QTest::addColumn<int>("step");
        QTest::newRow("down") << 0 << -1 << false << true << 1;
        QTest::newRow("up") << 0 << 1 << false << true << -1;
        QTest::newRow("two notches up, one step") << 0 << 2 << false << true << -1;
        QTest::newRow("natural scrolling, fingers up") << 0 << 1 << true << true << 1;
        QTest::newRow("mostly vertical") << 1 << -2 << false << true << 1;
        QTest::newRow("horizontal passes") << 1 << 0 << false << false << 0;
        QTest::newRow("mostly horizontal passes") << -2 << 1 << false << false << 0;
        QTest::newRow("no movement passes") << 0 << 0 << false << false << 0;
    }
    void wheel()
    {
        QFETCH(int, notchesX);
        QFETCH(int, notchesY);
        QFETCH(bool, inverted);
        QFETCH(bool, swallowed);
        QFETCH(int, step);
        PagingRig rig;
        QCOMPARE(rig.wheel(notchesX, notchesY, inverted), swallowed);
        QCOMPARE(rig.landedIndex(), 1 + step);
    }

    void wheelStepsAtMostOncePer220ms()
    {
        PagingRig rig;
        QVERIFY(rig.wheel(0, -1));
        QCOMPARE(rig.landedIndex(), 2);
        QVERIFY(rig.wheel(0, -1)); // swallowed without a step
        rig.advance(220);
        QVERIFY(rig.wheel(0, -1));
        QCOMPARE(rig.landedIndex(), 2);
        rig.advance(1);
        QVERIFY(rig.wheel(0, -1));
        QCOMPARE(rig.landedIndex(), 3);
    }

    void noStepPastEitherEnd()
    {
        PagingRig first(PaneID::usage);
        QVERIFY(first.wheel(0, 1));
        QCOMPARE(first.model().landed(), PaneID::usage);
        PagingRig last(PaneID::focus);
        QVERIFY(last.send(touchpadScroll({Driver::touchpad, 8, false}, -80, 0)));
        QCOMPARE(last.model().landed(), PaneID::focus);
    }

    void collapsedScrollsPassThrough()
    {
        ControllerRig rig;
        rig.shell.addAllPanes();
        rig.start();
        QVERIFY(!rig.controller->handleScroll({.dy = -15}));
        QVERIFY(!rig.controller->handleScroll(ScrollEvent::from(x11Wheel({}, {-640, 0}, touchpadDevice()))));
        QCOMPARE(rig.phase(), NotchPhase::idle);
    }

    // Each touchpad shape is a trackpad's scroll, whatever its deltas; whole wheel notches are not.
    void touchpadShapesAreRecognised_data()
    {
        QTest::addColumn<QPoint>("pixels");
        QTest::addColumn<QPoint>("angle");
        QTest::addColumn<bool>("touchpad");
        QTest::addColumn<bool>("precise");
        QTest::newRow("wheel notch") << QPoint() << QPoint(0, -120) << false << false;
        QTest::newRow("two wheel notches") << QPoint() << QPoint(0, 240) << false << false;
        QTest::newRow("libinput touchpad, a whole notch's angle") << QPoint() << QPoint(-120, 0) << true << true;
        QTest::newRow("libinput, unnamed device") << QPoint() << QPoint(-72, 8) << false << true;
        QTest::newRow("synaptics") << QPoint(-40, 0) << QPoint(-48, 0) << true << true;
        QTest::newRow("pixel deltas only") << QPoint(-40, 0) << QPoint() << false << true;
    }
    void touchpadShapesAreRecognised()
    {
        QFETCH(QPoint, pixels);
        QFETCH(QPoint, angle);
        QFETCH(bool, touchpad);
        const ScrollEvent event = ScrollEvent::from(x11Wheel(pixels, angle, touchpad ? touchpadDevice() : mouseDevice()));
        QTEST(event.precise, "precise");
        QVERIFY(!event.began && !event.ended && !event.momentum);
        // Points of travel: the pixels where there are any, else the angle's eighths.
        const QPointF travel = pixels.isNull() ? QPointF(angle) / 8.0 : QPointF(pixels);
        QCOMPARE(QPointF(event.dx, event.dy), travel);
    }

    // A long flick of the fingers (hundreds of points, no phases) steps exactly one pane.
    void longFlickStepsOnePane_data() { addDriverRows(); }
    void longFlickStepsOnePane()
    {
        QFETCH(Driver, driver);
        PagingRig rig;
        QCOMPARE(rig.flickWith(driver, {-1, 0}), std::optional(true));
        QCOMPARE(rig.landedIndex(), 2);
        // The other way, after a pause: one step back.
        rig.advance(500);
        QCOMPARE(rig.flickWith(driver, {1, 0}), std::optional(true));
        QCOMPARE(rig.landedIndex(), 1);
    }

    // A vertical two-finger flick is no wheel: it passes to the content and steps nothing.
    void verticalFlickPasses_data() { addDriverRows(); }
    void verticalFlickPasses()
    {
        QFETCH(Driver, driver);
        PagingRig rig;
        QCOMPARE(rig.flickWith(driver, {0, -1}), std::optional(false));
        QCOMPARE(rig.flickWith(driver, {0, 1}), std::optional(false));
        QCOMPARE(rig.landedIndex(), 1);
    }

    // Without phases, a pause longer than the gap ends a swipe: two swipes step two panes, while a
    // pause no longer than the gap keeps one swipe going.
    void gapEndsTheSwipe_data() { addDriverRows(); }
    void gapEndsTheSwipe()
    {
        QFETCH(Driver, driver);
        const int gap = int(NotchController::swipeGap.count());
        PagingRig rig;
        QVERIFY(rig.send(touchpadScroll(driver, -40, 0)));
        QVERIFY(rig.send(touchpadScroll(driver, -30, 0))); // 70 pt
        QCOMPARE(rig.landedIndex(), 2);
        rig.advance(gap);
        QVERIFY(rig.send(touchpadScroll(driver, -70, 0))); // the same swipe still
        QCOMPARE(rig.landedIndex(), 2);
        rig.advance(gap + 1);
        QVERIFY(rig.send(touchpadScroll(driver, -50, 0))); // a new swipe, 50 pt so far
        QCOMPARE(rig.landedIndex(), 2);
        rig.advance(gap);
        QVERIFY(rig.send(touchpadScroll(driver, -10, 0)));
        QCOMPARE(rig.landedIndex(), 3);
        // Travel of an ended swipe counts no more: 50 pt, a pause, then 50 pt steps nothing.
        rig.advance(gap + 1);
        rig.send(touchpadScroll(driver, 50, 0));
        rig.advance(gap + 1);
        rig.send(touchpadScroll(driver, 50, 0));
        QCOMPARE(rig.landedIndex(), 3);
    }

    // A touchpad's scroll right after a swipe is the trackpad's, even when its angle is a whole notch:
    // it neither steps as a wheel nor passes to the content.
    void wholeNotchInsideASwipeIsTheTrackpads()
    {
        PagingRig rig;
        const Driver unnamed{Driver::unnamed, 8, false};
        QVERIFY(rig.send(touchpadScroll(unnamed, -4, 0)));
        rig.advance(flickSpacingMs);
        QVERIFY(rig.send(touchpadScroll(unnamed, -15, 0))); // angle -120
        rig.advance(flickSpacingMs);
        QVERIFY(!rig.send(touchpadScroll(unnamed, 0, -15))); // vertical: passes, no wheel step
        QCOMPARE(rig.landedIndex(), 1);
        rig.advance(flickSpacingMs);
        QVERIFY(rig.send(touchpadScroll(unnamed, -45, 0))); // angle -360: 64 pt in all
        QCOMPARE(rig.landedIndex(), 2);
        // Long after the swipe a whole notch is the wheel's again.
        rig.advance(1000);
        QVERIFY(rig.send(x11Wheel({}, {0, -120}, mouseDevice())));
        QCOMPARE(rig.landedIndex(), 3);
    }

    // Where the system tells a gesture's beginning and end, those bound it; no pause is needed.
    void phasedSwipes()
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
        // The next gesture, the other way, at once.
        QVERIFY(rig.swipe(30, 0, true));
        QVERIFY(rig.swipe(30));
        QCOMPARE(rig.landedIndex(), 1);
        // A gesture that ends: the next one steps again, though no time passed and it tells no
        // beginning.
        QVERIFY(rig.controller->handleScroll({.dx = -5, .precise = true, .ended = true}));
        QCOMPARE(rig.landedIndex(), 1);
        QVERIFY(rig.swipe(-70));
        QCOMPARE(rig.landedIndex(), 2);
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
        QWheelEvent notch = x11Wheel({}, {0, -120}, mouseDevice());
        QCoreApplication::sendEvent(&rig.panel(), &notch);
        QVERIFY(notch.isAccepted());
        QCOMPARE(rig.landedIndex(), 2);
        QWheelEvent finger = x11Wheel({}, {-560, 0}, touchpadDevice());
        QCoreApplication::sendEvent(&rig.panel(), &finger);
        QVERIFY(finger.isAccepted());
        QCOMPARE(rig.landedIndex(), 3);
    }
};

QTEST_MAIN(PagingTest)
#include "tst_paging.moc"
