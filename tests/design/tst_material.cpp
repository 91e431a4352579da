// labels: qml
#include "QuickHarness.h"

#include "design/Appearance.h"
#include "design/GradientWash.h"
#include "design/NotchMaterialLook.h"
#include "design/NotchSilhouetteShape.h"
#include "platform/Compositor.h"

#include <QGuiApplication>
#include <QProcess>
#include <QQmlProperty>
#include <QSGRendererInterface>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>

#include <cmath>
#include <optional>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)

using tavrenhold::ColorScheme;
using tavrenhold::ColorToken;
using tavrenhold::GradientWash;
using tavrenhold::MaterialMode;
using tavrenhold::NotchMaterialLook;
using tavrenhold::Style;
using tavrenhold::test::QuickHarness;
using tavrenhold::test::StepDriver;
namespace material = tavrenhold::material;

Q_DECLARE_METATYPE(MaterialMode)

namespace {

// Set in the child run that repeats the pixel tests on OpenGL.
constexpr auto kOpenGlRun = "TAVRENHOLD_TEST_OPENGL";

// Colours compared as drawn: premultiplied, so the hue of a nearly clear pixel does not count.
bool close(const QColor &a, const QColor &b, int tolerance = 3)
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

// The opacity of a vertical fade given as (location, opacity) pairs at a location.
double fadeAt(const QList<double> &stops, double at)
{
    if (stops.size() < 2)
        return 1;
    if (at <= stops[0])
        return stops[1];
    for (qsizetype i = 2; i + 1 < stops.size(); i += 2) {
        if (at <= stops[i]) {
            const double t = (at - stops[i - 2]) / (stops[i] - stops[i - 2]);
            return stops[i - 1] + (stops[i + 1] - stops[i - 1]) * t;
        }
    }
    return stops.last();
}

} // namespace

class MaterialTest : public QObject {
    Q_OBJECT

    StepDriver m_driver;
    std::unique_ptr<QuickHarness> m_quick;

    // A NotchMaterial of `size` with the surface's radii (bottom 32 and flare 15 expanded, 17 and
    // 8 collapsed), its animations off.
    QQuickItem *loadMaterial(MaterialMode mode, bool expanded, bool dark, bool composited, QSize size = {240, 120})
    {
        m_quick->appearance.setReduceMotion(true);
        if (!m_quick->load(QStringLiteral("NotchMaterial { cornerRadius: %1; flareRadius: %2; isExpanded: %3 }")
                               .arg(expanded ? 32 : 17)
                               .arg(expanded ? 15 : 8)
                               .arg(expanded ? "true" : "false")
                               .toUtf8(),
                           size, dark))
            return nullptr;
        QQuickItem *item = m_quick->item();
        item->setProperty("material", QVariant::fromValue(int(mode)));
        item->setProperty("composited", composited);
        return item;
    }

    NotchMaterialLook *lookOf(QQuickItem *material)
    {
        return material->property("look").value<NotchMaterialLook *>();
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The OpenGL run draws still pictures only; its render loop brings its own clock.
        if (!qEnvironmentVariableIsSet(kOpenGlRun))
            m_driver.install();
    }
    void init()
    {
        GradientWash::shared().setAccent(std::nullopt);
        m_quick = std::make_unique<QuickHarness>();
    }
    void cleanup()
    {
        m_quick.reset();
        GradientWash::shared().setAccent(std::nullopt);
    }

    // The outline fills its body and the flares' tips and leaves the flares' hollows, the sides
    // below the flares and the cut bottom corners clear; hits follow the same outline, also through
    // another item's containmentMask.
    void silhouetteFillAndHits_data()
    {
        QTest::addColumn<QPointF>("point");
        QTest::addColumn<bool>("inside");
        // 200 x 60, flare 10, bottom radius 12.
        QTest::newRow("body centre") << QPointF(100.5, 30.5) << true;
        QTest::newRow("top edge") << QPointF(100.5, 0.5) << true;
        QTest::newRow("left flare's tip") << QPointF(8.5, 0.5) << true;
        QTest::newRow("left flare's hollow") << QPointF(1.5, 8.5) << false;
        QTest::newRow("right flare's hollow") << QPointF(198.5, 8.5) << false;
        QTest::newRow("beside the body") << QPointF(5.5, 40.5) << false;
        QTest::newRow("bottom-left corner cut") << QPointF(11.5, 58.5) << false;
        QTest::newRow("bottom-right corner cut") << QPointF(188.5, 58.5) << false;
        QTest::newRow("bottom edge") << QPointF(100.5, 59.5) << true;
    }
    void silhouetteFillAndHits()
    {
        QFETCH(QPointF, point);
        QFETCH(bool, inside);
        QVERIFY(m_quick->load("Item {\n"
                              "  property alias shape: shape\n"
                              "  property alias host: host\n"
                              "  NotchSilhouetteShape {\n"
                              "    id: shape; anchors.fill: parent\n"
                              "    flareRadius: 10; bottomRadius: 12; color: \"white\"\n"
                              "  }\n"
                              "  Item { id: host; anchors.fill: parent; containmentMask: shape }\n"
                              "}",
                              {200, 60}));
        const QImage image = m_quick->grab();
        QVERIFY(!image.isNull());
        const int alpha = image.pixelColor(int(point.x()), int(point.y())).alpha();
        QVERIFY2(inside ? alpha >= 250 : alpha <= 5, qPrintable(QString::number(alpha)));

        auto *shape = m_quick->item()->property("shape").value<QQuickItem *>();
        auto *host = m_quick->item()->property("host").value<QQuickItem *>();
        QCOMPARE(shape->contains(point), inside);
        QCOMPARE(host->contains(point), inside);
    }

    // Collapsed, every material in every scheme is an opaque black outline with no shadow.
    void collapsedIsBlack_data()
    {
        QTest::addColumn<MaterialMode>("mode");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<bool>("composited");
        for (MaterialMode mode : tavrenhold::allMaterialModes) {
            const QByteArray name = tavrenhold::rawValue(mode).toUtf8();
            QTest::newRow(name + " dark") << mode << true << true;
            QTest::newRow(name + " light") << mode << false << true;
            QTest::newRow(name + " light, no compositor") << mode << false << false;
        }
    }
    void collapsedIsBlack()
    {
        QFETCH(MaterialMode, mode);
        QFETCH(bool, dark);
        QFETCH(bool, composited);
        QQuickItem *item = loadMaterial(mode, false, dark, composited, {300, 44});
        QVERIFY(item);
        const QImage image = m_quick->grab();
        // 300 x 44, flare 8, bottom radius 17.
        for (const QPoint p : {QPoint(150, 22), QPoint(12, 2), QPoint(280, 40), QPoint(150, 43)})
            QVERIFY2(close(image.pixelColor(p), Qt::black, 0), qPrintable(describe(image.pixelColor(p))));
        // The flares' hollows, the sides and the cut corners stay clear: no shadow, nothing outside
        // the outline.
        for (const QPoint p : {QPoint(1, 6), QPoint(298, 6), QPoint(4, 40), QPoint(9, 43), QPoint(290, 43)})
            QVERIFY2(image.pixelColor(p).alpha() == 0, qPrintable(describe(image.pixelColor(p))));
        QCOMPARE(lookOf(item)->layers().shadow.opacity, 0.0);
    }

    // Expanded, the stack draws what its layers say at every height: the wash and the shadow fade
    // from the top edge; without a compositor nothing inside the outline is translucent.
    void expandedLooks_data()
    {
        QTest::addColumn<MaterialMode>("mode");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<bool>("composited");
        QTest::addColumn<QColor>("accent");
        const QColor none;
        QTest::newRow("gradient, dark, no accent") << MaterialMode::gradient << true << true << none;
        QTest::newRow("gradient, light, blue accent") << MaterialMode::gradient << false << true << QColor(40, 90, 230);
        QTest::newRow("glass, dark") << MaterialMode::liquidGlass << true << true << none;
        QTest::newRow("glass, light") << MaterialMode::liquidGlass << false << true << none;
        QTest::newRow("solid, light") << MaterialMode::solid << false << true << none;
        QTest::newRow("glass, dark, no compositor") << MaterialMode::liquidGlass << true << false << none;
        QTest::newRow("gradient, light, no compositor") << MaterialMode::gradient << false << false << none;
    }
    void expandedLooks()
    {
        QFETCH(MaterialMode, mode);
        QFETCH(bool, dark);
        QFETCH(bool, composited);
        QFETCH(QColor, accent);
        if (accent.isValid())
            GradientWash::shared().setAccent(tavrenhold::ArtworkAccent{accent.redF(), accent.greenF(), accent.blueF()});
        QQuickItem *item = loadMaterial(mode, true, dark, composited);
        QVERIFY(item);
        NotchMaterialLook *look = lookOf(item);
        QVERIFY(look);
        const material::Layers layers = look->layers();
        const QImage image = m_quick->grab();
        const double height = item->height();
        for (int y : {0, 10, 30, 60, 100}) {
            const double at = (y + 0.5) / height;
            const QColor expected =
                material::composite(layers, fadeAt(look->washStops(), at), fadeAt(look->shadowStops(), at));
            const QColor seen = image.pixelColor(120, y);
            QVERIFY2(close(seen, expected), qPrintable(QStringLiteral("y %1: %2, expected %3")
                                                           .arg(y)
                                                           .arg(describe(seen), describe(expected))));
            if (!composited)
                QCOMPARE(seen.alpha(), 255);
        }
    }

    // The gradient wash is the artwork accent, or Style.focusAccent without one: it tints the top
    // of the surface and is gone by 70 % of its height.
    void gradientWashesTheAccent_data()
    {
        QTest::addColumn<QColor>("accent");
        QTest::newRow("no accent") << QColor();
        QTest::newRow("blue artwork") << QColor(20, 60, 240);
    }
    void gradientWashesTheAccent()
    {
        QFETCH(QColor, accent);
        if (accent.isValid())
            GradientWash::shared().setAccent(tavrenhold::ArtworkAccent{accent.redF(), accent.greenF(), accent.blueF()});
        QQuickItem *item = loadMaterial(MaterialMode::gradient, true, true, true);
        QVERIFY(item);
        const QColor washed = accent.isValid() ? accent : Style::color(ColorToken::focusAccent, ColorScheme::dark);
        QCOMPARE(lookOf(item)->layers().wash.color, washed);

        const QImage image = m_quick->grab();
        const QColor top = image.pixelColor(120, 1);
        const QColor low = image.pixelColor(120, 100);
        // The top moves towards the wash colour's strongest channel and away from its weakest.
        const auto channel = [](const QColor &c, int i) { return i == 0 ? c.red() : i == 1 ? c.green() : c.blue(); };
        const int strong = washed.red() >= washed.blue() ? 0 : 2;
        const int weak = strong == 0 ? 2 : 0;
        QVERIFY2(channel(top, strong) - channel(low, strong) > 20, qPrintable(describe(top) + " " + describe(low)));
        QVERIFY(channel(top, strong) - channel(top, weak) > 20);
        // Past the wash, only the stack's neutral layers remain.
        QVERIFY2(std::abs(low.red() - low.blue()) <= 3, qPrintable(describe(low)));
    }

    // The solid material is the opaque solid surface in either scheme.
    void solidIsOpaqueSolidSurface_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("dark") << true;
        QTest::newRow("light") << false;
    }
    void solidIsOpaqueSolidSurface()
    {
        QFETCH(bool, dark);
        QVERIFY(loadMaterial(MaterialMode::solid, true, dark, true));
        const QImage image = m_quick->grab();
        const QColor surface = Style::color(ColorToken::solidSurface, dark ? ColorScheme::dark : ColorScheme::light);
        for (const QPoint p : {QPoint(120, 1), QPoint(120, 60), QPoint(30, 80), QPoint(120, 118)})
            QVERIFY2(close(image.pixelColor(p), surface, 1), qPrintable(describe(image.pixelColor(p))));
    }

    // Without a compositor the surface stays opaque all through the morph, for every material.
    void opaqueThroughTheMorphWithoutCompositor_data()
    {
        QTest::addColumn<MaterialMode>("mode");
        for (MaterialMode mode : tavrenhold::allMaterialModes)
            QTest::newRow(tavrenhold::rawValue(mode).toUtf8()) << mode;
    }
    void opaqueThroughTheMorphWithoutCompositor()
    {
        QFETCH(MaterialMode, mode);
        for (bool dark : {true, false}) {
            for (double t = 0; t <= 1.0; t += 0.125) {
                const auto layers = material::layers({mode, t, dark ? ColorScheme::dark : ColorScheme::light, false, {}});
                QCOMPARE(material::composite(layers, 1, 1).alpha(), 255);
                QCOMPARE(material::composite(layers, 0, 0).alpha(), 255);
            }
        }

        QQuickItem *item = loadMaterial(mode, false, false, false);
        QVERIFY(item);
        m_quick->appearance.setReduceMotion(false);
        item->setProperty("isExpanded", true);
        m_quick->advance(m_driver, 96);
        const double expansion = item->property("expansion").toDouble();
        QVERIFY2(expansion > 0.05 && expansion < 0.95, qPrintable(QString::number(expansion)));
        const QImage image = m_quick->grab();
        for (int y : {1, 30, 60, 100})
            QCOMPARE(image.pixelColor(120, y).alpha(), 255);
    }

    // The phase change moves with Motion.morph, and at once under reduced motion.
    void phaseFollowsMotion()
    {
        QQuickItem *item = loadMaterial(MaterialMode::gradient, false, true, true);
        QVERIFY(item);
        item->setProperty("isExpanded", true);
        QCOMPARE(item->property("expansion").toDouble(), 1.0);

        m_quick->appearance.setReduceMotion(false);
        item->setProperty("isExpanded", false);
        QCOMPARE(item->property("expansion").toDouble(), 1.0);
        m_quick->advance(m_driver, 64);
        const double midway = item->property("expansion").toDouble();
        QVERIFY2(midway > 0 && midway < 1, qPrintable(QString::number(midway)));
        m_quick->advance(m_driver, 1500);
        QCOMPARE(item->property("expansion").toDouble(), 0.0);
    }

    // A new wash accent fades in with Motion.ambient even under reduced motion.
    void washFadesEvenUnderReducedMotion()
    {
        QQuickItem *item = loadMaterial(MaterialMode::gradient, true, true, true);
        QVERIFY(item);
        const auto shown = [item] { return item->property("washAccent").value<QColor>().rgba(); };
        const QRgb before = shown();
        QCOMPARE(before, Style::color(ColorToken::focusAccent, ColorScheme::dark).rgba());

        GradientWash::shared().setAccent(tavrenhold::ArtworkAccent{0, 0, 1});
        QCOMPARE(shown(), before);
        m_quick->advance(m_driver, 144);
        const QRgb midway = shown();
        QVERIFY2(midway != before && midway != qRgb(0, 0, 255), qPrintable(QString::number(midway, 16)));
        m_quick->advance(m_driver, 300);
        QCOMPARE(shown(), qRgb(0, 0, 255));
    }

    // The content is clipped to the outline's body: nothing of it shows beside the body.
    void contentIsClippedToTheBody()
    {
        m_quick->appearance.setReduceMotion(true);
        QVERIFY(m_quick->load("NotchMaterial {\n"
                              "  cornerRadius: 12; flareRadius: 15; isExpanded: true; material: MaterialMode.solid\n"
                              "  Rectangle { anchors.fill: parent; color: \"#ff0000\" }\n"
                              "}",
                              {240, 120}));
        const QImage image = m_quick->grab();
        QCOMPARE(image.pixelColor(120, 60), QColor(Qt::red));
        QCOMPARE(image.pixelColor(16, 60), QColor(Qt::red));
        QCOMPARE(image.pixelColor(13, 2).alpha(), 255); // a flare's tip: the backdrop, not the content
        QVERIFY(image.pixelColor(13, 2) != QColor(Qt::red));
        QCOMPARE(image.pixelColor(5, 60).alpha(), 0);
        QCOMPARE(image.pixelColor(234, 60).alpha(), 0);
    }

    // Off X11 no compositor is seen, and QML reads the same.
    void noCompositorOffX11()
    {
        if (QGuiApplication::platformName() == QLatin1String("xcb"))
            QSKIP("runs on an X display");
        tavrenhold::platform::Compositor compositor;
        QVERIFY(!compositor.composited());
        QVERIFY(m_quick->load("NotchMaterial {}", {100, 40}));
        QCOMPARE(m_quick->item()->property("composited").toBool(), false);
    }

    // The same pictures on the OpenGL scene graph (on an X display; offscreen draws in software).
    void onOpenGl()
    {
        if (qEnvironmentVariableIsSet(kOpenGlRun)) {
            QVERIFY(m_quick->load("Item {}", {10, 10}));
            QCOMPARE(m_quick->window().rendererInterface()->graphicsApi(), QSGRendererInterface::OpenGL);
            return;
        }
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs an X display for OpenGL");
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kOpenGlRun), QStringLiteral("1"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.remove(QStringLiteral("QT_QUICK_BACKEND"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("onOpenGl"), QStringLiteral("silhouetteFillAndHits"),
                     QStringLiteral("collapsedIsBlack"), QStringLiteral("expandedLooks"),
                     QStringLiteral("contentIsClippedToTheBody")});
        QVERIFY(child.waitForFinished(60000));
        const QByteArray output = child.readAll();
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, output.constData());
    }
};

int main(int argc, char **argv)
{
    // Nothing of the user's: settings and caches live in a folder of the run.
    QTemporaryDir home;
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(name, home.filePath(QString::fromLatin1(name)).toUtf8());
    if (qEnvironmentVariableIsSet(kOpenGlRun))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::OpenGL);
    QGuiApplication app(argc, argv);
    MaterialTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_material.moc"
