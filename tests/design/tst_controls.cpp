// labels: qml
#include "QuickHarness.h"

#include "design/Controls.h"
#include "design/HitMask.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>

#include <cmath>
#include <limits>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)

using tavrenhold::ColorScheme;
using tavrenhold::ColorToken;
using tavrenhold::Style;
using tavrenhold::test::QuickHarness;
using tavrenhold::test::StepDriver;
namespace controls = tavrenhold::controls;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Colours compared as drawn: premultiplied, so the hue of a nearly clear pixel does not count.
bool close(const QColor &a, const QColor &b, int tolerance = 2)
{
    const QRgb pa = qPremultiply(a.rgba());
    const QRgb pb = qPremultiply(b.rgba());
    return std::abs(qRed(pa) - qRed(pb)) <= tolerance && std::abs(qGreen(pa) - qGreen(pb)) <= tolerance &&
           std::abs(qBlue(pa) - qBlue(pb)) <= tolerance && std::abs(qAlpha(pa) - qAlpha(pb)) <= tolerance;
}

QString describe(const QColor &c)
{
    return QStringLiteral("rgba(%1, %2, %3, %4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha());
}

QColor dark(ColorToken token)
{
    return Style::color(token, ColorScheme::dark);
}

QColor at(QColor color, double opacity)
{
    color.setAlphaF(float(color.alphaF() * opacity));
    return color;
}

// `top` drawn over `bottom`, straight alpha.
QColor over(const QColor &top, const QColor &bottom)
{
    const double a = top.alphaF() + bottom.alphaF() * (1 - top.alphaF());
    if (a <= 0)
        return QColor(0, 0, 0, 0);
    const auto channel = [&](double t, double b) {
        return (t * top.alphaF() + b * bottom.alphaF() * (1 - top.alphaF())) / a;
    };
    return QColor::fromRgbF(float(channel(top.redF(), bottom.redF())), float(channel(top.greenF(), bottom.greenF())),
                            float(channel(top.blueF(), bottom.blueF())), float(a));
}

// The drawn height of the column of pixels at x: the rows whose alpha is above `threshold`.
int columnHeight(const QImage &image, int x, int threshold = 20)
{
    int rows = 0;
    for (int y = 0; y < image.height(); ++y)
        rows += image.pixelColor(x, y).alpha() > threshold ? 1 : 0;
    return rows;
}

} // namespace

class ControlsTest : public QObject {
    Q_OBJECT

    StepDriver m_driver;
    std::unique_ptr<QuickHarness> m_quick;

    QQuickItem *child(const char *name) { return m_quick->item()->property(name).value<QQuickItem *>(); }
    QWindow *window() { return &m_quick->window(); }

    // A NotchButton (symbol 16, so a 30-point circle) at (10, 10), counting its taps.
    bool loadButton(bool selected)
    {
        m_quick->appearance.setReduceMotion(true);
        return m_quick->load(QStringLiteral("Item {\n"
                                            "  id: root\n"
                                            "  property int taps: 0\n"
                                            "  property alias button: button\n"
                                            "  NotchButton {\n"
                                            "    id: button; x: 10; y: 10; symbol: \"music.note\"; size: 16\n"
                                            "    isSelected: %1\n"
                                            "    action: () => root.taps += 1\n"
                                            "  }\n"
                                            "}")
                                 .arg(selected ? "true" : "false")
                                 .toUtf8(),
                             {50, 50});
    }

private Q_SLOTS:
    void initTestCase() { m_driver.install(); }
    void init() { m_quick = std::make_unique<QuickHarness>(); }
    void cleanup() { m_quick.reset(); }

    // Selected, the button is onActive on fillActive, hovered or not; unselected, hovering brings
    // the ink to full strength and shows the fill behind it.
    void buttonColours_data()
    {
        QTest::addColumn<bool>("selected");
        QTest::addColumn<bool>("hover");
        QTest::addColumn<QColor>("foreground");
        QTest::addColumn<QColor>("background");
        const QColor clear = at(dark(ColorToken::fill), 0);
        QTest::newRow("idle") << false << false << at(dark(ColorToken::ink), 0.86) << clear;
        QTest::newRow("hovered") << false << true << dark(ColorToken::ink) << dark(ColorToken::fill);
        QTest::newRow("selected") << true << false << dark(ColorToken::onActive) << dark(ColorToken::fillActive);
        QTest::newRow("selected, hovered") << true << true << dark(ColorToken::onActive)
                                           << dark(ColorToken::fillActive);
    }
    void buttonColours()
    {
        QFETCH(bool, selected);
        QFETCH(bool, hover);
        QFETCH(QColor, foreground);
        QFETCH(QColor, background);
        QVERIFY(loadButton(selected));
        QQuickItem *button = child("button");
        QTest::mouseMove(window(), QPoint(1, 1)); // a move to where the pointer already is goes unseen
        if (hover)
            QTest::mouseMove(window(), QPoint(25, 25));
        QTRY_COMPARE(button->property("hovering").toBool(), hover);
        QVERIFY(close(button->property("foregroundColor").value<QColor>(), foreground, 1));
        QVERIFY(close(button->property("backgroundColor").value<QColor>(), background, 1));

        // Drawn: the circle beside the symbol (which fills the middle 16 points).
        const QImage image = m_quick->grab();
        const QColor circle = image.pixelColor(25, 13);
        QVERIFY2(close(circle, background), qPrintable(describe(circle) + " vs " + describe(background)));
        // Somewhere the symbol's solid ink lies on the circle.
        const QColor solid = over(foreground, background);
        bool symbolDrawn = false;
        for (int x = 17; x < 33 && !symbolDrawn; ++x) {
            for (int y = 17; y < 33 && !symbolDrawn; ++y)
                symbolDrawn = close(image.pixelColor(x, y), solid);
        }
        QVERIFY(symbolDrawn);
    }

    // A tap anywhere in the circle calls the action once, even with the background invisible; the
    // corners of the frame outside the circle take nothing.
    void buttonTaps_data()
    {
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<int>("taps");
        QTest::newRow("centre") << QPoint(25, 25) << 1;
        QTest::newRow("inside the circle's edge") << QPoint(25, 12) << 1;
        QTest::newRow("frame corner") << QPoint(12, 12) << 0;
        QTest::newRow("outside") << QPoint(45, 45) << 0;
    }
    void buttonTaps()
    {
        QFETCH(QPoint, point);
        QFETCH(int, taps);
        QVERIFY(loadButton(false));
        QTest::mouseMove(window(), QPoint(1, 1));
        QTest::mouseClick(window(), Qt::LeftButton, {}, point);
        QCoreApplication::processEvents();
        QCOMPARE(m_quick->item()->property("taps").toInt(), taps);
    }

    // A capsule mask (a pill's) takes its straight middle and its round ends, not the corners beside
    // the ends; an item without a size takes nothing.
    void capsuleMask_data()
    {
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<QPointF>("point");
        QTest::addColumn<bool>("inside");
        QTest::newRow("middle") << QSizeF(80, 24) << QPointF(40, 12) << true;
        QTest::newRow("straight edge") << QSizeF(80, 24) << QPointF(40, 0.5) << true;
        QTest::newRow("round end") << QSizeF(80, 24) << QPointF(1, 12) << true;
        QTest::newRow("corner beside the end") << QSizeF(80, 24) << QPointF(2, 2) << false;
        QTest::newRow("far corner") << QSizeF(80, 24) << QPointF(78, 22) << false;
        QTest::newRow("outside") << QSizeF(80, 24) << QPointF(81, 12) << false;
        QTest::newRow("tall: round top") << QSizeF(24, 80) << QPointF(12, 1) << true;
        QTest::newRow("tall: corner") << QSizeF(24, 80) << QPointF(1, 1) << false;
        QTest::newRow("no size") << QSizeF(0, 0) << QPointF(0, 0) << false;
    }
    void capsuleMask()
    {
        QFETCH(QSizeF, size);
        QFETCH(QPointF, point);
        QFETCH(bool, inside);
        tavrenhold::HitCapsule mask;
        mask.setWidth(size.width());
        mask.setHeight(size.height());
        QCOMPARE(mask.contains(point), inside);
    }

    // Pressing shrinks the button; a small wobble keeps the press and still taps; dragging more
    // than 10 points lets go before the release (even inside the circle), and that release taps
    // nothing.
    void buttonPressAndDrag()
    {
        QVERIFY(loadButton(true));
        QQuickItem *button = child("button");
        const auto taps = [this] { return m_quick->item()->property("taps").toInt(); };
        const auto edgeAlpha = [this] { return m_quick->grab().pixelColor(25, 11).alpha(); };
        QVERIFY(edgeAlpha() > 200); // the selected circle reaches the frame's top

        QTest::mousePress(window(), Qt::LeftButton, {}, QPoint(25, 25));
        QTRY_VERIFY(button->property("pressed").toBool());
        QCOMPARE(edgeAlpha(), 0); // shrunk to 0.86 about the centre
        QTest::mouseMove(window(), QPoint(28, 29));
        QCoreApplication::processEvents();
        QVERIFY(button->property("pressed").toBool());
        QTest::mouseRelease(window(), Qt::LeftButton, {}, QPoint(28, 29));
        QTRY_COMPARE(taps(), 1);
        QVERIFY(!button->property("pressed").toBool());

        QTest::mousePress(window(), Qt::LeftButton, {}, QPoint(25, 13), 500);
        QTRY_VERIFY(button->property("pressed").toBool());
        QTest::mouseMove(window(), QPoint(25, 37));
        QTRY_VERIFY(!button->property("pressed").toBool());
        QVERIFY(edgeAlpha() > 200);
        QTest::mouseRelease(window(), Qt::LeftButton, {}, QPoint(25, 37));
        QCoreApplication::processEvents();
        QCOMPARE(taps(), 1);
    }

    // Hover and selection move with Motion.tap, and at once under reduced motion.
    void buttonMotion()
    {
        QVERIFY(loadButton(false));
        QQuickItem *button = child("button");
        button->setProperty("isSelected", true);
        QCOMPARE(button->property("backgroundColor").value<QColor>().rgba(), dark(ColorToken::fillActive).rgba());

        m_quick->appearance.setReduceMotion(false);
        button->setProperty("isSelected", false);
        m_quick->advance(m_driver, 48);
        const double selection = button->property("selection").toDouble();
        QVERIFY2(selection > 0 && selection < 1, qPrintable(QString::number(selection)));
        m_quick->advance(m_driver, 1000);
        QCOMPARE(button->property("selection").toDouble(), 0.0);
    }

    // Only an interactive tile reacts to hover.
    void tileHover_data()
    {
        QTest::addColumn<bool>("interactive");
        QTest::newRow("interactive") << true;
        QTest::newRow("not interactive") << false;
    }
    void tileHover()
    {
        QFETCH(bool, interactive);
        m_quick->appearance.setReduceMotion(true);
        QVERIFY(m_quick->load(QStringLiteral("Item {\n"
                                             "  property alias tile: tile\n"
                                             "  NotchTile {\n"
                                             "    id: tile; interactive: %1\n"
                                             "    Item { implicitWidth: 60; implicitHeight: 20 }\n"
                                             "  }\n"
                                             "}")
                                  .arg(interactive ? "true" : "false")
                                  .toUtf8(),
                              {100, 60}));
        QQuickItem *tile = child("tile");
        // The content padded 12 by 9.
        QCOMPARE(tile->width(), 84.0);
        QCOMPARE(tile->height(), 38.0);
        QVERIFY(close(m_quick->grab().pixelColor(40, 19), dark(ColorToken::fill)));

        QTest::mouseMove(window(), QPoint(95, 55));
        QTest::mouseMove(window(), QPoint(40, 19));
        const QColor expected = dark(interactive ? ColorToken::fillHover : ColorToken::fill);
        QTRY_COMPARE(tile->property("hovering").toBool(), interactive);
        QVERIFY(close(tile->property("fillColor").value<QColor>(), expected, 1));
        QVERIFY(close(m_quick->grab().pixelColor(40, 19), expected));
    }

    // The track and the fill stand out with prominence: 0.1 and 0.55 at 0, 0.2 and 1 at 1.
    void progressProminence_data()
    {
        QTest::addColumn<double>("prominence");
        QTest::addColumn<double>("track");
        QTest::addColumn<double>("fill");
        QTest::newRow("0") << 0.0 << 0.1 << 0.55;
        QTest::newRow("1") << 1.0 << 0.2 << 1.0;
    }
    void progressProminence()
    {
        QFETCH(double, prominence);
        QFETCH(double, track);
        QFETCH(double, fill);
        m_quick->appearance.setReduceMotion(true);
        QVERIFY(m_quick->load(QStringLiteral("NotchProgress { value: 0.25; tint: \"#2060ff\"; prominence: %1 }")
                                  .arg(prominence)
                                  .toUtf8(),
                              {200, 6}));
        QQuickItem *bar = m_quick->item();
        QCOMPARE(bar->property("trackOpacity").toDouble(), track);
        QCOMPARE(bar->property("fillOpacity").toDouble(), fill);
        QCOMPARE(bar->property("fillWidth").toDouble(), 50.0);

        const QImage image = m_quick->grab();
        // Inside the fill: the tint over the track; past it, the track alone.
        const QColor inked = at(dark(ColorToken::ink), track);
        QVERIFY2(close(image.pixelColor(150, 3), inked), qPrintable(describe(image.pixelColor(150, 3))));
        const QColor filled = image.pixelColor(25, 3);
        const double alpha = fill + inked.alphaF() * (1 - fill);
        QVERIFY2(std::abs(filled.alphaF() - alpha) < 0.02, qPrintable(describe(filled)));
        QVERIFY(filled.blue() > filled.red() + 100);
        QCOMPARE(image.pixelColor(52, 3).blue() < filled.blue(), true);
    }

    // The fill is one even capsule from the start to fillWidth, whatever the value: the same
    // colour all along its straight part (no seam where its pieces meet), the track alone past its
    // end, and a rounded end that fades out within a point of fillWidth.
    void progressFillIsOneCapsule_data()
    {
        QTest::addColumn<double>("value");
        QTest::newRow("a quarter") << 0.25;
        QTest::newRow("a few points") << 0.03;
        QTest::newRow("between pixels") << 0.4025;
        QTest::newRow("full") << 1.0;
    }
    void progressFillIsOneCapsule()
    {
        QFETCH(double, value);
        m_quick->appearance.setReduceMotion(true);
        QVERIFY(m_quick->load("NotchProgress { value: 0; tint: \"#2060ff\"; prominence: 1 }", {200, 6}));
        // Stepped there from elsewhere, as a playing track does.
        m_quick->item()->setProperty("value", 0.6);
        m_quick->grab();
        m_quick->item()->setProperty("value", value);
        const QImage image = m_quick->grab();
        const double end = 200 * value;
        const QColor body = image.pixelColor(int(end / 2), 3);
        QVERIFY(body.blue() > body.red() + 100);
        for (int x = 2; x + 2 < int(end); ++x)
            QVERIFY2(close(image.pixelColor(x, 3), body), qPrintable(QStringLiteral("x %1: %2").arg(x).arg(describe(image.pixelColor(x, 3)))));
        // Rounded: the first column is fainter than the body at the top and bottom rows.
        QVERIFY(image.pixelColor(0, 0).alphaF() < body.alphaF() - 0.1);
        if (end < 198) {
            const QColor track = at(dark(ColorToken::ink), 0.2);
            for (int x = int(std::ceil(end)); x < 198; x += 7)
                QVERIFY2(close(image.pixelColor(x, 3), track), qPrintable(QStringLiteral("x %1: %2").arg(x).arg(describe(image.pixelColor(x, 3)))));
            QVERIFY(image.pixelColor(int(end) - 1, 0).alphaF() < body.alphaF() - 0.1);
        }
    }

    // `animated` false makes the bar jump; true moves it with Motion.ambient unless motion is
    // reduced, or unless the fill moves by 4 points or less (a playing track's tick), which lands
    // at once so a bar following playback draws no frames between ticks.
    void progressMotion_data()
    {
        QTest::addColumn<bool>("animated");
        QTest::addColumn<bool>("reduceMotion");
        QTest::addColumn<double>("to");
        QTest::addColumn<bool>("moves");
        QTest::newRow("animated") << true << false << 0.5 << true;
        QTest::newRow("not animated") << false << false << 0.5 << false;
        QTest::newRow("animated, reduced motion") << true << true << 0.5 << false;
        QTest::newRow("animated, a tick of 3 points") << true << false << 0.015 << false;
        QTest::newRow("animated, a step of 5 points") << true << false << 0.025 << true;
    }
    void progressMotion()
    {
        QFETCH(bool, animated);
        QFETCH(bool, reduceMotion);
        QFETCH(double, to);
        QFETCH(bool, moves);
        m_quick->appearance.setReduceMotion(reduceMotion);
        QVERIFY(m_quick->load(
            QStringLiteral("NotchProgress { value: 0; animated: %1 }").arg(animated ? "true" : "false").toUtf8(),
            {200, 4}));
        QQuickItem *bar = m_quick->item();
        bar->setProperty("value", to);
        if (!moves) {
            QCOMPARE(bar->property("fillWidth").toDouble(), 200 * to);
            return;
        }
        QCOMPARE(bar->property("fillWidth").toDouble(), 0.0);
        m_quick->advance(m_driver, 144);
        const double midway = bar->property("fillWidth").toDouble();
        QVERIFY2(midway > 0 && midway < 200 * to, qPrintable(QString::number(midway)));
        m_quick->advance(m_driver, 300);
        QCOMPARE(bar->property("fillWidth").toDouble(), 200 * to);

        // Back by a tick's worth from where it rests: at once.
        bar->setProperty("value", to - 0.01);
        QCOMPARE(bar->property("fillWidth").toDouble(), 200 * (to - 0.01));
    }

    // A ring moves with Motion.ambient unless motion is reduced or its arc's end moves by 4 points
    // or less: a 25-minute timer's one-second step on an 18-point ring lands at once.
    void ringSteps_data()
    {
        QTest::addColumn<bool>("reduceMotion");
        QTest::addColumn<double>("to");
        QTest::addColumn<bool>("moves");
        QTest::newRow("a quarter") << false << 0.25 << true;
        QTest::newRow("a quarter, reduced motion") << true << 0.25 << false;
        QTest::newRow("a second of 25 minutes") << false << 1.0 / 1500 << false;
        QTest::newRow("a step of 5 points") << false << 5 / (3.14159265 * 18) << true;
    }
    void ringSteps()
    {
        QFETCH(bool, reduceMotion);
        QFETCH(double, to);
        QFETCH(bool, moves);
        m_quick->appearance.setReduceMotion(reduceMotion);
        QVERIFY(m_quick->load("NotchRing { value: 0; size: 18 }", {18, 18}));
        QQuickItem *ring = m_quick->item();
        ring->setProperty("value", to);
        if (!moves) {
            QCOMPARE(ring->property("shownValue").toDouble(), to);
            return;
        }
        QCOMPARE(ring->property("shownValue").toDouble(), 0.0);
        m_quick->advance(m_driver, 144);
        const double midway = ring->property("shownValue").toDouble();
        QVERIFY2(midway > 0 && midway < to, qPrintable(QString::number(midway)));
        m_quick->advance(m_driver, 300);
        QCOMPARE(ring->property("shownValue").toDouble(), to);
    }

    // One 3-point bar per level, 3 points apart, centred; each as high as its level's share of the
    // height, never under 2 points and never over the full height; nothing for no levels. The same
    // for a stepping meter (not animated), whose bars are painted in one pass, also after a second
    // set of levels.
    void waveformBars_data()
    {
        QTest::addColumn<bool>("animated");
        QTest::addColumn<QVariant>("levels");
        QTest::addColumn<QList<int>>("heights");
        QTest::newRow("empty") << true << QVariant(QVariantList{}) << QList<int>{};
        QTest::newRow("levels") << true << QVariant(QVariantList{0.5, 1.0, 0.25}) << QList<int>{10, 20, 5};
        QTest::newRow("floor of 2 points") << true << QVariant(QVariantList{0.0, -0.5, 0.01}) << QList<int>{2, 2, 2};
        QTest::newRow("above 1") << true << QVariant(QVariantList{3.0, 1.5}) << QList<int>{20, 20};
        QTest::newRow("floats from C++") << true << QVariant::fromValue(QList<float>{0.5f, 2.0f}) << QList<int>{10, 20};
        QTest::newRow("stepping: empty") << false << QVariant(QVariantList{}) << QList<int>{};
        QTest::newRow("stepping: levels") << false << QVariant(QVariantList{0.5, 1.0, 0.25, 0.75, 0.4})
                                          << QList<int>{10, 20, 5, 15, 8};
        QTest::newRow("stepping: floor and above 1") << false << QVariant(QVariantList{0.0, -0.5, 3.0})
                                                     << QList<int>{2, 2, 20};
        QTest::newRow("stepping: floats from C++") << false << QVariant::fromValue(QList<float>{0.5f, 2.0f})
                                                   << QList<int>{10, 20};
    }
    void waveformBars()
    {
        QFETCH(bool, animated);
        QFETCH(QVariant, levels);
        QFETCH(QList<int>, heights);
        m_quick->appearance.setReduceMotion(true);
        QVERIFY(m_quick->load(QStringLiteral("NotchWaveform { isPlaying: true; animated: %1 }")
                                  .arg(animated ? "true" : "false")
                                  .toUtf8(),
                              {41, 20}));
        if (!animated) {
            // Drawn once with other levels first: the new ones replace them.
            m_quick->item()->setProperty("levels", QVariantList{0.1, 0.9, 0.3, 0.6, 0.2, 0.8});
            m_quick->grab();
        }
        m_quick->item()->setProperty("levels", levels);
        const QImage image = m_quick->grab();

        // The row is centred: n bars take 6n − 3 points.
        const int n = int(heights.size());
        const int left = (41 - (6 * n - 3)) / 2;
        for (int i = 0; i < n; ++i) {
            const int x = left + 6 * i + 1;
            QVERIFY2(std::abs(columnHeight(image, x) - heights[i]) <= 1,
                     qPrintable(QStringLiteral("bar %1: %2 rows").arg(i).arg(columnHeight(image, x))));
            QCOMPARE(columnHeight(image, x + 3), 0); // the gap
        }
        if (n == 0) {
            for (int x = 0; x < image.width(); ++x)
                QCOMPARE(columnHeight(image, x, 0), 0);
        }
        // Style.ink, strong while playing, through the middle of a bar.
        for (int i = 0; i < n; ++i) {
            if (heights[i] >= 5) {
                const QColor middle = image.pixelColor(left + 6 * i + 1, 10);
                QVERIFY2(close(middle, at(dark(ColorToken::ink), 0.85)), qPrintable(describe(middle)));
            }
        }
    }

    // Bars are strong while playing and faint while not; new levels move with Motion.ambient, or at
    // once when the meter is not animated.
    void waveformPlayingAndMotion()
    {
        m_quick->appearance.setReduceMotion(true);
        QVERIFY(m_quick->load("NotchWaveform { isPlaying: true; levels: [1] }", {3, 20}));
        QQuickItem *wave = m_quick->item();
        QVERIFY(close(m_quick->grab().pixelColor(1, 10), at(dark(ColorToken::ink), 0.85)));
        wave->setProperty("isPlaying", false);
        QVERIFY(close(m_quick->grab().pixelColor(1, 10), at(dark(ColorToken::ink), 0.35)));

        m_quick->appearance.setReduceMotion(false);
        wave->setProperty("levels", QVariantList{0.0});
        QCOMPARE(columnHeight(m_quick->grab(), 1, 0), 20);
        m_quick->advance(m_driver, 144);
        const int midway = columnHeight(m_quick->grab(), 1, 0);
        QVERIFY2(midway > 2 && midway < 20, qPrintable(QString::number(midway)));
        m_quick->advance(m_driver, 300);
        QCOMPARE(columnHeight(m_quick->grab(), 1, 0), 2);

        // A meter fed at its own cadence steps: new levels show at once.
        wave->setProperty("animated", false);
        wave->setProperty("levels", QVariantList{1.0});
        QCOMPARE(columnHeight(m_quick->grab(), 1, 0), 20);
    }

    // Value 0 shows the track alone, 1 the whole circle in the tint, a quarter the arc from twelve
    // to three o'clock.
    void ringArc_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QList<bool>>("tinted"); // at 1:30, 4:30, 7:30, 10:30
        QTest::newRow("0") << 0.0 << QList<bool>{false, false, false, false};
        QTest::newRow("quarter") << 0.25 << QList<bool>{true, false, false, false};
        QTest::newRow("three quarters") << 0.75 << QList<bool>{true, true, true, false};
        QTest::newRow("1") << 1.0 << QList<bool>{true, true, true, true};
    }
    void ringArc()
    {
        QFETCH(double, value);
        QFETCH(QList<bool>, tinted);
        m_quick->appearance.setReduceMotion(true);
        QVERIFY(m_quick->load(QStringLiteral("NotchRing { size: 40; lineWidth: 4; tint: \"#ff0000\"; value: %1 }")
                                  .arg(value)
                                  .toUtf8(),
                              {40, 40}));
        const QImage image = m_quick->grab();
        // The stroke's centre line is a circle of radius 18 about (20, 20).
        const double r = 18 / std::sqrt(2.0);
        const QList<QPoint> probes{QPoint(int(20 + r), int(20 - r)), QPoint(int(20 + r), int(20 + r)),
                                   QPoint(int(20 - r), int(20 + r)), QPoint(int(20 - r), int(20 - r))};
        const QColor track = at(dark(ColorToken::ink), controls::ringTrackOpacity);
        for (int i = 0; i < 4; ++i) {
            const QColor seen = image.pixelColor(probes[i]);
            QVERIFY2(close(seen, tinted[i] ? QColor(Qt::red) : track, 4),
                     qPrintable(QStringLiteral("probe %1: %2").arg(i).arg(describe(seen))));
        }
        // The stroke stays inside the frame and the middle is empty.
        QCOMPARE(image.pixelColor(20, 20).alpha(), 0);
        QVERIFY(image.pixelColor(20, 0).alpha() > 0);
    }

    // A new value moves with Motion.ambient, and at once under reduced motion.
    void ringMotion()
    {
        m_quick->appearance.setReduceMotion(true);
        QVERIFY(m_quick->load("NotchRing { value: 0 }", {20, 20}));
        QQuickItem *ring = m_quick->item();
        ring->setProperty("value", 1.0);
        QCOMPARE(ring->property("shownValue").toDouble(), 1.0);

        m_quick->appearance.setReduceMotion(false);
        ring->setProperty("value", 0.0);
        m_quick->advance(m_driver, 144);
        const double midway = ring->property("shownValue").toDouble();
        QVERIFY2(midway > 0 && midway < 1, qPrintable(QString::number(midway)));
        m_quick->advance(m_driver, 300);
        QCOMPARE(ring->property("shownValue").toDouble(), 0.0);
    }

    // Numbers from outside never reach a drawing as something odd.
    void oddNumbers()
    {
        QCOMPARE(controls::waveformBarHeight(kNaN, 20), 2.0);
        QCOMPARE(controls::waveformBarHeight(0.5, kNaN), 2.0);
        QCOMPARE(controls::progressFillWidth(200, kNaN), 0.0);
        QCOMPARE(controls::progressFillWidth(200, -0.5), 0.0);
        QCOMPARE(controls::progressFillWidth(200, 1.5), 300.0); // not clamped: callers pass 0...1
        QCOMPARE(controls::ringFraction(kNaN), 0.0);
        QCOMPARE(controls::ringFraction(2), 1.0);
        QCOMPARE(controls::progressTrackOpacity(kNaN), 0.1);
        // A spring's overshoot past "selected" still draws the selected colours.
        QCOMPARE(controls::buttonLook(1.07, 0, ColorScheme::dark), controls::buttonLook(1, 0, ColorScheme::dark));
    }
};

int main(int argc, char **argv)
{
    // Nothing of the user's: settings and caches live in a folder of the run.
    QTemporaryDir home;
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(name, home.filePath(QString::fromLatin1(name)).toUtf8());
    QGuiApplication app(argc, argv);
    ControlsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_controls.moc"
