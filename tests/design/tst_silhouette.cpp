#include "design/NotchSilhouette.h"

#include <QTest>

#include <limits>

using tavrenhold::NotchSilhouette;

namespace {
bool inside(const NotchSilhouette &s, const QRectF &r, double x, double y) { return s.path(r).contains(QPointF(x, y)); }
} // namespace

class SilhouetteTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Points probed inside a 300 x 44 rectangle with flare 8 and bottom radius 17.
    void collapsedOutline_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        QTest::addColumn<bool>("in");
        QTest::newRow("centre") << 150.0 << 22.0 << true;
        QTest::newRow("top edge beside the flare") << 4.0 << 0.5 << true;      // the full-width top edge
        QTest::newRow("flare's hollow") << 1.0 << 7.0 << false;              // below the concave fillet
        QTest::newRow("flare near the body") << 7.8 << 2.0 << true;
        QTest::newRow("left of the body, low") << 4.0 << 30.0 << false;
        QTest::newRow("body's bottom-left corner cut") << 9.0 << 43.0 << false;
        QTest::newRow("inside the bottom curve") << 25.0 << 40.0 << true;
        QTest::newRow("right flare's hollow") << 299.0 << 7.0 << false;
        QTest::newRow("right top edge") << 296.0 << 0.5 << true;
        QTest::newRow("body's right side") << 291.0 << 20.0 << true;
        QTest::newRow("below") << 150.0 << 44.5 << false;
    }
    void collapsedOutline()
    {
        QFETCH(double, x);
        QFETCH(double, y);
        QFETCH(bool, in);
        QCOMPARE(inside(NotchSilhouette{8, 17}, QRectF(0, 0, 300, 44), x, y), in);
    }

    void flareShrinksToTheRectangle()
    {
        // Narrower than two flares: the flares meet in the middle and the body has no width.
        const NotchSilhouette wide{40, 10};
        const QRectF narrow(0, 0, 30, 44);
        QVERIFY(inside(wide, narrow, 14.5, 1.0));   // the two flares meet at x = 15
        QVERIFY(inside(wide, narrow, 15.5, 1.0));
        QVERIFY(!inside(wide, narrow, 15.0, 30.0)); // no body below them
        QVERIFY(!inside(wide, narrow, 1.0, 14.0));  // hollow of a 15-point flare
        // Lower than the flare: the flare shrinks to the height.
        const QRectF low(0, 0, 300, 5);
        const NotchSilhouette lowFlare{40, 0};
        QCOMPARE(lowFlare.path(low).boundingRect(), low);
        QVERIFY(!inside(lowFlare, low, 0.5, 4.5)); // hollow of a 5-point flare
        QVERIFY(inside(lowFlare, low, 5.5, 4.5));  // the body starts 5 points in
    }

    void noFlareIsTheBodyAlone_data()
    {
        QTest::addColumn<double>("flare");
        QTest::newRow("zero") << 0.0;
        QTest::newRow("negative") << -3.0;
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN();
    }
    void noFlareIsTheBodyAlone()
    {
        QFETCH(double, flare);
        const NotchSilhouette s{flare, 10};
        const QRectF r(0, 0, 200, 32);
        QCOMPARE(s.path(r).boundingRect(), r);
        QVERIFY(inside(s, r, 0.5, 1.0));   // square top corner
        QVERIFY(!inside(s, r, 0.5, 31.5)); // rounded bottom corner
    }

    void squareBottomWithZeroRadius()
    {
        const NotchSilhouette s{8, 0};
        const QRectF r(0, 0, 200, 32);
        QVERIFY(inside(s, r, 8.5, 31.5));
        QVERIFY(inside(s, r, 191.5, 31.5));
    }

    void svgDescribesTheSamePath()
    {
        const NotchSilhouette s{15, 32};
        const QString d = s.svgPath(QRectF(0, 0, 520, 268));
        QVERIFY(d.startsWith("M "));
        QCOMPARE(d.count('M'), 3); // body and two flares
        QCOMPARE(d.count('Z'), 3);
        const NotchSilhouette none{0, 0};
        QVERIFY(none.svgPath(QRectF()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(SilhouetteTest)
#include "tst_silhouette.moc"
