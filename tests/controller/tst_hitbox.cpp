// labels: unit
// The hit box and the panel's input shape: what takes the pointer, and what lets it through.
#include "fakes/FakePanelWindowSystem.h"
#include "shell/NotchHitBox.h"
#include "shell/NotchPanel.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

using namespace tavrenhold;
using tavrenhold::test::FakePanelWindowSystem;

namespace {
// A panel of 760 × 412, the notch's 200 pt centred on its top edge at x = 380.
const QRectF bounds(0, 0, 760, 412);
const QRectF band(190, 0, 380, 134);
const QRectF popover(300, 60, 240, 260);
} // namespace

class HitBoxTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void hitTest_data()
    {
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<QPointF>("point");
        QTest::addColumn<bool>("armed");
        QTest::addColumn<bool>("hits");

        const QSizeF notch(200, 44); // spans x 280 … 480, y 0 … 44
        QTest::newRow("inside") << notch << QPointF(380, 20) << false << true;
        QTest::newRow("2 pt left") << notch << QPointF(278, 20) << false << true;
        QTest::newRow("3 pt left") << notch << QPointF(277, 20) << false << false;
        QTest::newRow("2 pt right") << notch << QPointF(482, 20) << false << true;
        QTest::newRow("3 pt right") << notch << QPointF(483, 20) << false << false;
        QTest::newRow("2 pt below") << notch << QPointF(380, 46) << false << true;
        QTest::newRow("3 pt below") << notch << QPointF(380, 47) << false << false;
        QTest::newRow("top edge") << notch << QPointF(280, 0) << false << true;

        // Before anything is measured only the 4 × 4 square round the top centre takes the pointer.
        const QSizeF none(0, 0);
        QTest::newRow("zero: centre") << none << QPointF(380, 0) << false << true;
        QTest::newRow("zero: square corner") << none << QPointF(382, 2) << false << true;
        QTest::newRow("zero: 3 pt right") << none << QPointF(383, 0) << false << false;
        QTest::newRow("zero: 3 pt left") << none << QPointF(377, 0) << false << false;
        QTest::newRow("zero: 3 pt down") << none << QPointF(380, 3) << false << false;

        // The band takes the pointer only while armed.
        QTest::newRow("band, armed") << notch << QPointF(200, 100) << true << true;
        QTest::newRow("band, not armed") << notch << QPointF(200, 100) << false << false;
        QTest::newRow("band's far corner, armed") << notch << QPointF(570, 134) << true << true;
        QTest::newRow("below the band, armed") << notch << QPointF(200, 135) << true << false;

        // An open popover takes the pointer, armed or not.
        QTest::newRow("popover") << notch << QPointF(500, 300) << false << true;
        QTest::newRow("popover's far corner") << notch << QPointF(540, 320) << false << true;
        QTest::newRow("just past the popover") << notch << QPointF(541, 300) << false << false;
    }
    void hitTest()
    {
        QFETCH(QSizeF, size);
        QFETCH(QPointF, point);
        QFETCH(bool, armed);
        QFETCH(bool, hits);
        NotchHitBox box;
        box.setSize(size);
        box.setDragBand(band);
        box.setDragArmed(armed);
        box.setPopover(popover);
        QCOMPARE(box.hitTest(point, bounds), hits);
        QCOMPARE(box.regions(bounds).contains(popover), true);
    }

    void notifiesOnlyOnChange()
    {
        NotchHitBox box;
        QSignalSpy changed(&box, &NotchHitBox::changed);
        box.setSize({200, 44});
        box.setSize({200, 44});
        box.setDragArmed(false);
        box.setDragBand(band);
        box.setDragBand(band);
        box.setPopover(popover);
        box.setPopover(popover);
        box.setPopover({});
        box.setPopover(QRectF(10, 10, 0, 0)); // an empty rectangle is no popover
        QCOMPARE(changed.count(), 4);
    }

    // The panel hands the hit box to the window system as its input shape, empty while it ignores
    // the mouse, and again whenever the box or the panel's size changes.
    void panelInputShapeFollowsHitBox()
    {
        FakePanelWindowSystem windows;
        NotchHitBox box;
        box.setSize({200, 44});
        box.setDragBand(band);
        NotchPanel panel(windows, box, bounds.size().toSize());
        QCOMPARE(windows.prepared, QList<QWindow *>{&panel}); // before the native window exists
        QVERIFY(windows.inputShapes.contains(&panel));
        QVERIFY(windows.inputShapes.value(&panel).isEmpty()); // made ignoring the mouse

        panel.setIgnoresMouseEvents(false);
        QCOMPARE(windows.inputShapes.value(&panel), QList<QRectF>{QRectF(278, -2, 204, 48)});

        box.setSize({520, 268});
        QCOMPARE(windows.inputShapes.value(&panel), QList<QRectF>{QRectF(118, -2, 524, 272)});

        box.setDragArmed(true);
        QCOMPARE(windows.inputShapes.value(&panel), (QList<QRectF>{QRectF(118, -2, 524, 272), band}));

        panel.setFrame(QRect(0, 0, 800, 412));
        QCOMPARE(windows.inputShapes.value(&panel).constFirst(), QRectF(138, -2, 524, 272));

        const int calls = windows.inputShapeCalls;
        panel.setIgnoresMouseEvents(true);
        QVERIFY(windows.inputShapes.value(&panel).isEmpty());
        box.setSize({200, 44}); // nothing to send while ignoring
        QCOMPARE(windows.inputShapeCalls, calls + 1);
    }

    void panelStateChangesOnlyOnChange()
    {
        FakePanelWindowSystem windows;
        NotchHitBox box;
        NotchPanel panel(windows, box, QSize(760, 412));
        QCOMPARE(panel.level(), NotchPanel::collapsedLevel);
        QCOMPARE(panel.scheme(), ColorScheme::dark);
        QVERIFY(!panel.wantsKey());

        QSignalSpy scheme(&panel, &NotchPanel::schemeChanged);
        panel.applyScheme(ColorScheme::dark);
        QCOMPARE(scheme.count(), 0);
        panel.applyScheme(ColorScheme::light);
        panel.applyScheme(ColorScheme::light);
        QCOMPARE(scheme.count(), 1);

        // The keyboard only while wanted.
        panel.makeKey();
        QCOMPARE(windows.takeFocusCalls, 0);
        panel.setWantsKey(true);
        panel.makeKey();
        QVERIFY(panel.isKey());

        // Rising to the expanded level puts a shown panel above all windows.
        panel.orderFront();
        const qsizetype raised = windows.raised.count();
        panel.setLevel(NotchPanel::expandedLevel);
        QCOMPARE(windows.raised.count(), raised + 1);
        panel.setLevel(NotchPanel::expandedLevel);
        QCOMPARE(windows.raised.count(), raised + 1);

        panel.orderOut();
        QVERIFY(!panel.isVisible());
        QVERIFY(!panel.isKey()); // handed away before hiding
    }
};

QTEST_MAIN(HitBoxTest)
#include "tst_hitbox.moc"
