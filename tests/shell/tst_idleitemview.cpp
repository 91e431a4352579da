// labels: qml
// The idle item views: each kind's cell, the help text, the artwork tile's picture and its fallback,
// and the ring that counts down its span by itself.
#include "ViewRig.h"
#include "shell/RingTimeline.h"

#include <QGuiApplication>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_ShellPlugin)

using namespace tavrenhold;
using namespace tavrenhold::test;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(tavrenhold::IdleItem)

namespace {

const QDateTime start(QDate(2026, 1, 5), QTime(9, 0), Qt::UTC);

// An identity item of `pane`, which is focused.
ViewRig &offer(ViewRig &rig, PaneID pane, const IdleItem &item)
{
    IdleSignal s;
    s.identity = item;
    rig.pane(pane).setIdle(s);
    return rig;
}

} // namespace

class IdleItemViewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { isolateUserFolders(); }

    // The ring's reading within its span: the date held in the span, the share gone, the time left.
    void ringReading_data()
    {
        QTest::addColumn<int>("at"); // milliseconds from the span's start
        QTest::addColumn<double>("progress");
        QTest::addColumn<QString>("label");
        QTest::newRow("before the start") << -5000 << 0.0 << "1:00";
        QTest::newRow("at the start") << 0 << 0.0 << "1:00";
        QTest::newRow("a quarter in") << 15000 << 0.25 << "0:45";
        QTest::newRow("at the end") << 60000 << 1.0 << "0:00";
        QTest::newRow("long after the end") << 600000 << 1.0 << "0:00";
    }
    void ringReading()
    {
        QFETCH(int, at);
        QFETCH(double, progress);
        QFETCH(QString, label);
        const TimeSpan span{start, start.addSecs(60)};
        QVERIFY(ringTicks(span));
        const RingReading reading = tavrenhold::ringReading(span, start.addMSecs(at));
        QCOMPARE(reading.progress, progress);
        QCOMPARE(reading.label, label);
    }

    // Ticks come every whole second from the span's start; before it, the start is the first.
    void ringTicksFromTheStart()
    {
        const TimeSpan span{start, start.addSecs(60)};
        QCOMPARE(ringTick(span, start.addMSecs(30500)), start.addSecs(30));
        QCOMPARE(ringTick(span, start.addMSecs(-2500)), start);
        QVERIFY(!ringTicks(TimeSpan{start, start}));
        QVERIFY(!ringTicks(TimeSpan{start, start.addSecs(-1)}));
        QVERIFY(!ringTicks(TimeSpan{}));
    }

    // Without a span that ticks, the stored values show (clamped) and nothing waits; with one, the
    // ring counts down by the shell's clock and stops at the end.
    void ringTimeline()
    {
        ShellEnv env;
        auto model = env.make();
        RingTimeline ring;
        ring.setShell(model.get());
        ring.setProgress(1.3);
        ring.setLabel(QStringLiteral("2 left"));
        QCOMPARE(ring.shownProgress(), 1.0);
        QCOMPARE(ring.shownLabel(), QStringLiteral("2 left"));
        QVERIFY(!ring.ticking());

        const QDateTime now = env.clock.wallNow();
        ring.setSpanStart(now);
        ring.setSpanEnd(now.addSecs(-10));
        ring.setHasSpan(true);
        QCOMPARE(ring.shownLabel(), QStringLiteral("2 left"));
        QVERIFY(!ring.ticking());
        QCOMPARE(env.clock.sleepers(), 0);

        ring.setSpanStart(now.addSecs(-30));
        ring.setSpanEnd(now.addSecs(90));
        QCOMPARE(ring.shownProgress(), 0.25);
        QCOMPARE(ring.shownLabel(), QStringLiteral("1:30"));
        QVERIFY(ring.ticking());
        env.clock.advance(999ms);
        QCOMPARE(ring.shownLabel(), QStringLiteral("1:30"));
        env.clock.advance(1ms);
        QCOMPARE(ring.shownLabel(), QStringLiteral("1:29"));
        env.clock.advance(89s);
        QCOMPARE(ring.shownProgress(), 1.0);
        QCOMPARE(ring.shownLabel(), QStringLiteral("0:00"));
        QVERIFY(!ring.ticking());
        QCOMPARE(env.clock.sleepers(), 0);

        // A new stored value without a span stops the count.
        ring.setSpanEnd(now.addSecs(600));
        QVERIFY(ring.ticking());
        ring.setHasSpan(false);
        QVERIFY(!ring.ticking());
        QCOMPARE(env.clock.sleepers(), 0);
    }

    // The ring in the bar counts down its span from the entry the pane offers.
    void ringInTheBarCounts()
    {
        ViewRig rig(QStringLiteral("notes"));
        rig.setReduceMotion(true);
        const QDateTime now = rig.env.clock.wallNow();
        IdleSignal focus;
        focus.pinnedLeading = IdleRing{0.9, QStringLiteral("stale"), TimeSpan{now.addSecs(-60), now.addSecs(240)}};
        rig.pane(PaneID::focus).setIdle(focus);
        QVERIFY(rig.load());
        QQuickItem *label = rig.find(QStringLiteral("ringLabel"));
        QVERIFY(label);
        QCOMPARE(label->property("text").toString(), QStringLiteral("4:00"));
        rig.env.clock.advance(1s);
        QCOMPARE(label->property("text").toString(), QStringLiteral("3:59"));
        rig.env.clock.advance(300s);
        QCOMPARE(label->property("text").toString(), QStringLiteral("0:00"));
    }

    // Each kind in its cell; a badge or ring without text shows no gap after its symbol.
    void kinds_data()
    {
        QTest::addColumn<int>("pane");
        QTest::addColumn<IdleItem>("item");
        QTest::addColumn<double>("width"); // negative: wider than its magnitude
        QTest::addColumn<double>("height");
        QTest::addColumn<QString>("help");

        const auto music = int(PaneID::music);
        QTest::newRow("artwork") << music << IdleItem(IdleArtwork{}) << 24.0 << 24.0 << "";
        QTest::newRow("waveform") << music << IdleItem(IdleWaveform{{0.5f, 0.04f}}) << 46.0 << 22.0 << "";
        QTest::newRow("glyph") << int(PaneID::notes) << IdleItem(IdleGlyph{QStringLiteral("pencil.and.scribble")}) << 15.0
                               << 15.0 << "";
        QTest::newRow("badge without text") << int(PaneID::drop)
                                            << IdleItem(IdleBadge{QStringLiteral("square.stack.3d.up"), QString()})
                                            << 11.5 << 11.5 << "";
        QTest::newRow("badge with text") << int(PaneID::drop)
                                         << IdleItem(IdleBadge{QStringLiteral("square.stack.3d.up"), QStringLiteral("3")})
                                         << -17.0 << -1.0 << "";
        QTest::newRow("ring without label") << int(PaneID::focus) << IdleItem(IdleRing{0.5, QString(), std::nullopt})
                                            << 15.0 << 15.0 << "";
        QTest::newRow("ring with label") << int(PaneID::focus)
                                         << IdleItem(IdleRing{0.5, QStringLiteral("12:00"), std::nullopt}) << -20.0
                                         << -1.0 << "";
        QTest::newRow("usage glyph") << int(PaneID::usage)
                                     << IdleItem(IdleGlyph{QStringLiteral("gauge.with.dots.needle.67percent")}) << 15.0
                                     << 15.0 << "Click to see model usage";
    }
    void kinds()
    {
        QFETCH(int, pane);
        QFETCH(IdleItem, item);
        QFETCH(double, width);
        QFETCH(double, height);
        QFETCH(QString, help);

        ViewRig rig(rawValue(PaneID(pane)));
        offer(rig, PaneID(pane), item);
        QVERIFY(rig.loadView("Item { IdleItemView { objectName: \"view\"; shell: shellModel; entry: shellModel.identity } }",
                             {120, 60}));
        QQuickItem *view = rig.find(QStringLiteral("view"));
        QVERIFY(view);
        if (width >= 0)
            QCOMPARE(view->width(), width);
        else
            QVERIFY2(view->width() > -width, qPrintable(QString::number(view->width())));
        if (height >= 0)
            QCOMPARE(view->height(), height);
        QCOMPARE(view->property("help").toString(), help);
    }

    // The tile shows the artwork's picture, filled and clipped; without a picture that decodes, the
    // music note on Style.fill.
    void artworkTile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("picture");
        QTest::newRow("picture") << pictureBytes(QColor(255, 0, 0), {80, 40}) << true;
        QTest::newRow("bytes that do not decode") << QByteArray("not a picture") << false;
        QTest::newRow("no image") << QByteArray() << false;
    }
    void artworkTile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, picture);
        ViewRig rig;
        offer(rig, PaneID::music, IdleArtwork{NotchImage::make(QStringLiteral("art-%1").arg(bytes.size()), bytes)});
        QVERIFY(rig.loadView("Item { IdleItemView { objectName: \"view\"; x: 10; y: 10; shell: shellModel; "
                             "entry: shellModel.identity } }",
                             {60, 60}));
        QQuickItem *tile = rig.find(QStringLiteral("artworkTile"));
        QVERIFY(tile);
        QCOMPARE(tile->property("hasPicture").toBool(), picture);
        const QImage shot = rig.quick->grab();
        const QRgb centre = shot.pixel(22, 22);
        const QRgb corner = shot.pixel(10, 10); // outside the rounded corner
        QCOMPARE(qAlpha(corner), 0);
        if (picture) {
            QCOMPARE(centre, qRgba(255, 0, 0, 255));
            // Filled: the wide picture covers the whole tile, top to bottom.
            QCOMPARE(shot.pixel(22, 11), qRgba(255, 0, 0, 255));
        } else {
            // The note, in Style.inkFaint over the tile's faint Style.fill, stands out in the middle.
            const auto alphaIn = [&shot](int x0, int y0) {
                int sum = 0;
                for (int y = y0; y < y0 + 6; ++y) {
                    for (int x = x0; x < x0 + 6; ++x)
                        sum += qAlpha(shot.pixel(x, y));
                }
                return sum;
            };
            QVERIFY(alphaIn(19, 19) > 2 * alphaIn(13, 13));
            QVERIFY(qAlpha(shot.pixel(13, 13)) > 0);
        }
    }
};

QTEST_MAIN(IdleItemViewTest)
#include "tst_idleitemview.moc"
