// labels: qml
// NotchRootView rendered offscreen over the shell model: the collapsed bar's size by the collapsed
// width and height settings, the outline as hit shape, the carousel, the pills, the colour scheme by
// phase, hiding the collapsed surface, and that nothing animates under reduced motion.
#include "ViewRig.h"
#include "design/Appearance.h"
#include "design/NotchSilhouette.h"
#include "design/Style.h"

#include <QGuiApplication>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_ShellPlugin)

using namespace tavrenhold;
using namespace tavrenhold::test;

namespace {

// The colour `top` shows over an opaque `ground`.
QColor over(const QColor &top, const QColor &ground)
{
    const double a = top.alphaF();
    return QColor::fromRgbF(float(top.redF() * a + ground.redF() * (1 - a)), float(top.greenF() * a + ground.greenF() * (1 - a)),
                            float(top.blueF() * a + ground.blueF() * (1 - a)));
}

bool near(QRgb pixel, const QColor &expected, int tolerance = 3)
{
    return std::abs(qRed(pixel) - expected.red()) <= tolerance && std::abs(qGreen(pixel) - expected.green()) <= tolerance
           && std::abs(qBlue(pixel) - expected.blue()) <= tolerance;
}

QString describe(QRgb pixel)
{
    return QStringLiteral("rgba(%1, %2, %3, %4)").arg(qRed(pixel)).arg(qGreen(pixel)).arg(qBlue(pixel)).arg(qAlpha(pixel));
}

int opaquePixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 127;
    }
    return count;
}

} // namespace

class RootViewTest : public QObject {
    Q_OBJECT

    StepDriver m_driver;

private Q_SLOTS:
    void initTestCase()
    {
        isolateUserFolders();
        m_driver.install();
    }

    // The surface as drawn: the outline's body is as wide as targetWidth less the two 8-point flares,
    // and as high as surfaceHeight.
    void collapsedSize_data()
    {
        QTest::addColumn<bool>("compact");
        QTest::addColumn<bool>("standardHeight");
        QTest::addColumn<bool>("proximity");
        QTest::addColumn<bool>("music");
        QTest::addColumn<bool>("focusTimer");
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("height");

        QTest::newRow("compact, nothing live") << true << true << false << false << false << 214.0 << 44.0;
        QTest::newRow("compact, music") << true << true << false << true << false << 306.0 << 44.0;
        QTest::newRow("compact, music and focus ring") << true << true << false << true << true << 352.0 << 44.0;
        QTest::newRow("compact, proximity, everything") << true << true << true << true << true << 355.0 << 47.0;
        QTest::newRow("compact, notch height") << true << false << false << true << false << 306.0 << 32.0;
        QTest::newRow("notch width, everything") << false << true << false << true << true << 200.0 << 44.0;
        QTest::newRow("notch width and height") << false << false << true << true << false << 200.0 << 35.0;
    }
    void collapsedSize()
    {
        QFETCH(bool, compact);
        QFETCH(bool, standardHeight);
        QFETCH(bool, proximity);
        QFETCH(bool, music);
        QFETCH(bool, focusTimer);
        QFETCH(double, width);
        QFETCH(double, height);

        ViewRig rig;
        rig.setReduceMotion(true);
        rig.env.settings->setCollapsedWidth(compact ? CollapsedWidth::compact : CollapsedWidth::notch);
        rig.env.settings->setCollapsedHeight(standardHeight ? CollapsedHeight::standard : CollapsedHeight::notch);
        if (music)
            rig.pane(PaneID::music).setIdle(musicPlaying());
        if (focusTimer)
            rig.pane(PaneID::focus).setIdle(focusRunning());
        QVERIFY(rig.load());
        if (proximity)
            rig.model->setPhase(NotchPhase::proximity);
        rig.settle();

        QCOMPARE(rig.model->targetWidth(), width);
        QCOMPARE(rig.model->surfaceHeight(), height);
        const QImage shot = rig.quick->grab();
        const auto [left, right] = opaqueRun(shot, int(height / 2));
        QVERIFY2(left >= 0, "no surface drawn");
        const double body = right - left + 1;
        QVERIFY2(std::abs(body + 2 * rig.model->flareRadius() - width) <= 1.0,
                 qPrintable(QStringLiteral("body %1 for width %2").arg(body).arg(width)));
        const auto [top, bottom] = opaqueColumn(shot, shot.width() / 2);
        QCOMPARE(top, 0);
        QVERIFY2(std::abs(bottom - top + 1 - height) <= 1.0, qPrintable(QStringLiteral("height %1").arg(bottom - top + 1)));
        // Centred on the panel but for the shift that puts the gap between the wings over the notch,
        // the panel's centre.
        QVERIFY2(std::abs((left + right + 1) / 2.0 - shot.width() / 2.0 - rig.model->surfaceShift()) <= 1.0,
                 qPrintable(QStringLiteral("surface centred at %1, panel %2, shift %3")
                                .arg((left + right + 1) / 2.0).arg(shot.width() / 2.0).arg(rig.model->surfaceShift())));
        QQuickItem *spacer = rig.find(QStringLiteral("notchSpacer"));
        if (compact && spacer && spacer->isVisible()) {
            const QRectF notch = spacer->mapRectToScene(QRectF(0, 0, spacer->width(), spacer->height()));
            QVERIFY2(std::abs(notch.center().x() - shot.width() / 2.0) <= 0.5,
                     qPrintable(QStringLiteral("gap centred at %1, notch at %2").arg(notch.center().x()).arg(shot.width() / 2.0)));
        }
    }

    // One outline fills the surface and takes the pointer: the rounded bottom corners take nothing,
    // the flares beside the top corners do.
    void outlineIsTheHitShape()
    {
        ViewRig rig;
        rig.setReduceMotion(true);
        QVERIFY(rig.load());
        QQuickItem *surface = rig.surface();
        QSignalSpy hover(rig.root(), SIGNAL(hoverChange(bool)));
        const double w = surface->width();
        const double h = surface->height();
        QVERIFY(surface->contains({w / 2, h / 2}));
        QVERIFY(surface->contains({6, 0.5}));        // in the left flare, at the top edge
        QVERIFY(!surface->contains({8.5, h - 0.5})); // the bottom-left corner is rounded off
        QVERIFY(!surface->contains({1, h / 2}));     // beside the body, below the flare

        const QPointF origin = surface->mapToScene({0, 0});
        QTest::mouseMove(&rig.quick->window(), (origin + QPointF(8.5, h - 0.5)).toPoint());
        rig.settle();
        QCOMPARE(hover.count(), 0);
        QTest::mouseMove(&rig.quick->window(), (origin + QPointF(w / 2, h / 2)).toPoint());
        rig.settle();
        QCOMPARE(hover.count(), 1);
        QCOMPARE(hover.last().at(0).toBool(), true);
        QTest::mouseMove(&rig.quick->window(), QPoint(2, 300));
        rig.settle();
        QCOMPARE(hover.count(), 2);
        QCOMPARE(hover.last().at(0).toBool(), false);
    }

    // Nothing is drawn outside the outline: the idle items, the progress line and the travelling
    // views stay within the flares, the body and its rounded corners.
    void contentStaysInsideTheOutline_data()
    {
        QTest::addColumn<int>("phase");
        QTest::newRow("idle") << int(NotchPhase::idle);
        QTest::newRow("proximity") << int(NotchPhase::proximity);
        QTest::newRow("expanded") << int(NotchPhase::expanded);
    }
    void contentStaysInsideTheOutline()
    {
        QFETCH(int, phase);
        ViewRig rig;
        rig.setReduceMotion(true);
        rig.env.settings->setShowCollapsedProgress(true);
        IdleSignal music = musicPlaying(NotchImage{QStringLiteral("red"), pictureBytes(Qt::red)});
        music.progress = 1.0;
        rig.pane(PaneID::music).setIdle(music);
        rig.pane(PaneID::focus).setIdle(focusRunning());
        QVERIFY(rig.load());
        rig.model->setPhase(NotchPhase(phase));
        rig.settle();

        QVERIFY(rig.model->showsProgressBar() || NotchPhase(phase) == NotchPhase::expanded);
        const QImage shot = rig.quick->grab();
        QQuickItem *surface = rig.surface();
        const QRectF rect(surface->mapToScene({0, 0}), surface->size());
        const QPainterPath outline = NotchSilhouette{rig.model->flareRadius(), rig.model->cornerRadius()}.path(rect);
        int outside = 0;
        QString first;
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x) {
                if (qAlpha(shot.pixel(x, y)) > 16 && !outline.intersects(QRectF(x - 0.5, y - 0.5, 2, 2))) {
                    if (outside++ == 0)
                        first = QStringLiteral("(%1, %2)").arg(x).arg(y);
                }
            }
        }
        QVERIFY2(outside == 0, qPrintable(QStringLiteral("%1 pixels outside, first at %2").arg(outside).arg(first)));
    }

    // Landing on the third pane with an expanded width of 520 slides the carousel to −1040, and that
    // pane's content is the one in the window.
    void carouselFollowsTheLandedPane()
    {
        ViewRig rig;
        rig.setReduceMotion(true);
        rig.env.settings->setExpandedWidth(520);
        QVERIFY(rig.load());
        rig.model->setPhase(NotchPhase::expanded);
        rig.model->land(QStringLiteral("clipboard"));
        rig.settle();

        QCOMPARE(rig.model->order()[2], PaneID::clipboard);
        QQuickItem *carousel = rig.find(QStringLiteral("carousel"));
        QVERIFY(carousel);
        QCOMPARE(carousel->x(), -1040.0);
        QQuickItem *host = rig.find(QStringLiteral("paneHost"));
        QQuickItem *content = rig.find(QStringLiteral("content_clipboard"));
        QVERIFY(host && content);
        QCOMPARE(content->mapToItem(host, QPointF(0, 0)), QPointF(0, 0));
        QCOMPARE(host->width(), 520.0);
        QCOMPARE(host->height(), 150.0);
        // The pill row takes 94 points above the carousel, the surface 18 below it.
        QCOMPARE(host->mapToItem(rig.surface(), QPointF(0, 0)).y(), 94.0);
        QCOMPARE(rig.surface()->width(), 520.0);
        QCOMPARE(rig.surface()->height(), 150.0 + 112);
    }

    // The carousel's window takes the height of the pane it lands on, taller or shorter than the
    // one it opened on, so the landed pane shows whole and nothing of the surface stays empty.
    void windowTakesTheLandedPaneHeight_data()
    {
        QTest::addColumn<QString>("pane");
        QTest::addColumn<double>("height");
        QTest::newRow("taller") << QStringLiteral("music") << 156.0;
        QTest::newRow("shorter") << QStringLiteral("clipboard") << 90.0;
    }
    void windowTakesTheLandedPaneHeight()
    {
        QFETCH(QString, pane);
        QFETCH(double, height);

        ViewRig rig(QStringLiteral("usage"), 120);
        rig.setReduceMotion(true);
        rig.pane(PaneID::music).setHeight(156);
        rig.pane(PaneID::clipboard).setHeight(90);
        QVERIFY(rig.load());
        rig.model->setPhase(NotchPhase::expanded);
        rig.settle();
        QQuickItem *host = rig.find(QStringLiteral("paneHost"));
        QVERIFY(host);
        QCOMPARE(host->height(), 120.0);

        rig.model->land(pane);
        rig.settle();
        QCOMPARE(host->height(), height);
        QQuickItem *content = rig.find(QStringLiteral("content_") + pane);
        QVERIFY(content);
        QCOMPARE(content->height(), height);
        QCOMPARE(content->mapToItem(host, QPointF(0, content->height())).y(), host->height());
        QCOMPARE(rig.surface()->height(), height + 112);
    }

    // Only the pane in the carousel's window has a view: landing elsewhere makes the landed pane's
    // view and drops the one left behind, and coming back makes a view over the same pane again.
    void onlyTheShownPaneHasAView_data()
    {
        QTest::addColumn<QString>("pane");
        QTest::newRow("neighbour") << QStringLiteral("usage");
        QTest::newRow("middle") << QStringLiteral("clipboard");
        QTest::newRow("last") << QStringLiteral("focus");
    }
    void onlyTheShownPaneHasAView()
    {
        QFETCH(QString, pane);
        ViewRig rig(QStringLiteral("music"));
        rig.setReduceMotion(true);
        QVERIFY(rig.load());
        rig.model->setPhase(NotchPhase::expanded);
        rig.settle();
        const auto viewsShown = [&rig] {
            QStringList shown;
            for (PaneID id : rig.model->order()) {
                if (rig.find(QStringLiteral("content_") + rawValue(id)))
                    shown << rawValue(id);
            }
            return shown;
        };
        QCOMPARE(viewsShown(), QStringList{QStringLiteral("music")});

        rig.model->land(pane);
        rig.settle();
        QCOMPARE(viewsShown(), QStringList{pane});

        rig.model->land(QStringLiteral("music"));
        rig.settle();
        QCOMPARE(viewsShown(), QStringList{QStringLiteral("music")});
        QQuickItem *content = rig.find(QStringLiteral("content_music"));
        QCOMPARE(content->property("pane").value<QObject *>(), &rig.pane(PaneID::music));
        QCOMPARE(content->height(), 150.0);
    }

    // A playing waveform's new levels reach the rotor's cell that is already there (the strip is not
    // built again at every tick) and the travelling wave shows them at once, with motion on: the bar
    // redraws once per tick, not on every frame between ticks.
    void playingLevelsStepInPlace()
    {
        ViewRig rig;
        rig.pane(PaneID::music).setIdle(musicPlaying());
        QVERIFY(rig.load());
        rig.setReduceMotion(false);
        QQuickItem *placeholder = rig.find(QStringLiteral("waveformPlaceholder"));
        QQuickItem *wave = rig.find(QStringLiteral("travellingWave"));
        QVERIFY(placeholder && wave);

        IdleSignal next = musicPlaying();
        next.rotating = IdleWaveform{{0.9f, 0.2f, 0.4f, 1.0f, 0.7f}};
        rig.pane(PaneID::music).setIdle(next);
        QCOMPARE(rig.find(QStringLiteral("waveformPlaceholder")), placeholder);
        const QVariantList levels = wave->property("levels").toList();
        QCOMPARE(levels.size(), 5);
        QCOMPARE(levels.front().toDouble(), double(0.9f));
        // The first and second bars are drawn at their new heights already: 0.9 and 0.2 of the
        // 22-point cell, in whole pixels (rows 1 to 21 and 8 to 14; the five bars start 10 points
        // in, 6 points apart).
        const QImage shot = rig.quick->grab();
        const auto litRows = [&](int x) {
            const QPoint top = wave->mapToScene(QPointF(x, 0)).toPoint();
            int lit = 0;
            for (int y = 0; y < 22; ++y)
                lit += qGray(shot.pixel(top.x(), top.y() + y)) > 96 ? 1 : 0;
            return lit;
        };
        QVERIFY2(std::abs(litRows(11) - 20) <= 1, qPrintable(QString::number(litRows(11))));
        QVERIFY2(std::abs(litRows(17) - 6) <= 1, qPrintable(QString::number(litRows(17))));
    }

    // Each step of a playing track (new levels, the progress line a little further) draws one frame:
    // nothing laid out while that frame is prepared asks for a second one, which would draw nothing
    // new, at every step.
    void aPlayingStepDrawsOneFrame_data()
    {
        QTest::addColumn<bool>("reduceMotion");
        QTest::newRow("motion") << false;
        QTest::newRow("reduced motion") << true;
    }
    void aPlayingStepDrawsOneFrame()
    {
        QFETCH(bool, reduceMotion);
        ViewRig rig;
        rig.setReduceMotion(reduceMotion);
        rig.pane(PaneID::music).setIdle(musicPlaying());
        QVERIFY(rig.load());
        QSignalSpy frames(&rig.quick->window(), &QQuickWindow::frameSwapped);
        // The window asks for a frame within a few milliseconds of a change: a quiet stretch ten
        // times as long means no frame is wanted.
        const auto quiet = [&frames] {
            qsizetype before = -1;
            while (before != frames.count()) {
                before = frames.count();
                QTest::qWait(50);
            }
        };
        quiet();
        const std::vector<std::vector<float>> steps = {
            {0.9f, 0.2f, 0.4f, 1.0f, 0.7f}, {0.1f, 0.8f, 0.3f, 0.6f, 1.0f}, {0.5f, 0.5f, 0.9f, 0.2f, 0.4f}};
        for (size_t i = 0; i < steps.size(); ++i) {
            IdleSignal next = musicPlaying();
            next.rotating = IdleWaveform{steps[i]};
            next.progress = 0.4 + 0.005 * double(i + 1);
            frames.clear();
            rig.pane(PaneID::music).setIdle(next);
            QTRY_VERIFY(frames.count() >= 1);
            quiet();
            QVERIFY2(frames.count() == 1, qPrintable(QStringLiteral("step %1 drew %2 frames").arg(i).arg(frames.count())));
        }
    }

    // Each change moves with its spring, and lands at once under reduced motion.
    void reducedMotion_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("reduce");
        for (const char *change : {"open", "land", "rotor"}) {
            QTest::addRow("%s, with motion", change) << QString::fromLatin1(change) << false;
            QTest::addRow("%s, reduced motion", change) << QString::fromLatin1(change) << true;
        }
    }
    void reducedMotion()
    {
        QFETCH(QString, change);
        QFETCH(bool, reduce);

        ViewRig rig;
        rig.env.settings->setExpandedWidth(520);
        rig.pane(PaneID::music).setIdle(musicPlaying());
        IdleSignal otherWave;
        otherWave.rotating = IdleWaveform{{0.7f, 0.1f}};
        rig.pane(PaneID::drop).setIdle(otherWave);
        QVERIFY(rig.load());
        if (change == QLatin1String("land")) {
            rig.model->setPhase(NotchPhase::expanded);
            rig.quick->advance(m_driver, 3000);
        }
        rig.setReduceMotion(reduce);

        QQuickItem *item = nullptr;
        const char *property = nullptr;
        double target = 0;
        if (change == QLatin1String("open")) {
            rig.model->setPhase(NotchPhase::expanded);
            item = rig.surface();
            property = "width";
            target = 520;
        } else if (change == QLatin1String("land")) {
            rig.model->land(QStringLiteral("notes"));
            item = rig.find(QStringLiteral("carousel"));
            property = "x";
            target = -3 * 520;
        } else {
            QCOMPARE(int(rig.model->composition().rotor.size()), 2);
            rig.env.clock.advance(std::chrono::milliseconds(3400));
            QCOMPARE(rig.model->rotorIndex(), 1);
            item = rig.find(QStringLiteral("rotorStrip"));
            property = "y";
            target = -22;
        }
        QVERIFY(item);
        rig.settle();
        if (reduce) {
            QCOMPARE(item->property(property).toDouble(), target);
            return;
        }
        QVERIFY2(item->property(property).toDouble() != target, "changed without animation");
        rig.quick->advance(m_driver, 64);
        const double moving = item->property(property).toDouble();
        QVERIFY2(moving != target, "no spring");
        rig.quick->advance(m_driver, 3000);
        QCOMPARE(item->property(property).toDouble(), target);
    }

    // A new notch geometry (the panel moved to another screen) lands at once, even with motion on;
    // a change of the bar's items afterwards still moves with Motion.slot: the leading wing grows
    // and the pinned ring fades in instead of popping in.
    void relocationLandsCompositionSprings()
    {
        ViewRig rig;
        rig.pane(PaneID::music).setIdle(musicPlaying());
        QVERIFY(rig.load());
        rig.setReduceMotion(false);
        QQuickItem *surface = rig.surface();
        QCOMPARE(surface->width(), 306.0);

        rig.model->setGeometry(ShellEnv::geometry(260, 32));
        QCOMPARE(rig.model->surfaceWidth(), 366.0);
        QCOMPARE(surface->width(), 366.0);
        rig.settle();
        QCOMPARE(surface->width(), 366.0);

        QQuickItem *wing = rig.find(QStringLiteral("leadingWing"));
        QQuickItem *pinned = rig.find(QStringLiteral("pinnedSlot"));
        QVERIFY(wing && pinned);
        const double before = wing->width();
        rig.pane(PaneID::focus).setIdle(focusRunning());
        rig.settle();
        QVERIFY2(pinned->opacity() < 0.5, "popped in");
        QCOMPARE(wing->width(), before);
        rig.quick->advance(m_driver, 64);
        const double moving = wing->width();
        QVERIFY2(moving > before, "no spring");
        QVERIFY(pinned->opacity() > 0);
        rig.quick->advance(m_driver, 3000);
        QVERIFY(wing->width() > moving);
        QCOMPARE(pinned->opacity(), 1.0);
        QCOMPARE(surface->width(), 412.0);
    }

    // Captions are the titles in capitals; the selected pill shows Style.onActive on
    // Style.fillActive, the others Style.inkFaint on Style.fill; drawn in the panel's scheme.
    void pills_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("dark theme") << true;
        QTest::newRow("light theme") << false;
    }
    void pills()
    {
        QFETCH(bool, dark);
        Appearance::shared().setMaterial(MaterialMode::solid);
        Appearance::shared().setTheme(dark ? ThemeMode::dark : ThemeMode::light);
        const ColorScheme scheme = dark ? ColorScheme::dark : ColorScheme::light;

        ViewRig rig;
        rig.setReduceMotion(true);
        QVERIFY(rig.load());
        rig.model->setPhase(NotchPhase::expanded);
        rig.model->land(QStringLiteral("notes"));
        rig.settle();

        const QImage shot = rig.quick->grab();
        const QColor ground = Style::color(ColorToken::solidSurface, scheme);
        for (PaneID id : allPanes) {
            QQuickItem *pill = rig.find(QStringLiteral("pill_") + rawValue(id));
            QVERIFY(pill);
            QQuickItem *caption = pill->findChild<QQuickItem *>(QStringLiteral("pillTitle"));
            QVERIFY(caption);
            QCOMPARE(caption->property("text").toString(), title(id).toUpper());
            const bool selected = id == PaneID::notes;
            const QColor text = caption->property("color").value<QColor>();
            const QColor expectedText = Style::color(selected ? ColorToken::onActive : ColorToken::inkFaint, scheme);
            QVERIFY2(near(text.rgba(), expectedText, 1) && std::abs(text.alpha() - expectedText.alpha()) <= 1,
                     qPrintable(text.name(QColor::HexArgb)));
            // A point of the capsule left of the caption.
            const QPoint at = pill->mapToScene({6, pill->height() / 2}).toPoint();
            const QColor fill = over(Style::color(selected ? ColorToken::fillActive : ColorToken::fill, scheme), ground);
            QVERIFY2(near(shot.pixel(at), fill),
                     qPrintable(rawValue(id) + QStringLiteral(": ") + describe(shot.pixel(at)) + QStringLiteral(" for ")
                                + fill.name()));
        }
        QCOMPARE(rig.find(QStringLiteral("pill_usage"))->findChild<QQuickItem *>(QStringLiteral("pillTitle"))
                     ->property("text")
                     .toString(),
                 QStringLiteral("AI USAGE"));

        // A tap on a pill lands on its pane.
        QQuickItem *drop = rig.find(QStringLiteral("pill_drop"));
        QTest::mouseClick(&rig.quick->window(), Qt::LeftButton, {}, drop->mapToScene({drop->width() / 2, 12}).toPoint());
        QCOMPARE(rig.model->landed(), PaneID::drop);
    }

    // The collapsed bar is always dark; the open panel follows the theme.
    void schemeByPhase()
    {
        Appearance::shared().setTheme(ThemeMode::light);
        ViewRig rig;
        rig.setReduceMotion(true);
        QVERIFY(rig.load());
        auto *style = rig.quick->singleton<Style>("Style");
        QVERIFY(style->dark());
        rig.model->setPhase(NotchPhase::expanded);
        QVERIFY(!style->dark());
        rig.model->setPhase(NotchPhase::proximity);
        QVERIFY(style->dark());
        Appearance::shared().setTheme(ThemeMode::dark);
        rig.model->setPhase(NotchPhase::expanded);
        QVERIFY(style->dark());
    }

    // Hiding the collapsed surface (over a full-screen window) leaves nothing drawn while collapsed,
    // and does not touch the open panel.
    void hidesCollapsed_data()
    {
        QTest::addColumn<int>("phase");
        QTest::newRow("idle") << int(NotchPhase::idle);
        QTest::newRow("proximity") << int(NotchPhase::proximity);
        QTest::newRow("expanded") << int(NotchPhase::expanded);
    }
    void hidesCollapsed()
    {
        QFETCH(int, phase);
        ViewRig rig;
        rig.setReduceMotion(true);
        rig.pane(PaneID::music).setIdle(musicPlaying(NotchImage{QStringLiteral("red"), pictureBytes(Qt::red)}));
        QVERIFY(rig.load());
        rig.model->setPhase(NotchPhase(phase));
        rig.settle();
        QVERIFY(opaquePixels(rig.quick->grab()) > 1000);

        rig.model->setHidesCollapsed(true);
        rig.settle();
        const int shown = opaquePixels(rig.quick->grab());
        if (NotchPhase(phase) == NotchPhase::expanded)
            QVERIFY(shown > 1000);
        else
            QCOMPARE(shown, 0);
    }
};

QTEST_MAIN(RootViewTest)
#include "tst_rootview.moc"
