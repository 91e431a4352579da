// labels: unit
// The file-drop band over the notch: arming while files are dragged near it, the answer cached per
// drag, the Drop pane's targeting keeping the surface open, and its drop target opening the notch.
#include "ControllerRig.h"

#include "drop/DropPane.h"

#include <QTemporaryDir>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>

using namespace tavrenhold;
using namespace tavrenhold::test;

namespace {
constexpr double centreX = ControllerRig::centreX;
// The band is 380 wide (the notch + 180) and 134 high at the top centre: x 566 … 946, y 0 … 134 in
// Qt's coordinates; grown by 70 it reaches x 496 … 1016 and y down to 204.
const QRectF bandInPanel(190, 0, 380, 134);

struct DropRig : ControllerRig {
    DropRig()
    {
        shell.addPanes({"usage", "music", "clipboard", "notes", "focus"});
        shell.extraPanes.push_back(&drop);
        start();
    }
    ~DropRig() { controller.reset(); }
    [[nodiscard]] bool armed() const { return controller->isDragArmed(); }

    QTemporaryDir cache;
    DropPane drop{cache.filePath(QStringLiteral("DropShelf")), Clock::system()};
};
} // namespace

class DragBandTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { isolateUserFolders(); }

    void arming_data()
    {
        QTest::addColumn<QPointF>("point");
        QTest::addColumn<bool>("files");
        QTest::addColumn<bool>("button");
        QTest::addColumn<bool>("armed");
        QTest::newRow("files over the band") << QPointF(centreX, 100) << true << true << true;
        QTest::newRow("files 70 pt below it") << QPointF(centreX, 204) << true << true << true;
        QTest::newRow("files 71 pt below it") << QPointF(centreX, 205) << true << true << false;
        QTest::newRow("files 70 pt left of it") << QPointF(496, 100) << true << true << true;
        QTest::newRow("files 71 pt left of it") << QPointF(495, 100) << true << true << false;
        QTest::newRow("no files") << QPointF(centreX, 100) << false << true << false;
        QTest::newRow("files, no button") << QPointF(centreX, 100) << true << false << false;
    }
    void arming()
    {
        QFETCH(QPointF, point);
        QFETCH(bool, files);
        QFETCH(bool, button);
        QFETCH(bool, armed);
        DropRig rig;
        rig.drag.beginDrag(files);
        rig.moveTo(point.x(), point.y(), button ? Qt::LeftButton : Qt::NoButton);
        QCOMPARE(rig.armed(), armed);
        QCOMPARE(rig.controller->hitBox().dragArmed(), armed);
        QCOMPARE(rig.panel().dragCatcher()->opacity(), armed ? 0.01 : 0.0);
        // Armed, the band takes the pointer whatever the phase.
        QCOMPARE(rig.inputShape().contains(bandInPanel), armed);
        QCOMPARE(rig.phase(), NotchPhase::idle);
    }

    void leavingTheGrownBandDisarms()
    {
        DropRig rig;
        rig.drag.beginDrag(true);
        rig.moveTo(centreX, 100, Qt::LeftButton);
        QVERIFY(rig.armed());
        rig.moveTo(centreX, 300, Qt::LeftButton);
        QVERIFY(!rig.armed());
        QCOMPARE(rig.panel().dragCatcher()->opacity(), 0.0);
        QVERIFY(!rig.inputShape().contains(bandInPanel));
    }

    // The drag's data is asked about once per drag; a late answer for the same drag is asked again.
    void filesAnswerCachedPerDrag()
    {
        DropRig rig;
        rig.drag.beginDrag(true);
        rig.moveTo(centreX, 100, Qt::LeftButton);
        rig.moveTo(centreX, 110, Qt::LeftButton);
        rig.moveTo(centreX, 120, Qt::LeftButton);
        QCOMPARE(rig.drag.reads, 1);
        QVERIFY(rig.armed());

        rig.drag.beginDrag(false); // a new drag without files
        rig.moveTo(centreX, 100, Qt::LeftButton);
        QCOMPARE(rig.drag.reads, 2);
        QVERIFY(!rig.armed());

        rig.drag.answer(true); // its source answered late: it does carry files
        rig.moveTo(centreX, 110, Qt::LeftButton);
        QCOMPARE(rig.drag.reads, 3);
        QVERIFY(rig.armed());
    }

    void targetedDropPaneHoldsTheSurfaceOpen()
    {
        DropRig rig;
        rig.open();
        rig.drop.beginTargeting();
        rig.moveTo(centreX, 700);
        QCOMPARE(rig.phase(), NotchPhase::expanded);
        QVERIFY(!rig.controller->isCollapsePending());
        QVERIFY(rig.armed()); // without a button the band stays armed while targeted
        rig.advance(1000);
        QCOMPARE(rig.phase(), NotchPhase::expanded);

        rig.drop.endTargeting();
        rig.moveTo(centreX, 710);
        QVERIFY(!rig.armed());
        QVERIFY(rig.controller->isCollapsePending());
        rig.advance(140);
        QCOMPARE(rig.phase(), NotchPhase::idle);
    }

    void dragRequestOpensOnTheDropPane()
    {
        DropRig rig;
        QVERIFY(rig.drop.onDragRequestsExpand());
        rig.drop.onDragRequestsExpand()();
        QCOMPARE(rig.phase(), NotchPhase::expanded);
        QCOMPARE(rig.model().landed(), PaneID::drop);
        // The controller gone, the request does nothing.
        auto request = rig.drop.onDragRequestsExpand();
        rig.controller.reset();
        request();
    }

    // A file drag entering the armed band reaches the Drop pane's drop target, which opens the notch
    // on the Drop pane; a link is not taken; leaving ends the targeting.
    void dropTargetOverTheNotch_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<bool>("taken");
        QTest::newRow("file") << QUrl::fromLocalFile(QStringLiteral("/tmp/report.pdf")) << true;
        QTest::newRow("web link") << QUrl(QStringLiteral("https://example.org/report.pdf")) << false;
    }
    void dropTargetOverTheNotch()
    {
        QFETCH(QUrl, url);
        QFETCH(bool, taken);
        DropRig rig;
        rig.drag.beginDrag(true);
        rig.moveTo(centreX, 100, Qt::LeftButton);
        QVERIFY(rig.armed());

        QMimeData data;
        data.setUrls({url});
        const QPointF inBand(380, 100);
        QDragEnterEvent enter(inBand.toPoint(), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&rig.panel(), &enter);
        QCOMPARE(rig.drop.isTargeted(), taken);
        QCOMPARE(rig.phase(), taken ? NotchPhase::expanded : NotchPhase::idle);
        if (taken)
            QCOMPARE(rig.model().landed(), PaneID::drop);

        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(&rig.panel(), &leave);
        QVERIFY(!rig.drop.isTargeted());
    }
};

QTEST_MAIN(DragBandTest)
#include "tst_dragband.moc"
