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
#include <QTimer>
#include <QTest>

#include <csignal>
#include <fcntl.h>
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

    // Parks `urls` and waits until their copies are done.
    void ingest(const QList<QUrl> &urls)
    {
        pane->ingest(urls);
        settle();
    }
    void settle() { QTRY_VERIFY_WITH_TIMEOUT(!pane->isCopying(), 60000); }

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

        rig.ingest({QUrl::fromLocalFile(rig.writeSource("a.txt", "first")),
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
        rig.ingest({QUrl::fromLocalFile(rig.writeSource("a.txt", "second"))});
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
        rig.ingest({});
        QCOMPARE(pane.pulse(), 0);
        QVERIFY(!pane.isSweeping());
        QCOMPARE(rig.clock.sleepers(), 0);

        // Two of one name in a batch keep the second; a missing file fails alone; one pulse.
        const QString one = rig.write(rig.root.filePath("x/same.txt"), "one");
        const QString two = rig.write(rig.root.filePath("y/same.txt"), "two");
        rig.ingest({QUrl::fromLocalFile(one), QUrl::fromLocalFile(rig.source("missing.txt")),
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
        rig.ingest({url});
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
        rig.ingest({QUrl::fromLocalFile(rig.source("tree")), QUrl::fromLocalFile(rig.source("alone"))});
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

        rig.ingest({QUrl::fromLocalFile(rig.writeSource("a.txt"))});
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
        rig.ingest({QUrl::fromLocalFile(rig.writeSource("a.txt"))});
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
        rig.ingest({QUrl::fromLocalFile(old)});
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
        rig.launch();
        rig.ingest({QUrl::fromLocalFile(rig.writeSource("kept.txt"))});
        const QStringList before = rig.entries(rig.shelf());
        const QString big = rig.writeSource("big.bin", QByteArray(256 * 1024, 'x'));

        // Writes beyond 64 KiB fail halfway through the copy.
        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 64 * 1024;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        rig.ingest({QUrl::fromLocalFile(big)});
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
        rig.settle();
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
        rig.ingest({QUrl::fromLocalFile(rig.writeSource("a.txt", "payload"))});
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

        // A receiver that moves the dragged file away leaves the parked one in place.
        const QString moved = rig.root.filePath(QStringLiteral("taken.txt"));
        QVERIFY(QFile::rename(*second, moved));
        QCOMPARE(readAll(pane.items().front().url.toLocalFile()), QByteArray("payload"));
        QVERIFY(QFile::rename(moved, *second));

        // Kept a day for receivers that read late, then removed at the next start.
        rig.age(QFileInfo(*first).absolutePath(), 25h);
        rig.launch();
        QVERIFY(!QFileInfo::exists(*first));
        QVERIFY(QFileInfo::exists(*second));
    }

    // Big drops are copied off the main thread: the drop returns at once, the main thread keeps
    // running (a timer fires) while nothing partial shows in the shelf, and a sparse file's copy
    // keeps its holes.
    void bigDropsAreCopiedOnAWorker_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("sparse 2 GiB file") << "sparse";
        QTest::newRow("folder of 100,000 files") << "tree";
    }
    void bigDropsAreCopiedOnAWorker()
    {
        QFETCH(QString, kind);
        Rig rig;
        DropPane &pane = rig.launch();
        constexpr qint64 sparseSize = qint64(2) << 30;
        constexpr int treeFiles = 100000;
        QString source;
        if (kind == "sparse") {
            source = rig.writeSource("disk.img", "head");
            QFile file(source);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.seek(sparseSize - 4));
            QCOMPARE(file.write("tail"), 4);
        } else {
            source = rig.source("tree");
            for (int folder = 0; folder < treeFiles / 1000; ++folder) {
                const QByteArray path = QFile::encodeName(source + "/d" + QString::number(folder));
                QVERIFY(QDir().mkpath(QString::fromUtf8(path)));
                for (int i = 0; i < 1000; ++i) {
                    const int fd = ::open((path + "/f" + QByteArray::number(i)).constData(),
                                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
                    QVERIFY(fd >= 0);
                    ::close(fd);
                }
            }
        }

        int ticks = 0;
        bool partialShown = false;
        QTimer timer;
        timer.setInterval(1);
        connect(&timer, &QTimer::timeout, [&] {
            ++ticks;
            if (pane.isCopying())
                partialShown = partialShown || !QDir(rig.shelf()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty();
        });
        timer.start();
        pane.ingest({QUrl::fromLocalFile(source)});
        // The drop returned before its copy was parked.
        QVERIFY(pane.isCopying());
        QVERIFY(pane.items().empty());
        QTRY_VERIFY_WITH_TIMEOUT(!pane.isCopying(), 120000);
        timer.stop();
        if (kind == "tree")
            QVERIFY2(ticks > 0, "the main thread stood still during the copy");
        QVERIFY(!partialShown);
        QCOMPARE(rig.names(), QStringList{QFileInfo(source).fileName()});
        const QString copy = pane.items().front().url.toLocalFile();

        if (kind == "sparse") {
            struct stat st {};
            QCOMPARE(::stat(QFile::encodeName(copy).constData(), &st), 0);
            QCOMPARE(qint64(st.st_size), sparseSize);
            QVERIFY2(qint64(st.st_blocks) * 512 < (qint64(1) << 20),
                     qPrintable(QStringLiteral("%1 bytes allocated").arg(qint64(st.st_blocks) * 512)));
            QFile file(copy);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.read(4), QByteArray("head"));
            QVERIFY(file.seek(sparseSize / 2));
            QCOMPARE(file.read(4), QByteArray(4, '\0'));
            QVERIFY(file.seek(sparseSize - 4));
            QCOMPARE(file.read(4), QByteArray("tail"));
        } else {
            QCOMPARE(QDir(copy + "/d99").entryList(QDir::Files).size(), 1000);
            QVERIFY(QFileInfo::exists(copy + "/d0/f0"));
        }
    }

    // Names near the file system's limit are parked under a name that fits with the "<UUID>-"
    // prefix: cut between characters, the extension kept, and read back the same at the next start.
    void longNamesAreFitted_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("extension");
        QTest::newRow("254 bytes") << QString(250, QLatin1Char('n')) + ".txt" << ".txt";
        QTest::newRow("two-byte characters") << QString(125, QChar(0xe9)) + ".pdf" << ".pdf";
        QTest::newRow("four-byte characters") << QStringLiteral("\U0001F600").repeated(62) + ".png" << ".png";
        QTest::newRow("no extension") << QString(255, QLatin1Char('y')) << QString();
        QTest::newRow("short name stays whole") << QStringLiteral("plain.txt") << ".txt";
    }
    void longNamesAreFitted()
    {
        QFETCH(QString, name);
        QFETCH(QString, extension);
        QVERIFY(name.toUtf8().size() <= 255);
        Rig rig;
        DropPane &pane = rig.launch();
        const QString source = rig.writeSource(name, "long");
        QVERIFY(!source.isEmpty());
        rig.ingest({QUrl::fromLocalFile(source)});
        QCOMPARE(pane.items().size(), size_t(1));
        const QString parked = pane.items().front().name;
        const QString stored = QFileInfo(pane.items().front().url.toLocalFile()).fileName();
        QVERIFY2(stored.toUtf8().size() <= 255, qPrintable(QString::number(stored.toUtf8().size())));
        QCOMPARE(DropPane::displayName(stored), parked);
        QCOMPARE(QString::fromUtf8(parked.toUtf8()), parked); // whole characters only
        QVERIFY(parked.endsWith(extension));
        QVERIFY(name.startsWith(parked.left(parked.size() - extension.size())));
        if (name.toUtf8().size() <= 255 - 37)
            QCOMPARE(parked, name);
        QCOMPARE(readAll(pane.items().front().url.toLocalFile()), QByteArray("long"));

        rig.launch();
        QCOMPARE(rig.names(), QStringList{parked});
    }

    // A folder named by a step ("sub/..", "sub/.") is parked as the real folder under its real name.
    void stepsNameTheRealFolder_data()
    {
        QTest::addColumn<QString>("dropped");
        QTest::addColumn<QString>("name");
        QTest::newRow("parent step") << "parent/sub/.." << "parent";
        QTest::newRow("parent step, trailing slash") << "parent/sub/../" << "parent";
        QTest::newRow("current step") << "parent/sub/." << "sub";
    }
    void stepsNameTheRealFolder()
    {
        QFETCH(QString, dropped);
        QFETCH(QString, name);
        Rig rig;
        DropPane &pane = rig.launch();
        rig.writeSource("parent/sub/inner.txt", "inner");
        rig.writeSource("parent/top.txt", "top");
        rig.ingest({QUrl::fromLocalFile(rig.source(dropped))});
        QCOMPARE(rig.names(), QStringList{name});
        const QString copy = pane.items().front().url.toLocalFile();
        QVERIFY(QFileInfo(copy).fileName().endsWith("-" + name));
        const QString inner = name == "parent" ? copy + "/sub/inner.txt" : copy + "/inner.txt";
        QCOMPARE(readAll(inner), QByteArray("inner"));
    }

    // Dragging out an item stored under a step name ("<UUID>-..", left by an earlier run) never
    // touches the other copies waiting in DragOut for their receivers.
    void dragOutOfAStepNameKeepsOtherCopies()
    {
        Rig rig;
        DropPane &pane = rig.launch();
        rig.ingest({QUrl::fromLocalFile(rig.writeSource("a.txt", "waiting"))});
        const auto waiting = pane.dragPath(pane.items().front().id.toString());
        QVERIFY(waiting);
        rig.write(rig.shelf() + "/" + uuid + "-../inside.txt", "step");
        rig.age(rig.shelf() + "/" + uuid + "-..", 1h);

        DropPane &again = rig.launch();
        QCOMPARE(rig.names(), (QStringList{"..", "a.txt"}));
        const auto stepped = again.dragPath(again.items().front().id.toString());
        QCOMPARE(readAll(*waiting), QByteArray("waiting"));
        QVERIFY(stepped);
        QCOMPARE(QFileInfo(QFileInfo(*stepped).absolutePath()).absolutePath(), QDir::cleanPath(rig.dragOut()));
        QCOMPARE(readAll(*stepped + "/inside.txt"), QByteArray("step"));
    }

    // A promised file must be a regular file the source wrote: a link it planted at the promised
    // path, or a folder, is not parked, and what the link names is never copied.
    void promisedFileMustBeRegular_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::newRow("link to a file") << "link";
        QTest::newRow("link to a folder") << "folderlink";
        QTest::newRow("folder") << "folder";
    }
    void promisedFileMustBeRegular()
    {
        QFETCH(QString, planted);
        Rig rig;
        DropPane &pane = rig.launch();
        const QString secret = rig.writeSource("secret.txt", "secret");
        const QString staging = rig.shelf() + "/staging-" + uuid;
        QVERIFY(QDir().mkpath(staging));
        const QString promised = staging + "/promised.txt";
        if (planted == "link")
            QVERIFY(QFile::link(secret, promised));
        else if (planted == "folderlink")
            QVERIFY(QFile::link(rig.source({}), promised));
        else
            rig.write(promised + "/inner.txt", "inner");
        pane.adoptPromisedFile(promised);
        rig.settle();
        QVERIFY(pane.items().empty());
        QCOMPARE(rig.entries(rig.shelf()), QStringList{"staging-" + uuid});
    }

    void removeAndClear()
    {
        Rig rig;
        DropPane &pane = rig.launch();
        rig.ingest({QUrl::fromLocalFile(rig.writeSource("a.txt")), QUrl::fromLocalFile(rig.writeSource("b.txt"))});
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
