// labels: qml
// The travel layer: placeholders publish their frames, the travelling views follow them and fly
// between the idle bar and the open panel.
#include "ViewRig.h"
#include "shell/TravelFlight.h"
#include "shell/TravelSpace.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_ShellPlugin)

using namespace tavrenhold;
using namespace tavrenhold::test;

namespace {

QRectF frameOf(const QQuickItem *item) { return QRectF(item->x(), item->y(), item->width(), item->height()); }

QString describe(const QRectF &r)
{
    return QStringLiteral("(%1, %2, %3 × %4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

} // namespace

class TravelViewTest : public QObject {
    Q_OBJECT

    StepDriver m_driver;

private Q_SLOTS:
    void initTestCase()
    {
        isolateUserFolders();
        m_driver.install();
    }

    // One source per id: the latest publisher wins, only it withdraws, and an anchor publishes only
    // while it is the source.
    void sourcesAndAnchors()
    {
        TravelSpace space;
        QSignalSpy changed(&space, &TravelSpace::sourceChanged);
        QObject a, b;
        space.publish(QStringLiteral("artwork"), &a, {1, 2, 24, 24});
        space.publish(QStringLiteral("artwork"), &a, {1, 2, 24, 24});
        QCOMPARE(changed.count(), 1);
        space.publish(QStringLiteral("artwork"), &b, {5, 5, 24, 24});
        space.withdraw(QStringLiteral("artwork"), &a);
        QCOMPARE(space.sourceFrame(QStringLiteral("artwork")), QRectF(5, 5, 24, 24));
        space.withdraw(QStringLiteral("artwork"), &b);
        QVERIFY(!space.hasSource(QStringLiteral("artwork")));

        space.setSize({300, 100});
        QQuickItem holder(&space);
        holder.setPosition({40, 10});
        auto *anchor = new TravelAnchor(&holder);
        anchor->setSize({46, 22});
        anchor->setPosition({3, 4});
        anchor->setSpace(&space);
        anchor->setMatchId(QStringLiteral("waveform"));
        QVERIFY(!space.hasSource(QStringLiteral("waveform")));
        anchor->setIsSource(true);
        QCOMPARE(space.sourceFrame(QStringLiteral("waveform")), QRectF(43, 14, 46, 22));
        anchor->setX(13);
        QCOMPARE(space.sourceFrame(QStringLiteral("waveform")), QRectF(53, 14, 46, 22));
        anchor->setIsSource(false);
        QVERIFY(!space.hasSource(QStringLiteral("waveform")));
        anchor->setIsSource(true);
        delete anchor;
        QVERIFY(!space.hasSource(QStringLiteral("waveform")));
    }

    // A flight starts from the frame as drawn before the changes that came together, follows its
    // destination live, and lands on it; without motion it lands at once.
    void flight()
    {
        TravelSpace space;
        QObject source;
        space.publish(QStringLiteral("artwork"), &source, {100, 10, 24, 24});
        TravelFlight flight;
        QSignalSpy launched(&flight, &TravelFlight::launched);
        flight.setSpace(&space);
        flight.setMatchId(QStringLiteral("artwork"));
        flight.setRestSize({24, 24});
        flight.settle();
        QCOMPARE(flight.frame(), QRectF(100, 10, 24, 24));
        QCOMPARE(launched.count(), 0);

        // Collapsed, it follows the source exactly.
        space.publish(QStringLiteral("artwork"), &source, {110, 10, 24, 24});
        QTRY_COMPARE(flight.frame(), QRectF(110, 10, 24, 24));

        // Opening on music: the source goes, the size grows and the key flips together.
        space.withdraw(QStringLiteral("artwork"), &source);
        flight.setRestSize({156, 156});
        flight.setKey(true);
        QTRY_COMPARE(launched.count(), 1);
        QCOMPARE(flight.progress(), 0.0);
        QCOMPARE(flight.frame(), QRectF(110, 10, 24, 24));
        QCOMPARE(flight.target(), QRectF(0, 0, 156, 156));
        flight.setProgress(0.5);
        QCOMPARE(flight.frame(), QRectF(55, 5, 90, 90));
        // The destination moves mid-flight: the frame follows it.
        flight.setRestOrigin({20, 0});
        QTRY_COMPARE(flight.frame(), QRectF(65, 5, 90, 90));
        flight.setProgress(1);
        QCOMPARE(flight.frame(), QRectF(20, 0, 156, 156));

        // Without motion a flight lands at once, and one under way lands when motion goes off.
        flight.setAnimated(false);
        space.publish(QStringLiteral("artwork"), &source, {100, 10, 24, 24});
        flight.setKey(false);
        flight.settle();
        QCOMPARE(launched.count(), 1);
        QCOMPARE(flight.frame(), QRectF(100, 10, 24, 24));
        flight.setAnimated(true);
        flight.setKey(true);
        flight.settle();
        QCOMPARE(launched.count(), 2);
        flight.setProgress(0.25);
        flight.setAnimated(false);
        QCOMPARE(flight.frame(), flight.target());
    }

    // In the bar the travelling views lie exactly on their placeholders; opening on music they take
    // their open sizes and fade out; on another pane they keep their idle sizes; closing brings them
    // back onto the bar's placeholders. In notch width they are not shown at all.
    void layerFollowsThePlaceholders()
    {
        ViewRig rig;
        rig.setReduceMotion(true);
        rig.pane(PaneID::music).setIdle(musicPlaying(NotchImage{QStringLiteral("red"), pictureBytes(Qt::red)}));
        QVERIFY(rig.load());
        rig.settle();

        QQuickItem *art = rig.find(QStringLiteral("travellingArt"));
        QQuickItem *wave = rig.find(QStringLiteral("travellingWave"));
        QQuickItem *artPlace = rig.find(QStringLiteral("artworkPlaceholder"));
        QQuickItem *wavePlace = rig.find(QStringLiteral("waveformPlaceholder"));
        QVERIFY(art && wave);
        QVERIFY(artPlace);
        QVERIFY(wavePlace);
        auto *space = rig.root()->property("travel").value<QQuickItem *>();
        const auto placed = [space](QQuickItem *item) { return item->mapRectToItem(space, QRectF(0, 0, 24, 24)); };
        QCOMPARE(frameOf(art), placed(artPlace));
        QCOMPARE(frameOf(wave), wavePlace->mapRectToItem(space, QRectF(0, 0, 46, 22)));
        QCOMPARE(art->opacity(), 1.0);
        QVERIFY(art->isVisible() && wave->isVisible());

        // The picture is drawn on the placeholder's place in the bar.
        const QImage shot = rig.quick->grab();
        const QPoint centre = art->mapToScene({12, 12}).toPoint();
        QCOMPARE(shot.pixel(centre), qRgba(255, 0, 0, 255));

        rig.model->setPhase(NotchPhase::expanded);
        rig.settle();
        QCOMPARE(frameOf(art), QRectF(0, 0, 156, 156));
        QCOMPARE(frameOf(wave), QRectF(0, 0, 26, 46));
        QCOMPARE(art->opacity(), 0.0);
        QCOMPARE(wave->opacity(), 0.0);

        rig.model->land(QStringLiteral("notes"));
        rig.settle();
        QCOMPARE(frameOf(art).size(), QSizeF(24, 24));
        QCOMPARE(frameOf(wave).size(), QSizeF(46, 22));

        rig.model->land(QStringLiteral("music"));
        rig.model->setPhase(NotchPhase::idle);
        rig.settle();
        artPlace = rig.find(QStringLiteral("artworkPlaceholder"));
        QVERIFY(artPlace);
        QCOMPARE(frameOf(art), placed(artPlace));
        QCOMPARE(art->opacity(), 1.0);

        rig.env.settings->setCollapsedWidth(CollapsedWidth::notch);
        rig.settle();
        QCOMPARE(art->opacity(), 0.0);
        QCOMPARE(wave->opacity(), 0.0);

        // Without artwork and waveform the layer is empty.
        rig.pane(PaneID::music).setIdle(IdleSignal::inactive);
        rig.settle();
        QVERIFY(!art->isVisible());
        QVERIFY(!wave->isVisible());
    }

    // With motion the artwork springs from its place in the bar to its open size while fading.
    void flightWithMotion()
    {
        ViewRig rig;
        rig.pane(PaneID::music).setIdle(musicPlaying());
        QVERIFY(rig.load());
        rig.settle();
        QQuickItem *art = rig.find(QStringLiteral("travellingArt"));
        QVERIFY(art);
        const QRectF start = frameOf(art);
        QCOMPARE(start.size(), QSizeF(24, 24));

        rig.model->setPhase(NotchPhase::expanded);
        rig.settle();
        rig.quick->advance(m_driver, 96);
        const QRectF between = frameOf(art);
        QVERIFY2(between.width() > 24 && between.width() < 156, qPrintable(describe(between)));
        QVERIFY2(between.x() < start.x() && between.x() > 0, qPrintable(describe(between)));
        QVERIFY(art->opacity() > 0 && art->opacity() < 1);

        rig.quick->advance(m_driver, 3000);
        QCOMPARE(frameOf(art), QRectF(0, 0, 156, 156));
        QCOMPARE(art->opacity(), 0.0);
    }
};

QTEST_MAIN(TravelViewTest)
#include "tst_travelview.moc"
