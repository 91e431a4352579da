// labels: unit
#include "platform/x11/NativeMapping.h"

#include <QTest>

using namespace tavrenhold::platform::x11;

Q_DECLARE_METATYPE(std::vector<ScreenScale>)

namespace {
// Qt keeps each screen's top-left corner in native pixels and scales from there.
const ScreenScale laptop{QRect(0, 0, 1008, 654), 1.5};         // native 1512 × 981 at (0, 0)
const ScreenScale monitor{QRect(1512, 0, 1920, 1080), 1};      // native at (1512, 0)
const ScreenScale sharpMonitor{QRect(1512, 0, 960, 540), 2};   // native 1920 × 1080 at (1512, 0)
} // namespace

class NativeMappingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void points_data()
    {
        QTest::addColumn<std::vector<ScreenScale>>("screens");
        QTest::addColumn<QPoint>("native");
        QTest::addColumn<QPointF>("logical");
        QTest::newRow("unscaled") << std::vector{ScreenScale{QRect(0, 0, 1512, 982), 1}} << QPoint(100, 50)
                                  << QPointF(100, 50);
        QTest::newRow("scaled") << std::vector{laptop} << QPoint(300, 150) << QPointF(200, 100);
        QTest::newRow("second screen unscaled") << std::vector{laptop, monitor} << QPoint(1600, 100)
                                                << QPointF(1600, 100);
        QTest::newRow("first screen's right edge") << std::vector{laptop, monitor} << QPoint(1500, 15)
                                                   << QPointF(1000, 10);
        QTest::newRow("second screen scaled from its own corner")
            << std::vector{laptop, sharpMonitor} << QPoint(1712, 100) << QPointF(1612, 50);
        QTest::newRow("outside every screen: the first one's scale")
            << std::vector{laptop, monitor} << QPoint(-30, 0) << QPointF(-20, 0);
        QTest::newRow("no screens") << std::vector<ScreenScale>{} << QPoint(7, 9) << QPointF(7, 9);
    }

    void points()
    {
        QFETCH(std::vector<ScreenScale>, screens);
        QFETCH(QPoint, native);
        QFETCH(QPointF, logical);
        QCOMPARE(NativeMapping(screens).toLogical(native), logical);
    }

    void rectanglesGoWithTheScreenOfTheirCentre()
    {
        const NativeMapping mapping({laptop, sharpMonitor});
        QCOMPARE(mapping.toLogical(QRect(300, 150, 600, 300)), QRectF(200, 100, 400, 200));
        // A full-screen window of the second screen.
        QCOMPARE(mapping.toLogical(QRect(1512, 0, 1920, 1080)), QRectF(1512, 0, 960, 540));
    }
};

QTEST_GUILESS_MAIN(NativeMappingTest)
#include "tst_nativemapping.moc"
