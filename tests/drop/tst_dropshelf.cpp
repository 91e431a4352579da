// labels: unit
// The drop shelf on temporary folders and a manual clock: display names, parking and replacing by
// name, loading with duplicates and leftovers, expiry by the sweep and at start, promised files,
// drag-out copies, and sources that must never be parked.
#include "drop/DropPane.h"
#include "drop/ShelfFiles.h"
#include "fakes/ManualClock.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace tavrenhold;
using namespace std::chrono_literals;

namespace {

const QString uuid = QStringLiteral("0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0");

struct Rig {
    QTemporaryDir root;
    test::ManualClock clock;
    std::unique_ptr<DropPane> pane;

    [[nodiscard]] QString shelf() const { return root.filePath(QStringLiteral("cache/DropShelf")); }
    [[nodiscard]] QString dragOut() const { return root.filePath(QStringLiteral("cache/DragOut")); }
    [[nodiscard]] QString source(const QString &name) const { return root.filePath(QStringLiteral("src/") + name); }

    DropPane &launch()
    {
        pane.reset();
        pane = std::make_unique<DropPane>(shelf(), clock);
        return *pane;
    }
    QString write(const QString &path, const QByteArray &bytes = "bytes")
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write(bytes);
        return path;
    }
    QString writeSource(const QString &name, const QByteArray &bytes = "bytes") { return write(source(name), bytes); }
    void age(const QString &path, std::chrono::seconds by) const
    {
        QVERIFY(shelf::setModified(path, clock.wallNow().addSecs(-by.count())));
    }
    // The folder's entries, hidden ones included.
    [[nodiscard]] QStringList entries(const QString &folder) const
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                      QDir::Name);
    }
    [[nodiscard]] QStringList names() const
    {
        QStringList out;
        for (const ShelfItem &item : pane->items())
            out << item.name;
        return out;
    }
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

class DropShelfTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void displayName_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("parked") << uuid + "-Report.pdf" << "Report.pdf";
        QTest::newRow("lower-case uuid") << uuid.toLower() + "-a.txt" << "a.txt";
        QTest::newRow("uuid and hyphen alone") << uuid + "-" << "";
        QTest::newRow("name with hyphens") << uuid + "-a-b-c" << "a-b-c";
        QTest::newRow("placed by hand") << "notes-2024" << "notes-2024";
        QTest::newRow("no hyphen after uuid") << uuid + "Report.pdf" << uuid + "Report.pdf";
        QTest::newRow("not a uuid") << QString(36, QLatin1Char('x')) + "-a.txt" << QString(36, QLatin1Char('x')) + "-a.txt";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("short with hyphen") << "abc-" << "abc-";
        // A combining mark makes the 37th character "-\u0301", not a hyphen.
        QTest::newRow("marked hyphen") << uuid + QStringLiteral("-\u0301x") << uuid + QStringLiteral("-\u0301x");
    }
    void displayName()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        QCOMPARE(DropPane::displayName(stored), shown);
    }

    void parkingReplacesByName()
    {
        Rig rig;
        DropPane &pane = rig.launch();
        QSignalSpy idle(&pane, &NotchPane::idleChanged);
        QCOMPARE(pane.idle(), IdleSignal::inactive);
        QVERIFY(!pane.isSweeping());

        pane.ingest({QUrl::fromLocalFile(rig.writeSource("a.txt", "first")),
                     QUrl::fromLocalFile(rig.writeSource("b.txt"))});
        QCOMPARE(pane.pulse(), 1);
        QCOMPARE(rig.names(), (QStringList{"a.txt", "b.txt"}));
        const QString firstCopy = pane.items().front().url.toLocalFile();
        QCOMPARE(readAll(firstCopy), QByteArray("first"));
        QVERIFY(QFileInfo(firstCopy).fileName().endsWith("-a.txt"));
        QCOMPARE(DropPane::displayName(QFileInfo(firstCopy).fileName()), QStringLiteral("a.txt"));
        QCOMPARE(pane.items().front().byteSize, 5);
        QCOMPARE(pane.items().front().addedAt, rig.clock.wallNow());

        // The same name again: the newer copy goes to the end, the older copy's file is gone.
        rig.clock.advance(5s);
        pane.ingest({QUrl::fromLocalFile(rig.writeSource("a.txt", "second"))});
        QCOMPARE(pane.pulse(), 2);
        QCOMPARE(rig.names(), (QStringList{"b.txt", "a.txt"}));
        QVERIFY(!QFile::exists(firstCopy));
        QCOMPARE(readAll(pane.items().back().url.toLocalFile()), QByteArray("second"));
        QCOMPARE(rig.entries(rig.shelf()).size(), 2);

        const IdleSignal signal = pane.idle();
        QVERIFY(signal.isLive);
        QCOMPARE(signal.priority, 40);
        QCOMPARE(signal.identity, std::optional<IdleItem>(IdleBadge{pane.symbol(), QStringLiteral("2")}));
        QCOMPARE(signal.pulse, 2);
        QVERIFY(idle.count() >= 2);
        QVERIFY(pane.isSweeping());
    }

    void batches()
    {
        Rig rig;
        DropPane &pane = rig.launch();
        pane.ingest({});
        QCOMPARE(pane.pulse(), 0);
        QVERIFY(!pane.isSweeping());
        QCOMPARE(rig.clock.sleepers(), 0);

        // Two of one name in a batch keep the second; a missing file fails alone; one pulse.
        const QString one = rig.write(rig.root.filePath("x/same.txt"), "one");
        const QString two = rig.write(rig.root.filePath("y/same.txt"), "two");
        pane.ingest({QUrl::fromLocalFile(one), QUrl::fromLocalFile(rig.source("missing.txt")),
                     QUrl::fromLocalFile(two)});
        QCOMPARE(pane.pulse(), 1);
        QCOMPARE(rig.names(), QStringList{"same.txt"});
        QCOMPARE(readAll(pane.items().front().url.toLocalFile()), QByteArray("two"));
        QCOMPARE(rig.clock.sleepers(), 1);
    }

    void refusedSources_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("web address") << "web";
        QTest::newRow("file on another host") << "otherhost";
        QTest::newRow("character device") << "device";
        QTest::newRow("fifo") << "fifo";
        QTest::newRow("socket") << "socket";
        QTest::newRow("folder holding the shelf") << "ancestor";
        QTest::newRow("the shelf itself") << "shelf";
    }
    void refusedSources()
    {
        QFETCH(QString, kind);
        Rig rig;
        DropPane &pane = rig.launch();
        QUrl url;
        int socketFd = -1;
        if (kind == "web") {
            url = QUrl(QStringLiteral("https://example.com/a.txt"));
        } else if (kind == "otherhost") {
            url = QUrl(QStringLiteral("file://otherhost") + rig.writeSource("a.txt"));
        } else if (kind == "device") {
            url = QUrl::fromLocalFile(QStringLiteral("/dev/zero"));
        } else if (kind == "fifo") {
            QDir().mkpath(rig.source({}));
            QCOMPARE(::mkfifo(QFile::encodeName(rig.source("pipe")).constData(), 0600), 0);
            url = QUrl::fromLocalFile(rig.source("pipe"));
        } else if (kind == "socket") {
            QDir().mkpath(rig.source({}));
            socketFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const QByteArray path = QFile::encodeName(rig.source("sock"));
            QVERIFY(size_t(path.size()) < sizeof(address.sun_path));
            qstrcpy(address.sun_path, path.constData());
            QCOMPARE(::bind(socketFd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
            url = QUrl::fromLocalFile(rig.source("sock"));
        } else if (kind == "ancestor") {
            url = QUrl::fromLocalFile(rig.root.filePath("cache"));
        } else {
            url = QUrl::fromLocalFile(rig.shelf() + "/");
        }
        pane.ingest({url});
        if (socketFd >= 0)
            ::close(socketFd);
        QCOMPARE(pane.pulse(), 1);
        QVERIFY(pane.items().empty());
        QCOMPARE(rig.entries(rig.shelf()), QStringList());
    }

    void foldersAndLinksAreCopiedAsThemselves()
    {
        Rig rig;
        DropPane &pane = rig.launch();
        rig.writeSource("tree/inner/file.txt", "inside");
        QVERIFY(QFile::link(rig.source("tree/inner/file.txt"), rig.source("tree/link")));
        QVERIFY(QFile::link(QStringLiteral("/etc/hostname"), rig.source("alone")));
        pane.ingest({QUrl::fromLocalFile(rig.source("tree")), QUrl::fromLocalFile(rig.source("alone"))});
        QCOMPARE(rig.names(), (QStringList{"tree", "alone"}));
        const QString tree = pane.items()[0].url.toLocalFile();
        QCOMPARE(pane.items()[0].byteSize, 0);
        QCOMPARE(readAll(tree + "/inner/file.txt"), QByteArray("inside"));
        QVERIFY(QFileInfo(tree + "/link").isSymLink());
        QVERIFY(QFileInfo(pane.items()[1].url.toLocalFile()).isSymLink());

        // Removing a folder item never follows its links.
        pane.remove(pane.items()[0].id.toString());
        QVERIFY(!QFile::exists(tree));
        QCOMPARE(readAll(rig.source("tree/inner/file.txt")), QByteArray("inside"));
        QCOMPARE(rig.names(), QStringList{"alone"});
    }

    void loadKeepsTheNewestOfEachName()
    {
        Rig rig;
        QDir().mkpath(rig.shelf());
        const QString older = rig.write(rig.shelf() + "/" + uuid + "-a.txt", "older");
        const QString newer = rig.write(rig.shelf() + "/" + QUuid::createUuid().toString(QUuid::WithoutBraces) + "-a.txt", "newer");
        const QString byHand = rig.shelf() + "/notes-2024";
        QDir().mkpath(byHand);
        const QString partial = rig.write(rig.shelf() + "/.partial-" + uuid, "cut off");
        rig.age(older, 2h);
        rig.age(newer, 1h);
        rig.age(byHand, 3h);

        DropPane &pane = rig.launch();
        QCOMPARE(rig.names(), (QStringList{"notes-2024", "a.txt"}));
        QCOMPARE(pane.items()[0].byteSize, 0);
        QCOMPARE(pane.items()[1].url.toLocalFile(), newer);
        QCOMPARE(pane.items()[1].addedAt, rig.clock.wallNow().addSecs(-3600));
        QVERIFY(!QFile::exists(older));
        QVERIFY(!QFile::exists(partial));
        QVERIFY(pane.isSweeping());
    }

    void expiryAtStartAndBySweep()
    {
        Rig rig;
        QDir().mkpath(rig.shelf());
        const QString stale = rig.write(rig.shelf() + "/" + uuid + "-stale.txt");
        rig.age(stale, 25h);
        DropPane &pane = rig.launch();
        QVERIFY(!QFile::exists(stale));
        QVERIFY(pane.items().empty());

        pane.ingest({QUrl::fromLocalFile(rig.writeSource("a.txt"))});
        QVERIFY(pane.isSweeping());
        rig.clock.advance(23h);
        QCOMPARE(rig.names(), QStringList{"a.txt"});
        // The first pass after it is a day old takes it, and the sweep ends with the shelf empty.
        rig.clock.advance(1h + 900s);
        QVERIFY(pane.items().empty());
        QVERIFY(!pane.isSweeping());
        QCOMPARE(rig.clock.sleepers(), 0);
        QCOMPARE(rig.entries(rig.shelf()), QStringList());
    }

    void wallClockJumpExpires()
    {
        // A suspend: the wall clock moves a day and more while no monotonic time passes.
        Rig rig;
        DropPane &pane = rig.launch();
        pane.ingest({QUrl::fromLocalFile(rig.writeSource("a.txt"))});
        rig.clock.setWall(rig.clock.wallNow().addSecs(25 * 3600));
        QVERIFY(pane.items().empty());
        QVERIFY(!pane.isSweeping());
    }

    void parkingTimeIsTheCopysDate()
    {
        // A file last changed days ago is parked now: a restart and the folder pass read the
        // parking time, so the copy neither vanishes under its item nor expires early.
        Rig rig;
        DropPane &pane = rig.launch();
        const QString old = rig.writeSource("old.txt");
        rig.age(old, 72h);
        pane.ingest({QUrl::fromLocalFile(old)});
        rig.clock.advance(900s);
        QCOMPARE(rig.names(), QStringList{"old.txt"});
        QVERIFY(QFile::exists(pane.items().front().url.toLocalFile()));
        const QDateTime parked = pane.items().front().addedAt;

        DropPane &again = rig.launch();
        QCOMPARE(rig.names(), QStringList{"old.txt"});
        QCOMPARE(again.items().front().addedAt, parked);
    }

    void aFailedCopyLeavesNoTrace()
    {
        Rig rig;
        DropPane &pane = rig.launch();
        pane.ingest({QUrl::fromLocalFile(rig.writeSource("kept.txt"))});
        const QStringList before = rig.entries(rig.shelf());
        const QString big = rig.writeSource("big.bin", QByteArray(256 * 1024, 'x'));

        // Writes beyond 64 KiB fail halfway through the copy.
        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 64 * 1024;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        pane.ingest({QUrl::fromLocalFile(big)});
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &saved), 0);
        std::signal(SIGXFSZ, oldHandler);

        QCOMPARE(rig.names(), QStringList{"kept.txt"});
        QCOMPARE(rig.entries(rig.shelf()), before);
    }

    void promisedFiles_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("arrived");
        QTest::addColumn<bool>("folderStays");
        QTest::newRow("parked") << "staging-" + uuid << true << false;
        QTest::newRow("failed") << "staging-" + uuid << false << true;
        QTest::newRow("not a staging folder") << "elsewhere" << true << true;
    }
    void promisedFiles()
    {
        QFETCH(QString, folder);
        QFETCH(bool, arrived);
        QFETCH(bool, folderStays);
        Rig rig;
        DropPane &pane = rig.launch();
        const QString staging = rig.shelf() + "/" + folder;
        QDir().mkpath(staging);
        const QString file = staging + "/promised.txt";
        if (arrived)
            rig.write(file, "promise");
        pane.adoptPromisedFile(file);
        QCOMPARE(pane.pulse(), 0);
        QCOMPARE(rig.names(), arrived ? QStringList{"promised.txt"} : QStringList{});
        QCOMPARE(QFileInfo::exists(staging), folderStays);
        if (arrived)
            QVERIFY(pane.isSweeping());
    }

    void dragOutCopies()
    {
        Rig rig;
        DropPane &pane = rig.launch();
        pane.ingest({QUrl::fromLocalFile(rig.writeSource("a.txt", "payload"))});
        const QString id = pane.items().front().id.toString();
        const auto first = pane.dragPath(id);
        const auto second = pane.dragPath(id);
        QVERIFY(first && second);
        QVERIFY(*first != *second);
        QCOMPARE(QFileInfo(*first).fileName(), QStringLiteral("a.txt"));
        QCOMPARE(QFileInfo(QFileInfo(*first).absolutePath()).absolutePath(), QDir::cleanPath(rig.dragOut()));
        QCOMPARE(readAll(*second), QByteArray("payload"));
        QCOMPARE(pane.items().size(), size_t(1));
        QVERIFY(!pane.dragPath(QUuid::createUuid().toString()));

        // Kept a day for receivers that read late, then removed at the next start.
        rig.age(QFileInfo(*first).absolutePath(), 25h);
        rig.launch();
        QVERIFY(!QFileInfo::exists(*first));
        QVERIFY(QFileInfo::exists(*second));
    }

    void removeAndClear()
    {
        Rig rig;
        DropPane &pane = rig.launch();
        pane.ingest({QUrl::fromLocalFile(rig.writeSource("a.txt")), QUrl::fromLocalFile(rig.writeSource("b.txt"))});
        // An item whose file is already gone still leaves.
        QVERIFY(QFile::remove(pane.items().front().url.toLocalFile()));
        pane.remove(pane.items().front().id.toString());
        QCOMPARE(rig.names(), QStringList{"b.txt"});

        const QString staging = rig.shelf() + "/staging-" + uuid;
        QDir().mkpath(staging);
        pane.clear();
        QVERIFY(pane.items().empty());
        QVERIFY(!pane.isSweeping());
        QCOMPARE(rig.clock.sleepers(), 0);
        QCOMPARE(rig.entries(rig.shelf()), QStringList{"staging-" + uuid});
        QCOMPARE(pane.idle(), IdleSignal::inactive);
    }
};

QTEST_GUILESS_MAIN(DropShelfTest)
#include "tst_dropshelf.moc"
