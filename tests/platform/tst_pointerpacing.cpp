// labels: unit
// How long a pointer monitor leaves motion unwatched after a report: a frame where the pointer
// matters, and far away the time the pointer needs to come back, so it is never read late there.
#include "platform/PointerPacing.h"

#include <QTest>

using namespace tavrenhold::platform;
using namespace std::chrono_literals;

class PointerPacingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rest_data()
    {
        QTest::addColumn<QRectF>("area");
        QTest::addColumn<QPointF>("position");
        QTest::addColumn<Qt::MouseButtons>("buttons");
        QTest::addColumn<qint64>("ms");
        // The notch's attention area while collapsed on a 1512 px wide screen.
        const QRectF area(576, 0, 360, 200);
        const Qt::MouseButtons none = Qt::NoButton;
        QTest::newRow("inside") << area << QPointF(700, 40) << none << qint64(17);
        QTest::newRow("on the edge") << area << QPointF(936, 200) << none << qint64(17);
        QTest::newRow("just outside: the shortest far rest") << area << QPointF(700, 230) << none << qint64(200);
        QTest::newRow("600 px below: half a second") << area << QPointF(700, 800) << none << qint64(500);
        QTest::newRow("diagonal: distance to the corner") << area << QPointF(936 + 480, 200 + 360) << none
                                                          << qint64(500);
        QTest::newRow("left of the area") << area << QPointF(0, 100) << none << qint64(480);
        QTest::newRow("very far: the longest") << area << QPointF(5000, 4000) << none << qint64(800);
        QTest::newRow("a button held far away") << area << QPointF(700, 800) << Qt::MouseButtons(Qt::LeftButton)
                                                << qint64(17);
        QTest::newRow("no area: everywhere matters") << QRectF() << QPointF(700, 800) << none << qint64(17);
    }
    void rest()
    {
        QFETCH(QRectF, area);
        QFETCH(QPointF, position);
        QFETCH(Qt::MouseButtons, buttons);
        QFETCH(qint64, ms);
        QCOMPARE(pointerpacing::rest(PointerState{position, buttons}, area).count(), ms);
    }
};

QTEST_APPLESS_MAIN(PointerPacingTest)

#include "tst_pointerpacing.moc"
