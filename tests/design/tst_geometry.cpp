#include "design/NotchGeometry.h"
#include "platform/ScreenList.h"

#include <QGuiApplication>
#include <QTest>

using tavrenhold::NotchGeometry;
using tavrenhold::NotchScreen;
using tavrenhold::platform::GlobalPoint;
using tavrenhold::platform::GlobalRect;
using tavrenhold::platform::QtScreenGeometry;
using tavrenhold::platform::ScreenDescription;
using tavrenhold::platform::ScreenList;
using tavrenhold::platform::ScreenSpace;

using Screens = std::vector<ScreenDescription>;
using OptionalIndex = std::optional<std::size_t>;

Q_DECLARE_METATYPE(ScreenDescription)
Q_DECLARE_METATYPE(NotchGeometry)
Q_DECLARE_METATYPE(GlobalPoint)
Q_DECLARE_METATYPE(GlobalRect)
Q_DECLARE_METATYPE(QtScreenGeometry)
Q_DECLARE_METATYPE(OptionalIndex)

namespace {

// A screen with its frame at (x, y), w × h, showing a top panel `panel` points high.
ScreenDescription plainScreen(double x, double y, double w, double h, double panel = 0, QString name = {})
{
    ScreenDescription s;
    s.frame = {x, y, w, h};
    s.visibleFrame = {x, y, w, h - panel};
    s.name = std::move(name);
    s.isBuiltIn = tavrenhold::platform::isBuiltInOutputName(s.name);
    return s;
}

// A 1512 × 982 laptop panel with a camera housing `inset` high between two menu-bar areas.
ScreenDescription housingScreen(double inset, double leftWidth, double rightWidth)
{
    ScreenDescription s = plainScreen(0, 0, 1512, 982, inset, QStringLiteral("eDP-1"));
    s.topInset = inset;
    s.auxiliaryTopLeft = GlobalRect{0, 982 - inset, leftWidth, inset};
    s.auxiliaryTopRight = GlobalRect{1512 - rightWidth, 982 - inset, rightWidth, inset};
    return s;
}

QString describe(const NotchGeometry &g)
{
    return QStringLiteral("%1 x %2 physical=%3 frame=(%4,%5 %6x%7)")
        .arg(g.hardwareWidth)
        .arg(g.hardwareHeight)
        .arg(g.isPhysical)
        .arg(g.screenFrame.x)
        .arg(g.screenFrame.y)
        .arg(g.screenFrame.width)
        .arg(g.screenFrame.height);
}

QString describe(const OptionalIndex &i) { return i ? QString::number(*i) : QStringLiteral("nothing"); }

} // namespace

class GeometryTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void measure_data()
    {
        QTest::addColumn<ScreenDescription>("screen");
        QTest::addColumn<NotchGeometry>("expected");

        const GlobalRect laptop{0, 0, 1512, 982};
        QTest::newRow("housing between 700-wide areas") << housingScreen(32, 700, 700) << NotchGeometry{112, 32, true, laptop};
        QTest::newRow("areas wider than the frame") << housingScreen(32, 800, 800) << NotchGeometry{0, 32, true, laptop};
        QTest::newRow("areas exactly as wide as the frame") << housingScreen(32, 756, 756) << NotchGeometry{0, 32, true, laptop};

        ScreenDescription noLeft = housingScreen(32, 700, 700);
        noLeft.auxiliaryTopLeft.reset();
        QTest::newRow("inset without a left area") << noLeft << NotchGeometry{200, 32, false, laptop};
        ScreenDescription noRight = housingScreen(38, 700, 700);
        noRight.auxiliaryTopRight.reset();
        QTest::newRow("inset without a right area") << noRight << NotchGeometry{200, 38, false, laptop};
        ScreenDescription noInset = housingScreen(32, 700, 700);
        noInset.topInset = 0;
        QTest::newRow("areas without an inset") << noInset << NotchGeometry{200, 32, false, laptop};

        const GlobalRect external{1512, -200, 2560, 1440};
        QTest::newRow("external with a 25-point menu bar")
            << plainScreen(1512, -200, 2560, 1440, 25) << NotchGeometry{200, 25, false, external};
        QTest::newRow("visible frame reaching the top")
            << plainScreen(1512, -200, 2560, 1440, 0) << NotchGeometry{200, 32, false, external};
        ScreenDescription dockBelow = plainScreen(1512, -200, 2560, 1440, 0);
        dockBelow.visibleFrame = {1512, -150, 2560, 1390}; // a bottom panel only
        QTest::newRow("bottom panel only") << dockBelow << NotchGeometry{200, 32, false, external};
    }
    void measure()
    {
        QFETCH(ScreenDescription, screen);
        QFETCH(NotchGeometry, expected);
        const NotchGeometry measured = NotchGeometry::measure(screen);
        QVERIFY2(measured == expected, qPrintable(describe(measured)));
    }

    void screenAt_data()
    {
        QTest::addColumn<Screens>("screens");
        QTest::addColumn<GlobalPoint>("point");
        QTest::addColumn<OptionalIndex>("expected");

        // The primary at the origin and a second screen to its right, 200 points lower.
        const Screens pair{plainScreen(0, 0, 1512, 982), plainScreen(1512, -200, 1920, 1080)};
        QTest::newRow("inside the first") << pair << GlobalPoint{700, 500} << OptionalIndex(0);
        QTest::newRow("inside the second") << pair << GlobalPoint{2000, -100} << OptionalIndex(1);
        QTest::newRow("first's right edge belongs to the second") << pair << GlobalPoint{1512, 500} << OptionalIndex(1);
        QTest::newRow("second's right edge is open") << pair << GlobalPoint{3432, 500} << OptionalIndex();
        QTest::newRow("top edge is closed") << pair << GlobalPoint{700, 982} << OptionalIndex(0);
        QTest::newRow("above the top edge") << pair << GlobalPoint{700, 982.5} << OptionalIndex();
        QTest::newRow("left edge is closed") << pair << GlobalPoint{0, 10} << OptionalIndex(0);
        QTest::newRow("bottom edge is closed") << pair << GlobalPoint{2000, -200} << OptionalIndex(1);
        QTest::newRow("below every screen") << pair << GlobalPoint{700, -1} << OptionalIndex();
        QTest::newRow("no screens") << Screens{} << GlobalPoint{0, 0} << OptionalIndex();

        // Overlapping (mirrored) screens: the first in the list wins.
        const Screens mirrored{plainScreen(0, 0, 1920, 1080), plainScreen(0, 0, 1920, 1080)};
        QTest::newRow("mirrored") << mirrored << GlobalPoint{10, 10} << OptionalIndex(0);
    }
    void screenAt()
    {
        QFETCH(Screens, screens);
        QFETCH(GlobalPoint, point);
        QFETCH(OptionalIndex, expected);
        const OptionalIndex found = NotchGeometry::screen(point, screens);
        QCOMPARE(describe(found), describe(expected));
    }

    void preferredScreen_data()
    {
        QTest::addColumn<Screens>("screens");
        QTest::addColumn<NotchScreen>("choice");
        QTest::addColumn<GlobalPoint>("pointer");
        QTest::addColumn<OptionalIndex>("expected");

        const ScreenDescription primary = plainScreen(0, 0, 2560, 1440, 27, QStringLiteral("DP-1"));
        const ScreenDescription laptop = plainScreen(2560, 0, 1920, 1200, 0, QStringLiteral("eDP-1"));
        const ScreenDescription side = plainScreen(-1920, 0, 1920, 1080, 0, QStringLiteral("HDMI-1"));
        ScreenDescription inset = plainScreen(4480, 0, 1512, 982, 0, QStringLiteral("HDMI-2"));
        inset.topInset = 32;
        const GlobalPoint onPrimary{100, 100};
        const GlobalPoint onSide{-100, 100};
        const GlobalPoint nowhere{-5000, -5000};

        QTest::newRow("builtIn: the built-in panel, not first")
            << Screens{primary, side, laptop} << NotchScreen::builtIn << onPrimary << OptionalIndex(2);
        QTest::newRow("builtIn: the built-in panel before an inset screen")
            << Screens{primary, inset, laptop} << NotchScreen::builtIn << onPrimary << OptionalIndex(2);
        QTest::newRow("builtIn: none built in, a screen with an inset")
            << Screens{primary, side, inset} << NotchScreen::builtIn << onPrimary << OptionalIndex(2);
        QTest::newRow("builtIn: neither, the first")
            << Screens{primary, side} << NotchScreen::builtIn << onSide << OptionalIndex(0);
        QTest::newRow("main: the first, though a built-in exists")
            << Screens{primary, laptop} << NotchScreen::main << onPrimary << OptionalIndex(0);
        QTest::newRow("cursor: the screen under the pointer")
            << Screens{primary, side, laptop} << NotchScreen::cursor << onSide << OptionalIndex(1);
        QTest::newRow("cursor: outside every screen, the first")
            << Screens{primary, side, laptop} << NotchScreen::cursor << nowhere << OptionalIndex(0);
        QTest::newRow("cursor: not a number, the first")
            << Screens{primary, side} << NotchScreen::cursor << GlobalPoint{qQNaN(), qQNaN()} << OptionalIndex(0);
        for (NotchScreen choice : {NotchScreen::builtIn, NotchScreen::main, NotchScreen::cursor}) {
            QTest::addRow("%s: no screens", qPrintable(tavrenhold::rawValue(choice)))
                << Screens{} << choice << onPrimary << OptionalIndex();
        }
    }
    void preferredScreen()
    {
        QFETCH(Screens, screens);
        QFETCH(NotchScreen, choice);
        QFETCH(GlobalPoint, pointer);
        QFETCH(OptionalIndex, expected);
        QCOMPARE(describe(NotchGeometry::preferredScreen(screens, choice, pointer)), describe(expected));
    }

    void builtInNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("builtIn");
        QTest::newRow("eDP-1") << "eDP-1" << true;
        QTest::newRow("eDP1") << "eDP1" << true;
        QTest::newRow("LVDS-1") << "LVDS-1" << true;
        QTest::newRow("DSI-1") << "DSI-1" << true;
        QTest::newRow("DP-1") << "DP-1" << false;
        QTest::newRow("HDMI-A-1") << "HDMI-A-1" << false;
        QTest::newRow("VGA-1") << "VGA-1" << false;
        QTest::newRow("offscreen") << "offscreen" << false;
        QTest::newRow("empty") << "" << false;
    }
    void builtInNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, builtIn);
        QCOMPARE(tavrenhold::platform::isBuiltInOutputName(name), builtIn);
        const ScreenList list({{name, QRectF(0, 0, 800, 600), QRectF(0, 0, 800, 600)}});
        QCOMPARE(list.screens().front().isBuiltIn, builtIn);
    }

    // Qt's y-down layouts translate into the y-up space with the primary's bottom left at the
    // origin, and back.
    void fromQtLayout_data()
    {
        QTest::addColumn<std::vector<QtScreenGeometry>>("qt");
        QTest::addColumn<std::vector<GlobalRect>>("frames");
        QTest::addColumn<std::vector<GlobalRect>>("visibleFrames");

        // A 1920 × 1080 primary with a 27-pixel top panel; a 2560 × 1440 screen stacked above it.
        QTest::newRow("second above")
            << std::vector<QtScreenGeometry>{{"DP-1", {0, 0, 1920, 1080}, {0, 27, 1920, 1053}},
                                             {"DP-2", {0, -1440, 2560, 1440}, {0, -1440, 2560, 1440}}}
            << std::vector<GlobalRect>{{0, 0, 1920, 1080}, {0, 1080, 2560, 1440}}
            << std::vector<GlobalRect>{{0, 0, 1920, 1053}, {0, 1080, 2560, 1440}};
        // A 1280 × 1024 screen to the right, tops aligned, with a 30-pixel panel at its bottom.
        QTest::newRow("second beside, tops aligned")
            << std::vector<QtScreenGeometry>{{"eDP-1", {0, 0, 1920, 1080}, {0, 27, 1920, 1053}},
                                             {"HDMI-1", {1920, 0, 1280, 1024}, {1920, 0, 1280, 994}}}
            << std::vector<GlobalRect>{{0, 0, 1920, 1080}, {1920, 56, 1280, 1024}}
            << std::vector<GlobalRect>{{0, 0, 1920, 1053}, {1920, 86, 1280, 994}};
        // The primary is not at Qt's origin: another screen lies to its left.
        QTest::newRow("primary right of another")
            << std::vector<QtScreenGeometry>{{"DP-1", {1280, 0, 1920, 1080}, {1280, 0, 1920, 1080}},
                                             {"DP-2", {0, 200, 1280, 1024}, {0, 200, 1280, 1024}}}
            << std::vector<GlobalRect>{{0, 0, 1920, 1080}, {-1280, -144, 1280, 1024}}
            << std::vector<GlobalRect>{{0, 0, 1920, 1080}, {-1280, -144, 1280, 1024}};
    }
    void fromQtLayout()
    {
        QFETCH(std::vector<QtScreenGeometry>, qt);
        QFETCH(std::vector<GlobalRect>, frames);
        QFETCH(std::vector<GlobalRect>, visibleFrames);

        const ScreenList list(qt);
        QCOMPARE(list.screens().size(), qt.size());
        for (std::size_t i = 0; i < qt.size(); ++i) {
            const ScreenDescription &s = list.screens()[i];
            QVERIFY2(s.frame == frames[i], qPrintable(QString::number(i)));
            QVERIFY2(s.visibleFrame == visibleFrames[i], qPrintable(QString::number(i)));
            QCOMPARE(s.name, qt[i].name);
            QCOMPARE(s.topInset, 0.0);
            QVERIFY(!s.auxiliaryTopLeft && !s.auxiliaryTopRight);
            // And back into Qt's space.
            QCOMPARE(list.space().toQt(s.frame), qt[i].geometry);
            QCOMPARE(list.space().toQt(s.visibleFrame), qt[i].availableGeometry);
        }
    }

    // A pointer read from Qt finds its screen after translation; a panel placed at the top centre
    // of that screen lands there in Qt's space.
    void pointerAndPlacement()
    {
        const ScreenList list({{"DP-1", {0, 0, 1920, 1080}, {0, 27, 1920, 1053}},
                               {"DP-2", {0, -1440, 2560, 1440}, {0, -1440, 2560, 1440}}});
        const ScreenSpace &space = list.space();

        // Qt's top row of the upper screen is that screen's closed top edge.
        QCOMPARE(NotchGeometry::screen(space.fromQt(QPointF(100, -1440)), list.screens()), OptionalIndex(1));
        QCOMPARE(NotchGeometry::screen(space.fromQt(QPointF(100, -1)), list.screens()), OptionalIndex(1));
        QCOMPARE(NotchGeometry::screen(space.fromQt(QPointF(100, 0)), list.screens()), OptionalIndex(0));
        QCOMPARE(NotchGeometry::screen(space.fromQt(QPointF(2000, 500)), list.screens()), OptionalIndex());
        for (const QPointF p : {QPointF(0, 0), QPointF(1919.5, 1079), QPointF(-3, -1440)})
            QCOMPARE(space.toQt(space.fromQt(p)), p);

        // A 400 × 120 panel hanging from the top centre of the upper screen.
        const NotchGeometry g = NotchGeometry::measure(list.screens()[1]);
        const GlobalRect panel{g.screenFrame.midX() - 200, g.screenFrame.maxY() - 120, 400, 120};
        QCOMPARE(space.toQt(panel), QRectF(1080, -1440, 400, 120));

        // The primary's top panel is the stand-in notch's height.
        const NotchGeometry primary = NotchGeometry::measure(list.screens()[0]);
        QCOMPARE(primary.hardwareHeight, 27.0);
        QCOMPARE(primary.hardwareWidth, 200.0);
    }

    // The live screen list runs the no-housing branch.
    void currentScreens()
    {
        const ScreenList list = ScreenList::current();
        QCOMPARE(list.screens().size(), std::size_t(QGuiApplication::screens().size()));
        QVERIFY(!list.screens().empty());
        const QScreen *primary = QGuiApplication::primaryScreen();
        QCOMPARE(list.screens().front().name, primary->name());
        QCOMPARE(list.screens().front().frame.x, 0.0);
        QCOMPARE(list.screens().front().frame.y, 0.0);
        QCOMPARE(list.space().toQt(list.screens().front().frame), QRectF(primary->geometry()));

        const auto index = NotchGeometry::preferredScreen(list.screens(), NotchScreen::builtIn, {});
        QVERIFY(index.has_value());
        const NotchGeometry g = NotchGeometry::measure(list.screens()[*index]);
        QCOMPARE(g.hardwareWidth, 200.0);
        QVERIFY(!g.isPhysical);
        QVERIFY(g.hardwareHeight > 0);
    }
};

QTEST_MAIN(GeometryTest)
#include "tst_geometry.moc"
