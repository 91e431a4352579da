// labels: unit
// The file drag source on an offscreen window: how far a press must move to become a drag, what a
// click and a finished drag do to the shelf item, and the context menu. The drag itself and the
// menu's window are faked; the shelf is real, on a temporary folder.
#include "drop/DropPane.h"
#include "drop/FileDragSource.h"
#include "fakes/ManualClock.h"
#include "platform/FileWorkspace.h"

#include <QFile>
#include <QMouseEvent>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>

using namespace tavrenhold;

namespace {

class FakeWorkspace final : public platform::FileWorkspace {
public:
    QStringList opened;
    QStringList revealed;
    void open(const QString &path) override { opened << path; }
    void reveal(const QString &path) override { revealed << path; }
};

// Records the drags and menus it would show; a drag ends with `result`.
class RecordingSource final : public FileDragSource {
public:
    QStringList dragged;
    QByteArrayList draggedBytes;
    int menus = 0;
    Qt::DropAction result = Qt::CopyAction;

protected:
    Qt::DropAction runDrag(const QString &path) override
    {
        dragged << path;
        QFile file(path);
        draggedBytes << (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
        return result;
    }
    void showMenu(QPointF) override { ++menus; }
};

struct Rig {
    QTemporaryDir root;
    test::ManualClock clock;
    DropPane pane{root.filePath(QStringLiteral("DropShelf")), clock};
    FakeWorkspace workspace;
    QQuickWindow window;
    RecordingSource *source = nullptr;

    Rig()
    {
        window.resize(200, 100);
        source = new RecordingSource;
        source->setParentItem(window.contentItem());
        source->setPosition(QPointF(0, 0));
        source->setSize(QSizeF(200, 100));
        source->setPane(&pane);
        source->setWorkspace(&workspace);
        window.show();
    }

    QString park(const QString &name, const QByteArray &bytes)
    {
        const QString path = root.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write(bytes);
        file.close();
        pane.ingest({QUrl::fromLocalFile(path)});
        // Parked once its copy, made on a worker, is whole.
        if (!QTest::qWaitFor([&] { return !pane.isCopying(); }, 30000) || pane.items().empty())
            return {};
        return pane.items().back().id.toString(QUuid::WithoutBraces);
    }

    void send(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        QMouseEvent event(type, at, at, window.mapToGlobal(at), button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &event);
    }
    // Press at `from`, move to `to` (when it differs), release there.
    void gesture(QPointF from, QPointF to)
    {
        send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        if (to != from)
            send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    }
};

} // namespace

class FileDragSourceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A press becomes a drag at 4 points of straight-line travel; short of it, the release opens.
    // A drag that the other side took removes the item; a refused one leaves it.
    void threshold_data()
    {
        QTest::addColumn<QPointF>("move");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("drags");
        QTest::addColumn<bool>("stays");
        QTest::newRow("no move") << QPointF(0, 0) << int(Qt::CopyAction) << false << true;
        QTest::newRow("3.9 points") << QPointF(3.9, 0) << int(Qt::CopyAction) << false << true;
        QTest::newRow("4 points") << QPointF(4, 0) << int(Qt::CopyAction) << true << false;
        QTest::newRow("4 points up") << QPointF(0, -4) << int(Qt::CopyAction) << true << false;
        QTest::newRow("3 x 3 diagonal") << QPointF(3, 3) << int(Qt::CopyAction) << true << false;
        QTest::newRow("taken as a move") << QPointF(6, 0) << int(Qt::MoveAction) << true << false;
        QTest::newRow("refused") << QPointF(6, 0) << int(Qt::IgnoreAction) << true << true;
    }
    void threshold()
    {
        QFETCH(QPointF, move);
        QFETCH(int, result);
        QFETCH(bool, drags);
        QFETCH(bool, stays);
        Rig rig;
        const QString id = rig.park(QStringLiteral("a.txt"), "chip bytes");
        const QString stored = *rig.pane.storedPath(id);
        rig.source->setItemId(id);
        rig.source->result = Qt::DropAction(result);

        const QPointF from(50.5, 40.25);
        rig.gesture(from, from + move);
        QCOMPARE(rig.source->dragged.size(), drags ? 1 : 0);
        QCOMPARE(rig.workspace.opened, drags ? QStringList() : QStringList{stored});
        if (drags) {
            // A copy outside the shelf, under the item's own name, with its bytes.
            QCOMPARE(QFileInfo(rig.source->dragged.first()).fileName(), QStringLiteral("a.txt"));
            QVERIFY(!rig.source->dragged.first().startsWith(rig.pane.directory()));
            QCOMPARE(rig.source->draggedBytes.first(), QByteArray("chip bytes"));
        }
        // Removal waits for the drag's event to end (the chip goes with its item).
        QCOMPARE(rig.pane.items().size(), size_t(1));
        QTRY_COMPARE(rig.pane.items().size(), stays ? size_t(1) : size_t(0));
        QTest::qWait(0);
        QCOMPARE(rig.pane.items().size(), stays ? size_t(1) : size_t(0));
    }

    // Without a file to drag (the item left the shelf), a long move neither drags nor opens.
    void nothingToDrag()
    {
        Rig rig;
        rig.source->setItemId(QUuid::createUuid().toString(QUuid::WithoutBraces));
        rig.gesture(QPointF(50, 40), QPointF(60, 40));
        QCOMPARE(rig.source->dragged, QStringList());
        QCOMPARE(rig.workspace.opened, QStringList());
    }

    // A chip given another item acts on that one from the next press on.
    void anotherItem()
    {
        Rig rig;
        const QString a = rig.park(QStringLiteral("a.txt"), "a");
        const QString b = rig.park(QStringLiteral("b.txt"), "b");
        rig.source->setItemId(a);
        rig.gesture(QPointF(50, 40), QPointF(50, 40));
        rig.source->setItemId(b);
        rig.gesture(QPointF(50, 40), QPointF(50, 40));
        rig.source->trigger(FileDragSource::MenuAction::reveal);
        QCOMPARE(rig.workspace.opened, (QStringList{*rig.pane.storedPath(a), *rig.pane.storedPath(b)}));
        QCOMPARE(rig.workspace.revealed, QStringList{*rig.pane.storedPath(b)});
        rig.gesture(QPointF(50, 40), QPointF(50, 50));
        QCOMPARE(rig.source->draggedBytes, QByteArrayList{"b"});
    }

    void contextMenu()
    {
        using Action = FileDragSource::MenuAction;
        const std::vector<FileDragSource::MenuEntry> expected{{QStringLiteral("Open"), Action::open},
                                                              {QStringLiteral("Show in Folder"), Action::reveal},
                                                              {QString(), Action::separator},
                                                              {QStringLiteral("Remove"), Action::remove}};
        QVERIFY(FileDragSource::menuEntries() == expected);

        Rig rig;
        const QString id = rig.park(QStringLiteral("a.txt"), "a");
        rig.source->setItemId(id);
        // A secondary click shows the menu and is no click on the chip.
        rig.send(QEvent::MouseButtonPress, QPointF(50, 40), Qt::RightButton, Qt::RightButton);
        rig.send(QEvent::MouseButtonRelease, QPointF(50, 40), Qt::RightButton, Qt::NoButton);
        QCOMPARE(rig.source->menus, 1);
        QCOMPARE(rig.workspace.opened, QStringList());
        rig.source->trigger(Action::open);
        QCOMPARE(rig.workspace.opened, QStringList{*rig.pane.storedPath(id)});
        rig.source->trigger(Action::remove);
        QTRY_COMPARE(rig.pane.items().size(), size_t(0));
    }
};

QTEST_MAIN(FileDragSourceTest)
#include "tst_filedragsource.moc"
