// labels: unit
// The notes store over a file of its own and a manual clock: what a load keeps, repairs and sets
// aside (never over an earlier copy, never writing over what it could not move), the writes of
// every operation, the 0.3 s debounce, and nothing typed being lost at the end.
#include "fakes/ManualClock.h"
#include "notes/NotesStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <memory>

using namespace tavrenhold;
using namespace std::chrono_literals;

namespace {
const QByteArray idA = "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D";
const QByteArray idB = "11111111-2222-4333-8444-555555555555";

QByteArray record(const QByteArray &id, const QByteArray &title, const QByteArray &body, const QByteArray &at)
{
    return "{\"id\":\"" + id + "\",\"title\":\"" + title + "\",\"body\":\"" + body + "\",\"updatedAt\":" + at + "}";
}

// Without these capabilities root obeys file permissions like anyone else, so an unreadable file
// is unreadable here too.
void dropPermissionOverrides()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return;
    const auto mask = ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    data[0].effective &= mask;
    [[maybe_unused]] const long r = ::syscall(SYS_capset, &header, data);
}

struct Rig {
    QTemporaryDir dir;
    test::ManualClock clock;
    std::unique_ptr<NotesStore> store;

    [[nodiscard]] QString path() const { return dir.filePath(QStringLiteral("notes.json")); }
    void put(const QByteArray &bytes) const
    {
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    [[nodiscard]] QByteArray file(const QString &name = QStringLiteral("notes.json")) const
    {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(absent)");
    }
    NotesStore &launch(const QString &at = {})
    {
        store.reset();
        store = std::make_unique<NotesStore>(at.isNull() ? path() : at, clock);
        return *store;
    }
    [[nodiscard]] QString asideName(int n = 0) const
    {
        return QStringLiteral("notes.corrupt.%1%2.json")
            .arg(clock.wallNow().toSecsSinceEpoch())
            .arg(n == 0 ? QString() : QStringLiteral("-%1").arg(n));
    }
    // Types one change into the open note, as the editor does.
    void type(const QString &body) const
    {
        store->setDraft(body);
        store->commitDraft(false);
    }
    void open(std::size_t row) const
    {
        const NoteRecord note = store->notes().at(row);
        store->setEditingID(note.id);
        store->setDraftTitle(note.title);
        store->setDraft(note.body);
    }
};
} // namespace

class NotesStoreTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { dropPermissionOverrides(); }

    void missingFileStartsEmptyAndIsMadeByTheFirstWrite()
    {
        Rig rig;
        NotesStore &store = rig.launch();
        QCOMPARE(store.count(), 0);
        QCOMPARE(rig.file(), QByteArray("(absent)"));
        store.create();
        QVERIFY(rig.file().startsWith("[{\"id\":\""));
    }

    // Whatever mode an earlier file had, and with a permissive umask, the written file is the
    // owner's alone.
    void writtenFileIsTheOwnersAlone_data()
    {
        QTest::addColumn<int>("earlierMode");
        QTest::newRow("no earlier file") << -1;
        QTest::newRow("earlier file 0644") << 0644;
        QTest::newRow("earlier file 0666") << 0666;
    }
    void writtenFileIsTheOwnersAlone()
    {
        QFETCH(int, earlierMode);
        Rig rig;
        if (earlierMode >= 0) {
            rig.put("[" + record(idA, "kept", "private", "1") + "]");
            QCOMPARE(::chmod(rig.path().toLocal8Bit().constData(), mode_t(earlierMode)), 0);
        }
        const mode_t umask = ::umask(0);
        NotesStore &store = rig.launch();
        store.create();
        ::umask(umask);
        struct stat info {};
        QCOMPARE(::stat(rig.path().toLocal8Bit().constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0600));
        QCOMPARE(store.count(), earlierMode >= 0 ? 2 : 1);
    }

    // Whatever the store writes, the next start reads whole: a file read with plain slashes (as
    // a reader accepts) that escaping would take past the read bound, and a paste beyond the bound,
    // which is cut where the notes are full and says so.
    void whatIsWrittenIsReadAtTheNextStart_data()
    {
        QTest::addColumn<qint64>("slashBytes");
        QTest::addColumn<qint64>("pasted");
        QTest::addColumn<bool>("cut");
        const qint64 max = NotesStore::maxFileBytes;
        QTest::newRow("plain slashes, one tap on plus") << max * 3 / 4 << qint64(0) << false;
        QTest::newRow("paste of slashes within the bound") << qint64(0) << max / 3 << false;
        QTest::newRow("paste past the bound") << qint64(0) << max + 4096 << true;
        QTest::newRow("paste past what plain slashes left") << max * 3 / 4 << max / 2 << true;
    }
    void whatIsWrittenIsReadAtTheNextStart()
    {
        QFETCH(qint64, slashBytes);
        QFETCH(qint64, pasted);
        QFETCH(bool, cut);
        Rig rig;
        int stored = 0;
        if (slashBytes > 0) {
            // Notes of a megabyte of slashes each, written plain.
            QByteArray file("[");
            const QByteArray slashes(1 << 20, '/');
            for (; (stored + 1) * (qint64(1) << 20) <= slashBytes; ++stored)
                file += (stored > 0 ? "," : "") + record(QUuid::createUuid().toString(QUuid::WithoutBraces).toUtf8(), "", slashes, "1");
            rig.put(file + "]");
        }
        NotesStore &store = rig.launch();
        QCOMPARE(store.count(), stored);
        QSignalSpy notices(&store, &NotesStore::noticeChanged);
        store.create();
        QCOMPARE(store.count(), stored + 1);
        if (pasted > 0) {
            store.setDraft(QString(pasted, QLatin1Char('/')));
            store.commitDraft(false);
            QCOMPARE(store.draft().size() < pasted, cut);
            QCOMPARE(store.notes().at(0).body, store.draft());
            store.save();
        }
        QCOMPARE(notices.isEmpty(), !cut);
        QVERIFY(QFileInfo(rig.path()).size() <= NotesStore::maxFileBytes);

        const std::vector<NoteRecord> before = store.notes();
        NotesStore &next = rig.launch();
        QCOMPARE(next.setAsidePath(), QString());
        QCOMPARE(next.count(), stored + 1);
        QCOMPARE(next.notes().at(0).body.size(), before.at(0).body.size());
        QVERIFY(next.notes().at(0).body.size() > (pasted > 0 ? 1000 : -1));
    }

    // Times read in a long form are written with all their digits: when that would take the file
    // past what a load reads, the file read stays and the store says why.
    void aWriteTheNextStartCouldNotReadKeepsTheFile()
    {
        Rig rig;
        QByteArray file("[");
        const int count = int(NotesStore::maxFileBytes / 300);
        for (int i = 0; i < count; ++i)
            file += (i > 0 ? "," : "") + record(QUuid::createUuid().toString(QUuid::WithoutBraces).toUtf8(), "", "", "1e300");
        file += "]";
        rig.put(file);
        NotesStore &store = rig.launch();
        QCOMPARE(store.count(), count);
        QSignalSpy notices(&store, &NotesStore::noticeChanged);
        store.deleteNote(store.notes().at(0));
        QCOMPARE(notices.count(), 1);
        QCOMPARE(rig.file(), file);
        QCOMPARE(rig.launch().count(), count);
    }

    // A store that reads on a worker shows no notes until they are read, and any operation before
    // then waits for them, so none is written over.
    void loadingOnAWorkerLosesNothing_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<int>("countAfter");
        QTest::addColumn<int>("notesOnDisk");
        QTest::newRow("nothing") << QString() << 2 << -1;
        QTest::newRow("create") << QStringLiteral("create") << 3 << 3;
        QTest::newRow("delete") << QStringLiteral("delete") << 1 << 1;
        QTest::newRow("clear") << QStringLiteral("clear") << 0 << 0;
    }
    void loadingOnAWorkerLosesNothing()
    {
        QFETCH(QString, first);
        QFETCH(int, countAfter);
        QFETCH(int, notesOnDisk);
        Rig rig;
        const QByteArray bytes = "[" + record(idA, "a", "one", "2") + "," + record(idB, "b", "two", "1") + "]";
        rig.put(bytes);
        rig.store = std::make_unique<NotesStore>(rig.path(), rig.clock, NotesStore::Loading::onWorker);
        NotesStore &store = *rig.store;
        QSignalSpy changes(&store, &NotesStore::notesChanged);
        QVERIFY(!store.loaded());
        QCOMPARE(store.count(), 0);
        if (first == QLatin1String("create"))
            store.create();
        else if (first == QLatin1String("delete"))
            store.deleteNote(QString::fromLatin1(idA));
        else if (first == QLatin1String("clear"))
            store.clearAll();
        QTRY_VERIFY(store.loaded());
        QCOMPARE(store.count(), countAfter);
        QVERIFY(!changes.isEmpty());
        if (notesOnDisk < 0)
            QCOMPARE(rig.file(), bytes);
        else
            QCOMPARE(rig.file().count("\"id\""), notesOnDisk);
        if (first == QLatin1String("delete"))
            QVERIFY(rig.file().contains(idB));
    }

    void unchangedNotesWriteTheSameBytes()
    {
        Rig rig;
        const QByteArray bytes = "[" + record(idB, "Caf\xc3\xa9 \\/ \\\"q\\\"", "line\\nnext\\u0001", "786153600.123456") + ","
            + record(idA, "", "\xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x92\xbb", "-12") + "]";
        rig.put(bytes);
        NotesStore &store = rig.launch();
        QCOMPARE(store.count(), 2);
        // Opening and closing a note without a change writes it back exactly as it was.
        rig.open(0);
        store.save();
        QCOMPARE(rig.file(), bytes);
        rig.open(1);
        store.save();
        QCOMPARE(rig.file(), bytes);
        QCOMPARE(store.notes().at(0).updatedAt, 786153600.123456);
    }

    void loadRepairsAndSortsWithoutWriting()
    {
        Rig rig;
        const QByteArray bytes = "[" + record(idA, "H", "Hello\\nworld", "10") + ","
            + record(idB, "x", "later", "30") + "]";
        rig.put(bytes);
        NotesStore &store = rig.launch();
        QCOMPARE(store.notes().at(0).title, QStringLiteral("x"));
        QCOMPARE(store.notes().at(1).title, QString());
        QCOMPARE(rig.file(), bytes);
    }

    void undecodableFileIsSetAsideWhole_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not JSON") << QByteArray("\xff\xfe garbage");
        QTest::newRow("missing updatedAt") << QByteArray("[" + record(idA, "a", "b", "1") + ",{\"id\":\"" + idB
                                                          + "\",\"title\":\"\",\"body\":\"\"}]");
        QTest::newRow("bad id") << QByteArray("[" + record("not-a-uuid", "a", "b", "1") + "]");
    }

    void undecodableFileIsSetAsideWhole()
    {
        QFETCH(QByteArray, bytes);
        Rig rig;
        rig.put(bytes);
        NotesStore &store = rig.launch();
        QCOMPARE(store.count(), 0);
        QCOMPARE(store.setAsidePath(), rig.dir.filePath(rig.asideName()));
        QCOMPARE(rig.file(rig.asideName()), bytes);
        QCOMPARE(rig.file(), QByteArray("(absent)"));
        store.clearAll();
        QCOMPARE(rig.file(), QByteArray("[]"));
        QCOMPARE(rig.file(rig.asideName()), bytes);
    }

    void emptyArrayIsNotSetAside()
    {
        Rig rig;
        rig.put("[]");
        QVERIFY(rig.launch().setAsidePath().isEmpty());
        QCOMPARE(QDir(rig.dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("notes.json")});
    }

    void setAsideNeverReplacesAnEarlierCopy()
    {
        Rig rig;
        rig.put("first");
        rig.launch();
        rig.put("second");
        rig.launch();
        rig.put("third");
        rig.launch();
        QCOMPARE(rig.file(rig.asideName()), QByteArray("first"));
        QCOMPARE(rig.file(rig.asideName(1)), QByteArray("second"));
        QCOMPARE(rig.file(rig.asideName(2)), QByteArray("third"));
    }

    void unreadableFileIsSetAsideNotOverwritten()
    {
        Rig rig;
        rig.put("[" + record(idA, "keep", "me", "1") + "]");
        QFile::setPermissions(rig.path(), {});
        NotesStore &store = rig.launch();
        QCOMPARE(store.count(), 0);
        const QString aside = rig.dir.filePath(rig.asideName());
        QCOMPARE(store.setAsidePath(), aside);
        store.create();
        QFile::setPermissions(aside, QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(rig.file(rig.asideName()), "[" + record(idA, "keep", "me", "1") + "]");
        QCOMPARE(store.count(), 1);
    }

    void oversizedFileAndPipeAreSetAsideUnread()
    {
        Rig rig;
        QByteArray big(NotesStore::maxFileBytes + 1, ' ');
        big.prepend("[");
        big.append("]");
        rig.put(big);
        QCOMPARE(rig.launch().setAsidePath(), rig.dir.filePath(rig.asideName()));
        QCOMPARE(rig.file(rig.asideName()), big);

        // Reading a pipe would wait for a writer forever.
        QCOMPARE(::mkfifo(rig.path().toLocal8Bit().constData(), 0600), 0);
        QCOMPARE(rig.launch().setAsidePath(), rig.dir.filePath(rig.asideName(1)));
        QVERIFY(!QFileInfo::exists(rig.path()));
    }

    void folderAtThePathIsSetAside()
    {
        Rig rig;
        QVERIFY(QDir(rig.dir.path()).mkpath(QStringLiteral("notes.json/inside")));
        NotesStore &store = rig.launch();
        QVERIFY(QFileInfo(rig.dir.filePath(rig.asideName() + QStringLiteral("/inside"))).isDir());
        store.create();
        QVERIFY(QFileInfo(rig.path()).isFile());
    }

    void fileThatCanBeNeitherReadNorMovedIsNeverWritten()
    {
        // The file's folder cannot be changed, but the file is a link into one that can: a write
        // would replace what the link points at.
        Rig rig;
        QDir root(rig.dir.path());
        QVERIFY(root.mkdir(QStringLiteral("fixed")) && root.mkdir(QStringLiteral("open")));
        const QString target = rig.dir.filePath(QStringLiteral("open/real.json"));
        const QString link = rig.dir.filePath(QStringLiteral("fixed/notes.json"));
        {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("precious");
        }
        QVERIFY(QFile::link(target, link));
        QFile::setPermissions(target, {});
        QFile::setPermissions(rig.dir.filePath(QStringLiteral("fixed")), QFile::ReadOwner | QFile::ExeOwner);

        NotesStore &store = rig.launch(link);
        QVERIFY(!store.writesFile());
        store.create();
        rig.type(QStringLiteral("typed"));
        store.save();
        rig.store.reset();

        QFile::setPermissions(rig.dir.filePath(QStringLiteral("fixed")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(rig.file(QStringLiteral("open/real.json")), QByteArray("precious"));
        QCOMPARE(QDir(rig.dir.filePath(QStringLiteral("fixed"))).entryList(QDir::Files | QDir::System),
                 QStringList{QStringLiteral("notes.json")});
    }

    void notesWithoutAFileStayInMemory()
    {
        Rig rig;
        NotesStore &store = rig.launch(QString(""));
        store.create();
        rig.type(QStringLiteral("memo"));
        store.save();
        QCOMPARE(store.count(), 1);
        QCOMPARE(QDir(rig.dir.path()).entryList(QDir::Files), QStringList());
    }

    void repeatedIdsBecomeTwoNotes()
    {
        Rig rig;
        rig.put("[" + record(idA, "one", "first", "2") + "," + record(idA, "two", "second", "1") + "]");
        NotesStore &store = rig.launch();
        QCOMPARE(store.count(), 2);
        rig.open(1);
        store.setDraftTitle(QStringLiteral("two!"));
        store.commitDraft(true);
        QCOMPARE(store.notes().at(0).title, QStringLiteral("one"));
        QCOMPARE(store.notes().at(1).title, QStringLiteral("two!"));
        store.deleteNote(store.notes().at(1));
        QCOMPARE(store.count(), 1);
        QCOMPARE(store.notes().at(0).title, QStringLiteral("one"));
    }

    void createPutsABlankNoteOnTopAndOnDisk()
    {
        Rig rig;
        NotesStore &store = rig.launch();
        store.create();
        const QUuid first = store.notes().at(0).id;
        rig.clock.advance(1s);
        store.create();
        QCOMPARE(store.count(), 2);
        QCOMPARE(store.notes().at(1).id, first);
        QCOMPARE(*store.editingID(), store.notes().at(0).id);
        const QByteArray bytes = rig.file();
        QCOMPARE(bytes.count("\"title\":\"\",\"body\":\"\""), 2);
        QVERIFY(bytes.indexOf(store.notes().at(0).id.toString(QUuid::WithoutBraces).toUpper().toLatin1())
                < bytes.indexOf(first.toString(QUuid::WithoutBraces).toUpper().toLatin1()));
    }

    void savingABlankNoteDropsIt_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("body");
        QTest::addColumn<int>("kept");
        QTest::newRow("untouched") << "" << "" << 1;
        QTest::newRow("spaces and line breaks") << "  \n" << " \n\n\t" << 1;
        QTest::newRow("body only") << "" << "text" << 2;
        QTest::newRow("title only") << "T" << "" << 2;
    }

    void savingABlankNoteDropsIt()
    {
        QFETCH(QString, title);
        QFETCH(QString, body);
        QFETCH(int, kept);
        Rig rig;
        rig.put("[" + record(idA, "old", "note", "1") + "]");
        NotesStore &store = rig.launch();
        const QByteArray before = rig.file();
        store.create();
        store.setDraftTitle(title);
        rig.type(body);
        store.save();
        QVERIFY(!store.showsEditor());
        QCOMPARE(store.draftTitle(), QString());
        QCOMPARE(store.draft(), QString());
        QCOMPARE(store.count(), kept);
        if (kept == 1)
            QCOMPARE(rig.file(), before);
    }

    void editingKeepsThePlaceAndMovesTheTimeOnlyOnAChange()
    {
        Rig rig;
        rig.put("[" + record(idA, "new", "", "20") + "," + record(idB, "old", "", "10") + "]");
        NotesStore &store = rig.launch();
        rig.open(1);
        store.commitDraft(false);
        store.save();
        QCOMPARE(store.notes().at(1).updatedAt, 10.0);
        rig.open(1);
        rig.type(QStringLiteral("changed"));
        store.save();
        QCOMPARE(store.notes().at(1).body, QStringLiteral("changed"));
        QCOMPARE(store.notes().at(1).updatedAt, noteTime(rig.clock.wallNow()));
        QCOMPARE(store.notes().at(0).title, QStringLiteral("new"));
        // The next start puts it first.
        QCOMPARE(rig.launch().notes().at(0).body, QStringLiteral("changed"));
    }

    void deleteAndClearWriteAtOnce()
    {
        Rig rig;
        rig.put("[" + record(idA, "a", "", "2") + "," + record(idB, "b", "", "1") + "]");
        NotesStore &store = rig.launch();
        rig.open(0);
        store.deleteNote(store.notes().at(0));
        QVERIFY(!store.showsEditor());
        QCOMPARE(rig.file(), "[" + record(idB, "b", "", "1") + "]");
        store.clearAll();
        QCOMPARE(store.count(), 0);
        QCOMPARE(rig.file(), QByteArray("[]"));
    }

    void typingWritesOnce300msAfterTheLastChange()
    {
        Rig rig;
        NotesStore &store = rig.launch();
        store.create();
        const QByteArray blank = rig.file();
        for (const char *text : {"a", "ab", "abc"}) {
            rig.clock.advance(100ms);
            rig.type(QString::fromLatin1(text));
            QCOMPARE(rig.file(), blank);
        }
        QCOMPARE(rig.clock.sleepers(), 1);
        rig.clock.advance(299ms);
        QCOMPARE(rig.file(), blank);
        rig.clock.advance(1ms);
        QVERIFY(rig.file().contains("\"body\":\"abc\""));
        // Nothing else is pending.
        rig.put("marker");
        rig.clock.advance(1s);
        QCOMPARE(rig.file(), QByteArray("marker"));
    }

    void savingInsideTheWindowWritesAtOnceAndNoLateWriteFollows()
    {
        Rig rig;
        NotesStore &store = rig.launch();
        store.create();
        rig.type(QStringLiteral("quick"));
        rig.clock.advance(100ms);
        store.save();
        QVERIFY(rig.file().contains("\"body\":\"quick\""));
        rig.put("marker");
        rig.clock.advance(1s);
        QCOMPARE(rig.file(), QByteArray("marker"));
    }

    void pendingWriteIsMadeWhenTheStoreEnds()
    {
        Rig rig;
        NotesStore &store = rig.launch();
        store.create();
        rig.type(QStringLiteral("last words"));
        rig.store.reset();
        QVERIFY(rig.file().contains("\"body\":\"last words\""));
        rig.clock.advance(1s);
    }

    void changesNotifyOnlyWhenTheValueDiffers()
    {
        Rig rig;
        NotesStore &store = rig.launch();
        QSignalSpy editing(&store, &NotesStore::editingIDChanged);
        QSignalSpy title(&store, &NotesStore::draftTitleChanged);
        QSignalSpy notes(&store, &NotesStore::notesChanged);
        store.setDraftTitle(QString());
        store.setEditingID(std::nullopt);
        QCOMPARE(editing.count() + title.count(), 0);
        store.setDraftTitle(QStringLiteral("e\u0301"));
        store.setDraftTitle(QStringLiteral("\u00e9"));
        QCOMPARE(title.count(), 1);
        store.create();
        QCOMPARE(editing.count(), 1);
        QCOMPARE(notes.count(), 1);
        rig.type(QStringLiteral("x"));
        QCOMPARE(notes.count(), 2);
        rig.type(QStringLiteral("x"));
        QCOMPARE(notes.count(), 2);
    }
};

QTEST_GUILESS_MAIN(NotesStoreTest)
#include "tst_notesstore.moc"
