// Reading a file that someone else may have put in place: only a regular file within the bound,
// and never a wait on a FIFO or a stream from a device.
#include "FileKinds.h"

#include "platform/BoundedFile.h"
#include "platform/DesktopEntries.h"

#include <QTemporaryDir>
#include <QTest>

using tavrenhold::platform::BoundedFile;
using tavrenhold::platform::FileRefusal;
using tavrenhold::platform::readBoundedRegularFile;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(FileRefusal)

namespace {
constexpr qint64 bound = 64;

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
} // namespace

class BoundedFileTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void regularFilesWithinTheBound_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("throughLink");
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("small") << QByteArray("{\"k\": 1}") << false;
        QTest::newRow("at the bound") << QByteArray(bound, 'x') << false;
        QTest::newRow("through a link") << QByteArray("linked") << true;
    }
    void regularFilesWithinTheBound()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, throughLink);
        QTemporaryDir dir;
        const QString file = dir.filePath("file");
        QVERIFY(writeFile(file, content));
        const QString path = throughLink ? dir.filePath("link") : file;
        if (throughLink)
            QVERIFY(QFile::link(file, path));
        const BoundedFile read = readBoundedRegularFile(path, bound);
        QVERIFY(read.ok());
        QCOMPARE(read.value(), content);
    }

    void refused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<FileRefusal>("refusal");
        QTest::newRow("nothing there") << "" << FileRefusal::absent;
        QTest::newRow("dangling link") << "dangling link" << FileRefusal::absent;
        QTest::newRow("one past the bound") << "one past" << FileRefusal::tooLarge;
        QTest::newRow("sparse 600 MB") << "sparse 600 MB" << FileRefusal::tooLarge;
        QTest::newRow("fifo") << "fifo" << FileRefusal::notRegular;
        QTest::newRow("link to fifo") << "link to fifo" << FileRefusal::notRegular;
        QTest::newRow("link to /dev/zero") << "link to /dev/zero" << FileRefusal::notRegular;
        QTest::newRow("link to /dev/null") << "link to /dev/null" << FileRefusal::notRegular;
        QTest::newRow("folder") << "folder" << FileRefusal::notRegular;
        QTest::newRow("link to folder") << "link to folder" << FileRefusal::notRegular;
    }
    void refused()
    {
        QFETCH(QString, kind);
        QFETCH(FileRefusal, refusal);
        QTemporaryDir dir;
        const QString path = dir.filePath("file");
        if (kind == QLatin1String("one past"))
            QVERIFY(writeFile(path, QByteArray(bound + 1, 'x')));
        else if (!kind.isEmpty())
            QVERIFY(tavrenhold::test::makeFileKind(path, kind));
        const qint64 peakBefore = tavrenhold::test::peakResidentBytes();
        std::optional<BoundedFile> read;
        QVERIFY(tavrenhold::test::returnsWithin([&] { read = readBoundedRegularFile(path, bound); }, 20s,
                                                kind.contains(QLatin1String("fifo")) ? path : QString()));
        QVERIFY(!read->ok());
        QCOMPARE(read->error(), refusal);
        QVERIFY(tavrenhold::test::peakResidentBytes() - peakBefore < 16 * 1024 * 1024);
    }

    // Players' desktop entries come from folders other programs write: one that is no regular
    // file is no entry, found at once.
    void desktopEntryThatIsNoRegularFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("fifo") << "fifo";
        QTest::newRow("link to /dev/zero") << "link to /dev/zero";
    }
    void desktopEntryThatIsNoRegularFile()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath("player.desktop");
        QVERIFY(tavrenhold::test::makeFileKind(path, kind));
        std::optional<tavrenhold::platform::DesktopEntry> entry;
        QVERIFY(tavrenhold::test::returnsWithin([&] { entry = tavrenhold::platform::DesktopEntries::read(path); }, 20s,
                                                kind == QLatin1String("fifo") ? path : QString()));
        QVERIFY(!entry);
    }

    void unreadableFile()
    {
        if (::geteuid() == 0)
            QSKIP("root reads files of any mode");
        QTemporaryDir dir;
        const QString path = dir.filePath("file");
        QVERIFY(writeFile(path, "secret"));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        const BoundedFile read = readBoundedRegularFile(path, bound);
        QVERIFY(!read.ok());
        QCOMPARE(read.error(), FileRefusal::unreadable);
    }
};

QTEST_GUILESS_MAIN(BoundedFileTest)
#include "tst_boundedfile.moc"
