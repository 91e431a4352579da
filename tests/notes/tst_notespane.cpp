// labels: unit
// The Notes pane over its store: the height and idle signal follow the editor and the list, each
// announced once per real change, and leaving the pane saves what is being typed.
#include "fakes/ManualClock.h"
#include "notes/NotesPane.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tavrenhold;

class NotesPaneTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void heightAndIdleFollowTheStore()
    {
        QTemporaryDir dir;
        test::ManualClock clock;
        NotesPane pane(std::make_unique<NotesStore>(dir.filePath(QStringLiteral("notes.json")), clock));
        NotesStore &store = *pane.store();
        QSignalSpy heights(&pane, &NotchPane::contentHeightChanged);
        QSignalSpy idles(&pane, &NotchPane::idleChanged);

        QCOMPARE(pane.contentHeight(), 170.0);
        QCOMPARE(pane.idle(), IdleSignal::inactive);

        store.create();
        QCOMPARE(pane.contentHeight(), 248.0);
        IdleSignal live;
        live.isLive = true;
        live.priority = 30;
        live.identity = IdleGlyph{QStringLiteral("pencil.and.scribble")};
        QCOMPARE(pane.idle(), live);
        QCOMPARE(heights.count(), 1);
        QCOMPARE(idles.count(), 1);

        // Typing changes neither.
        store.setDraft(QStringLiteral("keep"));
        store.commitDraft(false);
        store.create();
        QCOMPARE(heights.count(), 1);
        QCOMPARE(idles.count(), 1);

        store.save(); // the blank second note goes, the first stays
        QCOMPARE(pane.contentHeight(), 170.0);
        QCOMPARE(pane.idle(), live);
        QCOMPARE(heights.count(), 2);
        QCOMPARE(idles.count(), 1);

        store.clearAll();
        QCOMPARE(pane.idle(), IdleSignal::inactive);
        QCOMPARE(idles.count(), 2);
    }

    // Notes read on a worker reach the idle bar once read: the signal goes live without an
    // operation to pull them in.
    void notesReadOnAWorkerLightTheIdleSignal()
    {
        QTemporaryDir dir;
        test::ManualClock clock;
        const QString path = dir.filePath(QStringLiteral("notes.json"));
        {
            NotesStore writer(path, clock);
            writer.create();
            writer.setDraft(QStringLiteral("kept"));
            writer.save();
        }
        NotesPane pane(std::make_unique<NotesStore>(path, clock, NotesStore::Loading::onWorker));
        QSignalSpy idles(&pane, &NotchPane::idleChanged);
        QTRY_VERIFY(pane.store()->loaded());
        QVERIFY(pane.idle().isLive);
        QCOMPARE(idles.count(), 1);
        QCOMPARE(pane.store()->notes().at(0).body, QStringLiteral("kept"));
    }

    void leavingThePaneSavesAndClosesTheEditor()
    {
        QTemporaryDir dir;
        test::ManualClock clock;
        const QString path = dir.filePath(QStringLiteral("notes.json"));
        NotesPane pane(std::make_unique<NotesStore>(path, clock));
        pane.store()->create();
        pane.store()->setDraft(QStringLiteral("half-typed"));
        pane.store()->commitDraft(false);
        pane.deactivate();
        QVERIFY(!pane.store()->showsEditor());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("\"body\":\"half-typed\""));
        QCOMPARE(clock.sleepers(), 0);
    }
};

QTEST_GUILESS_MAIN(NotesPaneTest)
#include "tst_notespane.moc"
