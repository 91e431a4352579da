// The notes two to a row, as the list of tiles reads them: the rows for a few notes, and rows that
// follow the notes as one is added, removed or edited — checked both by reading the model afresh
// and by a copy kept only from the model's signals, so a change the view would miss shows.
#include "fakes/ManualClock.h"
#include "notes/NotesStore.h"

#include <QAbstractItemModelTester>
#include <QTest>

using namespace tavrenhold;

namespace {
using Pairs = QStringList; // each row as "left|right", right "-" when the row has none

// A note titled `title` at the top of the list, as the user makes one.
void addNote(NotesStore &store, const QString &title)
{
    store.create();
    store.setDraftTitle(title);
    store.save();
}

// A store holding notes "1".."n" in that order, in memory only.
void fill(NotesStore &store, int n)
{
    for (int i = n; i >= 1; --i)
        addNote(store, QString::number(i));
}

QString row(const QAbstractItemModel &model, int r)
{
    const QModelIndex at = model.index(r, 0);
    const QString left = at.data(NotePairs::LeftDisplayTitleRole).toString();
    const QString right = at.data(NotePairs::HasRightRole).toBool() ? at.data(NotePairs::RightDisplayTitleRole).toString()
                                                                     : QStringLiteral("-");
    return left + QLatin1Char('|') + right;
}

Pairs read(const QAbstractItemModel &model)
{
    Pairs out;
    for (int r = 0; r < model.rowCount(); ++r)
        out.append(row(model, r));
    return out;
}

// What a view knows: the rows as first read, then only what the signals said changed.
struct Mirror {
    const QAbstractItemModel &model;
    Pairs rows = read(model);

    explicit Mirror(const QAbstractItemModel &m) : model(m)
    {
        QObject::connect(&model, &QAbstractItemModel::rowsInserted, [this](const QModelIndex &, int first, int last) {
            for (int r = first; r <= last; ++r)
                rows.insert(r, row(model, r));
        });
        QObject::connect(&model, &QAbstractItemModel::rowsRemoved, [this](const QModelIndex &, int first, int last) {
            rows.remove(first, last - first + 1);
        });
        QObject::connect(&model, &QAbstractItemModel::dataChanged, [this](const QModelIndex &from, const QModelIndex &to) {
            for (int r = from.row(); r <= to.row(); ++r)
                rows[r] = row(model, r);
        });
        QObject::connect(&model, &QAbstractItemModel::modelReset, [this] { rows = read(model); });
    }
};
} // namespace

class NotePairsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rowsForAFewNotes_data()
    {
        QTest::addColumn<int>("notes");
        QTest::addColumn<Pairs>("pairs");
        QTest::newRow("none") << 0 << Pairs{};
        QTest::newRow("one") << 1 << Pairs{"1|-"};
        QTest::newRow("two") << 2 << Pairs{"1|2"};
        QTest::newRow("three") << 3 << Pairs{"1|2", "3|-"};
    }

    void rowsForAFewNotes()
    {
        QFETCH(int, notes);
        QFETCH(Pairs, pairs);
        test::ManualClock clock;
        NotesStore store(QString(), clock);
        fill(store, notes);
        QAbstractListModel &model = *store.notePairs();
        QCOMPARE(read(model), pairs);
        if (notes == 0)
            return;
        // Every note role on both sides, by the names the view binds to.
        const QHash<int, QByteArray> names = model.roleNames();
        const QModelIndex first = model.index(0, 0);
        QCOMPARE(first.data(names.key("leftTitle")).toString(), QStringLiteral("1"));
        QCOMPARE(first.data(names.key("leftBody")).toString(), QString());
        QCOMPARE(first.data(names.key("leftPreview")).toString(), QStringLiteral("Empty note"));
        QCOMPARE(first.data(names.key("leftId")).toString(), store.notes().at(0).id.toString(QUuid::WithoutBraces));
        const bool hasRight = notes > 1;
        QCOMPARE(first.data(names.key("hasRight")).toBool(), hasRight);
        QCOMPARE(first.data(names.key("rightTitle")).toString(), hasRight ? QStringLiteral("2") : QString());
        QCOMPARE(first.data(names.key("rightId")).toString(),
                 hasRight ? store.notes().at(1).id.toString(QUuid::WithoutBraces) : QString());
    }

    void followsTheNotes_data()
    {
        QTest::addColumn<int>("notes");
        QTest::addColumn<QString>("change"); // add, remove N, edit N (N counts from 0)
        QTest::addColumn<Pairs>("pairs");
        QTest::newRow("add to none") << 0 << "add" << Pairs{"new|-"};
        QTest::newRow("add to one") << 1 << "add" << Pairs{"new|1"};
        QTest::newRow("add to two") << 2 << "add" << Pairs{"new|1", "2|-"};
        QTest::newRow("add to three") << 3 << "add" << Pairs{"new|1", "2|3"};
        QTest::newRow("remove the only") << 1 << "remove 0" << Pairs{};
        QTest::newRow("remove first of two") << 2 << "remove 0" << Pairs{"2|-"};
        QTest::newRow("remove right of three") << 3 << "remove 1" << Pairs{"1|3"};
        QTest::newRow("remove last of four") << 4 << "remove 3" << Pairs{"1|2", "3|-"};
        QTest::newRow("remove first of five") << 5 << "remove 0" << Pairs{"2|3", "4|5"};
        QTest::newRow("edit left") << 3 << "edit 2" << Pairs{"1|2", "new|-"};
        QTest::newRow("edit right") << 4 << "edit 3" << Pairs{"1|2", "3|new"};
        QTest::newRow("clear") << 3 << "clear" << Pairs{};
    }

    void followsTheNotes()
    {
        QFETCH(int, notes);
        QFETCH(QString, change);
        QFETCH(Pairs, pairs);
        test::ManualClock clock;
        NotesStore store(QString(), clock);
        fill(store, notes);
        QAbstractListModel &model = *store.notePairs();
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        Mirror mirror(model);

        const QStringList words = change.split(QLatin1Char(' '));
        if (words[0] == QLatin1String("add")) {
            addNote(store, QStringLiteral("new"));
        } else if (words[0] == QLatin1String("remove")) {
            store.deleteNote(store.notes().at(std::size_t(words[1].toInt())));
        } else if (words[0] == QLatin1String("edit")) {
            const NoteRecord note = store.notes().at(std::size_t(words[1].toInt()));
            store.setEditingID(note.id);
            store.setDraftTitle(QStringLiteral("new"));
            store.setDraft(note.body);
            store.save();
        } else {
            store.clearAll();
        }
        QCOMPARE(read(model), pairs);
        QCOMPARE(mirror.rows, pairs);
    }
};

QTEST_GUILESS_MAIN(NotePairsTest)
#include "tst_notepairs.moc"
