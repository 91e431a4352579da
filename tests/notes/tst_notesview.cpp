// labels: qml
// The Notes pane's view offscreen, driven by the pointer and the keyboard as a user would: the
// empty face, tiles two to a row, the editor opened by "plus" and by a tile, what reaches the file
// and when, and "Delete" from a tile's menu.
#include "fakes/ManualClock.h"
#include "notes/NotesPane.h"

#include <QFile>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>
#include <QtQuickTest/quicktest.h>
#include <QtQml/qqmlextensionplugin.h>

#include <functional>
#include <memory>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_NotesPlugin)

using namespace tavrenhold;
using namespace std::chrono_literals;

namespace {
const QByteArray threeNotes = "[{\"id\":\"00000000-0000-4000-8000-000000000001\",\"title\":\"First\",\"body\":\"one\",\"updatedAt\":3},"
                              "{\"id\":\"00000000-0000-4000-8000-000000000002\",\"title\":\"\",\"body\":\"Second\\nline two\",\"updatedAt\":2},"
                              "{\"id\":\"00000000-0000-4000-8000-000000000003\",\"title\":\"Third\",\"body\":\"\",\"updatedAt\":1}]";

struct ViewRig {
    QTemporaryDir dir;
    test::ManualClock clock;
    std::unique_ptr<NotesPane> pane;
    QQmlEngine engine;
    QQuickWindow window;
    std::unique_ptr<QQuickItem> view;

    explicit ViewRig(const QByteArray &file = {})
    {
        if (!file.isEmpty()) {
            QFile out(path());
            if (out.open(QIODevice::WriteOnly))
                out.write(file);
        }
        pane = std::make_unique<NotesPane>(std::make_unique<NotesStore>(path(), clock));
        QQmlComponent component(&engine, pane->content());
        view.reset(qobject_cast<QQuickItem *>(
            component.createWithInitialProperties({{"pane", QVariant::fromValue<QObject *>(pane.get())}})));
        if (!view) {
            qWarning("%s", qPrintable(component.errorString()));
            return;
        }
        window.resize(520, 300);
        view->setParentItem(window.contentItem());
        view->setWidth(520);
        fitHeight();
        QObject::connect(pane.get(), &NotchPane::contentHeightChanged, view.get(), [this] { fitHeight(); });
        window.show();
        window.requestActivate();
    }
    ~ViewRig() { view.reset(); }

    // The pane host gives the view the pane's content height.
    void fitHeight() const { view->setHeight(pane->contentHeight()); }
    [[nodiscard]] QString path() const { return dir.filePath(QStringLiteral("notes.json")); }
    [[nodiscard]] QByteArray file() const
    {
        QFile in(path());
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("(absent)");
    }
    [[nodiscard]] NotesStore &store() const { return *pane->store(); }

    // Visible items by object name, in the window, popups included.
    [[nodiscard]] QList<QQuickItem *> items(const QString &name) const
    {
        // Layouts place their items when the window is polished: look only after that.
        [[maybe_unused]] const bool polished = QQuickTest::qWaitForPolish(&window);
        QList<QQuickItem *> found;
        const std::function<void(QQuickItem *)> walk = [&](QQuickItem *item) {
            if (!item->isVisible())
                return;
            if (item->objectName() == name)
                found.append(item);
            for (QQuickItem *child : item->childItems())
                walk(child);
        };
        walk(window.contentItem());
        return found;
    }
    [[nodiscard]] QQuickItem *item(const QString &name) const
    {
        const auto all = items(name);
        return all.size() == 1 ? all.first() : nullptr;
    }
    [[nodiscard]] bool shown(const QString &name) const { return !items(name).isEmpty(); }
    void click(QQuickItem *item, Qt::MouseButton button = Qt::LeftButton)
    {
        QVERIFY(item);
        const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
        QTest::mouseClick(&window, button, {}, centre.toPoint());
    }
    void type(const char *text)
    {
        for (const char *c = text; *c; ++c)
            QTest::keyClick(&window, *c);
    }
    // Every item of that name, shown or not: what the view has built.
    [[nodiscard]] int built(const QString &name) const
    {
        int count = 0;
        const std::function<void(QQuickItem *)> walk = [&](QQuickItem *item) {
            count += item->objectName() == name ? 1 : 0;
            for (QQuickItem *child : item->childItems())
                walk(child);
        };
        walk(window.contentItem());
        return count;
    }
    [[nodiscard]] QStringList tileTitles() const
    {
        QStringList out;
        for (QQuickItem *title : items(QStringLiteral("noteTitle")))
            out.append(title->property("text").toString());
        return out;
    }
};
} // namespace

class NotesViewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void emptyFace()
    {
        ViewRig rig;
        QVERIFY(rig.view);
        QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
        QVERIFY(rig.shown(QStringLiteral("notesEmpty")));
        QVERIFY(rig.shown(QStringLiteral("notesCreate")));
        QVERIFY(!rig.shown(QStringLiteral("notesClear")));
        QVERIFY(!rig.shown(QStringLiteral("noteTile")));
        QCOMPARE(rig.item(QStringLiteral("notesEmpty"))->property("text").toString(),
                 QStringLiteral("Capture something quick."));
        QCOMPARE(rig.pane->idle(), IdleSignal::inactive);
        QCOMPARE(rig.view->height(), 170.0);
    }

    void threeNotesFillTwoRows()
    {
        ViewRig rig(threeNotes);
        QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
        QVERIFY(rig.shown(QStringLiteral("notesClear")));
        QCOMPARE(rig.tileTitles(), (QStringList{"First", "Second", "Third"}));
        const auto tiles = rig.items(QStringLiteral("noteTile"));
        QCOMPARE(tiles.size(), 3);
        const QPointF a = tiles[0]->mapToScene({}), b = tiles[1]->mapToScene({}), c = tiles[2]->mapToScene({});
        QCOMPARE(a.y(), b.y());
        QVERIFY(b.x() > a.x() + tiles[0]->width() - 1);
        QCOMPARE(c.x(), a.x());
        QVERIFY(c.y() > a.y() + tiles[0]->height() - 1);
        QCOMPARE(tiles[0]->width(), tiles[2]->width());
        // A body-only note: its first line as the title, the rest as the preview.
        QCOMPARE(rig.items(QStringLiteral("notePreview"))[1]->property("text").toString(), QStringLiteral("line two"));
        QCOMPARE(rig.items(QStringLiteral("notePreview"))[2]->property("text").toString(), QStringLiteral("Empty note"));
    }

    // Two thousand notes: only the tiles in sight (and a little beyond) are made, at the top and
    // after scrolling to the end, and the last note is there to see.
    void manyNotesBuildOnlyAScreenful()
    {
        std::vector<NoteRecord> notes;
        for (int i = 0; i < 2000; ++i)
            notes.push_back({QUuid::createUuid(), QStringLiteral("Note %1").arg(i), QStringLiteral("body %1").arg(i), 2000.0 - i});
        ViewRig rig(encodeNotes(notes).value());
        QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
        QCOMPARE(rig.store().count(), 2000);
        const QStringList top = rig.tileTitles();
        QVERIFY(top.size() >= 2);
        QCOMPARE(top.mid(0, 2), (QStringList{"Note 0", "Note 1"}));
        QVERIFY2(rig.built(QStringLiteral("noteTile")) < 60, qPrintable(QString::number(rig.built(QStringLiteral("noteTile")))));

        QQuickItem *list = rig.item(QStringLiteral("notesGrid"));
        QVERIFY(list);
        // The content height is an estimate until the rows near the end are made: ask again once
        // they are.
        QTRY_VERIFY(QMetaObject::invokeMethod(list, "positionViewAtEnd") && QQuickTest::qWaitForPolish(&rig.window)
                    && list->property("atYEnd").toBool());
        // The rows scrolled away go once the event loop has run.
        QTRY_VERIFY(rig.built(QStringLiteral("noteTile")) < 60);
        QVERIFY(rig.tileTitles().contains(QStringLiteral("Note 1999")));
        QVERIFY(rig.tileTitles().contains(QStringLiteral("Note 1998")));
        // The tiles at the end still open their own note.
        const auto tiles = rig.items(QStringLiteral("noteTile"));
        QQuickItem *last = nullptr;
        for (QQuickItem *tile : tiles) {
            const QRectF at = tile->mapRectToItem(list, QRectF(0, 0, tile->width(), tile->height()));
            if (tile->findChild<QQuickItem *>(QStringLiteral("noteTitle"))->property("text").toString() == QLatin1String("Note 1999")
                && at.top() >= 0 && at.bottom() <= list->height())
                last = tile;
        }
        QVERIFY(last);
        rig.click(last);
        QVERIFY(rig.store().showsEditor());
        QCOMPARE(rig.item(QStringLiteral("noteBodyField"))->property("text").toString(), QStringLiteral("body 1999"));
    }

    void plusOpensTheEditorAndTypingReachesTheFile()
    {
        ViewRig rig;
        QVERIFY(QTest::qWaitForWindowActive(&rig.window));
        rig.click(rig.item(QStringLiteral("notesCreate")));
        QVERIFY(rig.store().showsEditor());
        QCOMPARE(rig.view->height(), 248.0);
        QVERIFY(rig.pane->idle().isLive);
        auto *titleField = rig.item(QStringLiteral("noteTitleField"));
        QVERIFY(titleField);
        QCOMPARE(titleField->property("text").toString(), QString());
        QCOMPARE(titleField->property("placeholderText").toString(), QStringLiteral("Title"));
        const QByteArray blank = rig.file();
        QVERIFY(blank.contains("\"title\":\"\",\"body\":\"\""));

        rig.click(titleField);
        rig.type("Plan");
        QTest::keyClick(&rig.window, Qt::Key_Return); // does nothing
        rig.click(rig.item(QStringLiteral("noteBodyField")));
        rig.type("milk");
        QCOMPARE(rig.store().notes().at(0).title, QStringLiteral("Plan"));
        QCOMPARE(rig.store().notes().at(0).body, QStringLiteral("milk"));
        QCOMPARE(rig.file(), blank);
        rig.clock.advance(300ms);
        QVERIFY(rig.file().contains("\"title\":\"Plan\",\"body\":\"milk\""));

        rig.click(rig.item(QStringLiteral("notesSave")));
        QVERIFY(!rig.store().showsEditor());
        QCOMPARE(rig.view->height(), 170.0);
        QCOMPARE(rig.tileTitles(), QStringList{QStringLiteral("Plan")});
    }

    void openingANoteWritesNothingAndBackClosesIt()
    {
        ViewRig rig(threeNotes);
        QVERIFY(QTest::qWaitForWindowActive(&rig.window));
        rig.click(rig.items(QStringLiteral("noteTile")).at(1));
        QVERIFY(rig.store().showsEditor());
        QCOMPARE(rig.item(QStringLiteral("noteTitleField"))->property("text").toString(), QString());
        QCOMPARE(rig.item(QStringLiteral("noteBodyField"))->property("text").toString(), QStringLiteral("Second\nline two"));
        rig.clock.advance(1s);
        QCOMPARE(rig.store().notes().at(1).updatedAt, 2.0);
        QCOMPARE(rig.file(), threeNotes);
        QCOMPARE(rig.clock.sleepers(), 0);

        rig.click(rig.item(QStringLiteral("notesBack")));
        QVERIFY(!rig.store().showsEditor());
        QCOMPARE(rig.file(), threeNotes);
        QCOMPARE(rig.tileTitles(), (QStringList{"First", "Second", "Third"}));
    }

    // A body the editor shows otherwise than stored (its document turns CR LF and lone CRs into
    // line feeds, a no-break space into a space, line and paragraph separators into line feeds):
    // opening and leaving the note keeps the file as it was; one typed key still saves.
    void openingKeepsABodyTheEditorNormalises_data()
    {
        QTest::addColumn<QString>("body");
        QTest::newRow("crlf and no-break space") << QStringLiteral("a\r\nb\u00a0c");
        QTest::newRow("lone cr") << QStringLiteral("one\rtwo");
        QTest::newRow("line separator") << QStringLiteral("one\u2028two");
        QTest::newRow("paragraph separator") << QStringLiteral("one\u2029two");
    }
    void openingKeepsABodyTheEditorNormalises()
    {
        QFETCH(QString, body);
        const std::vector<NoteRecord> notes{{QUuid::createUuid(), QString(), body, 5},
                                            {QUuid::createUuid(), QStringLiteral("Other"), QStringLiteral("x"), 4}};
        const QByteArray stored = encodeNotes(notes).value();
        ViewRig rig(stored);
        QVERIFY(QTest::qWaitForWindowActive(&rig.window));

        rig.click(rig.items(QStringLiteral("noteTile")).at(0));
        QVERIFY(rig.store().showsEditor());
        rig.clock.advance(1s);
        rig.pane->deactivate();
        QVERIFY(!rig.store().showsEditor());
        QCOMPARE(rig.file(), stored);
        QCOMPARE(rig.store().notes().at(0), notes.at(0));

        rig.click(rig.items(QStringLiteral("noteTile")).at(0));
        rig.click(rig.item(QStringLiteral("noteBodyField")));
        QTest::keyClick(&rig.window, Qt::Key_End, Qt::ControlModifier);
        rig.type("z");
        rig.clock.advance(300ms);
        QVERIFY(rig.store().notes().at(0).body.endsWith(QLatin1Char('z')));
        QVERIFY(rig.store().notes().at(0).updatedAt > 5);
        QCOMPARE(decodeNotes(rig.file()).value(), rig.store().notes());
    }

    void newNoteLeftBlankIsDroppedAndTheSignalGoesOut()
    {
        ViewRig rig;
        QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
        rig.click(rig.item(QStringLiteral("notesCreate")));
        QVERIFY(rig.pane->idle().isLive);
        rig.click(rig.item(QStringLiteral("notesBack")));
        QCOMPARE(rig.pane->idle(), IdleSignal::inactive);
        QVERIFY(rig.shown(QStringLiteral("notesEmpty")));
        QCOMPARE(rig.file(), QByteArray("[]"));
    }

    void deleteFromTheMenuRewritesTheFileAtOnce()
    {
        ViewRig rig(threeNotes);
        QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
        // The tile on the right: the menu opens where it was asked for, kept inside the pane.
        QQuickItem *tile = rig.items(QStringLiteral("noteTile")).at(1);
        rig.click(tile, Qt::RightButton);
        QTRY_VERIFY(rig.item(QStringLiteral("noteDelete")));
        QQuickItem *remove = rig.item(QStringLiteral("noteDelete"));
        // The menu lies within the view (its parent), so within the expanded surface.
        QObject *menu = rig.view->findChild<QObject *>(QStringLiteral("noteMenu"));
        QVERIFY(menu);
        const QRectF shownMenu(menu->property("x").toReal(), menu->property("y").toReal(),
                               menu->property("width").toReal(), menu->property("height").toReal());
        QVERIFY(shownMenu.width() > 0);
        QVERIFY2(QRectF(0, 0, rig.view->width(), rig.view->height()).contains(shownMenu), "the menu leaves the pane");
        QCOMPARE(remove->property("text").toString(), QStringLiteral("Delete"));

        rig.click(remove);
        QTRY_COMPARE(rig.tileTitles(), (QStringList{"First", "Third"}));
        // The tap was the menu's: the tile now under it ("Third") stays closed.
        QVERIFY(!rig.store().showsEditor());
        QVERIFY(!rig.file().contains("000000000002"));
        QVERIFY(rig.file().contains("000000000003"));
        QCOMPARE(rig.clock.sleepers(), 0);
    }

    // Notes that fill the file as far as a load reads: "plus" makes no note the next start could
    // not read, and the pane says why; deleting one makes room again.
    void fullNotesRefuseANewNoteWithAReason()
    {
        const NoteRecord big{QUuid::createUuid(), QStringLiteral("Big"), QString(), 1};
        const qint64 room = NotesStore::maxFileBytes - encodedLength(std::vector<NoteRecord>{big}) - 40;
        const std::vector<NoteRecord> notes{{big.id, big.title, QString(room, QLatin1Char('a')), 1}};
        ViewRig rig(encodeNotes(notes).value());
        QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
        QVERIFY(!rig.shown(QStringLiteral("notesNotice")));
        rig.click(rig.item(QStringLiteral("notesCreate")));
        QCOMPARE(rig.store().count(), 1);
        QVERIFY(!rig.store().showsEditor());
        QVERIFY(rig.shown(QStringLiteral("notesNotice")));
        QVERIFY(!rig.item(QStringLiteral("notesNotice"))->property("text").toString().isEmpty());
        QCOMPARE(rig.file().size(), encodeNotes(notes).value().size());

        rig.click(rig.items(QStringLiteral("noteTile")).at(0), Qt::RightButton);
        QTRY_VERIFY(rig.item(QStringLiteral("noteDelete")));
        rig.click(rig.item(QStringLiteral("noteDelete")));
        QTRY_COMPARE(rig.store().count(), 0);
        QVERIFY(!rig.shown(QStringLiteral("notesNotice")));
        rig.click(rig.item(QStringLiteral("notesCreate")));
        QVERIFY(rig.store().showsEditor());
    }

    void clearEmptiesTheList()
    {
        ViewRig rig(threeNotes);
        QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
        rig.click(rig.item(QStringLiteral("notesClear")));
        QVERIFY(rig.shown(QStringLiteral("notesEmpty")));
        QCOMPARE(rig.file(), QByteArray("[]"));
        QCOMPARE(rig.pane->idle(), IdleSignal::inactive);
    }
};

QTEST_MAIN(NotesViewTest)
#include "tst_notesview.moc"
