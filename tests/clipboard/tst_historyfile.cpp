// labels: unit
// The stored history: its exact bytes, what the reader accepts, the image folder, and an
// unreadable file set aside with its images instead of being written over.
#include "clipboard/ClipboardHistoryFile.h"
#include "clipboard/ClipboardService.h"
#include "fakes/FakePasteboard.h"
#include "fakes/ManualClock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace tavrenhold;

namespace {
const QUuid textId = QUuid::fromString(QStringLiteral("3f2504e0-4f89-41d3-9a0c-0305e82c3301"));
const QUuid imageId = QUuid::fromString(QStringLiteral("9b2c7d1e-0a4f-4e8b-b7c6-5d4e3f2a1b0c"));
const QByteArray imageBytes = QByteArrayLiteral("MM\0*bytes as copied");

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

std::vector<ClipboardItem> sample()
{
    return {ClipboardItem{textId, ClipboardItem::Kind::text, QStringLiteral("say \"hi\"\n"), std::nullopt,
                          QStringLiteral("Text Editor"), true, 786297600.123456789},
            ClipboardItem{imageId, ClipboardItem::Kind::image, std::nullopt, imageBytes, std::nullopt, false, 7.5}};
}

struct Folder {
    QTemporaryDir dir;
    [[nodiscard]] QString history() const { return dir.filePath(QStringLiteral("clipboard-history.json")); }
    [[nodiscard]] QString images() const { return dir.filePath(QStringLiteral("clipboard-images")); }
    [[nodiscard]] QStringList names() const
    {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    }
};
} // namespace

class HistoryFileTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void exactBytes()
    {
        Folder folder;
        ClipboardHistoryStore store(folder.dir.path());
        store.persist(sample());
        QCOMPARE(readAll(folder.history()),
                 QByteArray("[{\"id\":\"3F2504E0-4F89-41D3-9A0C-0305E82C3301\",\"kind\":\"text\",\"text\":\"say \\\"hi\\\"\\n\","
                            "\"sourceApp\":\"Text Editor\",\"pinned\":true,\"copiedAt\":786297600.1234568},"
                            "{\"id\":\"9B2C7D1E-0A4F-4E8B-B7C6-5D4E3F2A1B0C\",\"kind\":\"image\","
                            "\"imagePath\":\"9B2C7D1E-0A4F-4E8B-B7C6-5D4E3F2A1B0C.tiff\",\"pinned\":false,\"copiedAt\":7.5}]"));
        QCOMPARE(readAll(folder.images() + QStringLiteral("/9B2C7D1E-0A4F-4E8B-B7C6-5D4E3F2A1B0C.tiff")), imageBytes);
        // Nothing for the group or others.
        QCOMPARE(int(QFileInfo(folder.history()).permissions() & 0x7777), 0x6600);
        QCOMPARE(int(QFileInfo(folder.images()).permissions() & 0x7777), 0x7700);
        store.persist({});
        QCOMPARE(readAll(folder.history()), QByteArray("[]"));
    }

    void roundTrip()
    {
        Folder folder;
        ClipboardHistoryStore(folder.dir.path()).persist(sample());
        ClipboardHistoryStore again(folder.dir.path());
        QCOMPARE(again.load(), sample()); // copiedAt is the same double
        QVERIFY(again.historySetAside().isEmpty());
    }

    void readerTakesAnyOrderNullAndExtraKeys()
    {
        Folder folder;
        writeAll(folder.images() + QStringLiteral("/pic.tiff"), imageBytes);
        writeAll(folder.history(),
                 "[{\"copiedAt\":786297600.123456789,\"pinned\":true,\"sourceApp\":\"Text Editor\",\"imagePath\":null,"
                 "\"text\":\"say \\\"hi\\\"\\n\",\"kind\":\"text\",\"id\":\"3f2504e0-4f89-41d3-9a0c-0305e82c3301\",\"extra\":[1]},"
                 "{\"id\":\"9B2C7D1E-0A4F-4E8B-B7C6-5D4E3F2A1B0C\",\"kind\":\"image\",\"text\":null,\"sourceApp\":null,"
                 "\"imagePath\":\"pic.tiff\",\"pinned\":false,\"copiedAt\":7.5}]");
        QCOMPARE(ClipboardHistoryStore(folder.dir.path()).load(), sample());
    }

    void imageFolderHoldsOnlyTheHistorysImages()
    {
        Folder folder;
        test::ManualClock clock;
        test::FakePasteboard pasteboard;
        test::FakeFrontmostApplication frontmost;
        ClipboardHistoryStore(folder.dir.path()).persist(sample());
        writeAll(folder.images() + QStringLiteral("/placed-by-hand.png"), "x");
        QDir().mkpath(folder.images() + QStringLiteral("/a-folder/inside"));
        ClipboardService service(pasteboard, frontmost, folder.dir.path(), clock);
        QCOMPARE(service.items().size(), size_t(2));
        service.togglePin(service.items().front()); // any write sweeps
        QCOMPARE(QDir(folder.images()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("9B2C7D1E-0A4F-4E8B-B7C6-5D4E3F2A1B0C.tiff")});
        service.remove(service.items().back());
        QVERIFY(QDir(folder.images()).isEmpty());
    }

    void imageRowWithoutItsFileIsDropped()
    {
        Folder folder;
        ClipboardHistoryStore(folder.dir.path()).persist(sample());
        QFile::remove(folder.images() + QStringLiteral("/9B2C7D1E-0A4F-4E8B-B7C6-5D4E3F2A1B0C.tiff"));
        const auto items = ClipboardHistoryStore(folder.dir.path()).load();
        QCOMPARE(items.size(), size_t(1));
        QCOMPARE(items.front().id, textId);
    }

    void imagePathMustBeABareName_data()
    {
        QTest::addColumn<QString>("imagePath");
        QTest::newRow("parent") << QStringLiteral("../outside.tiff");
        QTest::newRow("absolute") << QStringLiteral("/etc/outside.tiff");
        QTest::newRow("sub-folder") << QStringLiteral("sub/outside.tiff");
        QTest::newRow("dot") << QStringLiteral(".");
        QTest::newRow("dot dot") << QStringLiteral("..");
        QTest::newRow("NUL") << QStringLiteral("outside.tiff\\u0000x");
        QTest::newRow("empty") << QString();
    }
    void imagePathMustBeABareName()
    {
        QFETCH(QString, imagePath);
        Folder folder;
        // Files a crafted path could reach: beside the history, and inside a sub-folder.
        writeAll(folder.dir.filePath(QStringLiteral("outside.tiff")), imageBytes);
        writeAll(folder.images() + QStringLiteral("/sub/outside.tiff"), imageBytes);
        const QString row = QStringLiteral("{\"id\":\"%1\",\"kind\":\"%2\",\"imagePath\":\"%3\",\"pinned\":false,\"copiedAt\":1}");
        writeAll(folder.history(), QStringLiteral("[%1,%2]")
                                       .arg(row.arg(QStringLiteral("9B2C7D1E-0A4F-4E8B-B7C6-5D4E3F2A1B0C"),
                                                    QStringLiteral("image"), imagePath),
                                            row.arg(QStringLiteral("3F2504E0-4F89-41D3-9A0C-0305E82C3301"),
                                                    QStringLiteral("text"), imagePath))
                                       .toUtf8());
        const auto items = ClipboardHistoryStore(folder.dir.path()).load();
        QCOMPARE(items.size(), size_t(1)); // the image row has no bytes
        QCOMPARE(items.front().id, textId);
        QVERIFY(!items.front().imageData);
    }

    void unreadableHistoryIsSetAside_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("unknown kind")
            << QByteArray("[{\"id\":\"3F2504E0-4F89-41D3-9A0C-0305E82C3301\",\"kind\":\"file\",\"pinned\":false,\"copiedAt\":1}]");
        QTest::newRow("id not a UUID") << QByteArray("[{\"id\":\"abc\",\"kind\":\"text\",\"pinned\":false,\"copiedAt\":1}]");
        QTest::newRow("copiedAt a string")
            << QByteArray("[{\"id\":\"3F2504E0-4F89-41D3-9A0C-0305E82C3301\",\"kind\":\"text\",\"pinned\":false,\"copiedAt\":\"1\"}]");
        QTest::newRow("pinned missing")
            << QByteArray("[{\"id\":\"3F2504E0-4F89-41D3-9A0C-0305E82C3301\",\"kind\":\"text\",\"copiedAt\":1}]");
        QTest::newRow("text a number")
            << QByteArray("[{\"id\":\"3F2504E0-4F89-41D3-9A0C-0305E82C3301\",\"kind\":\"text\",\"text\":5,\"pinned\":false,\"copiedAt\":1}]");
        QTest::newRow("top level an object") << QByteArray("{}");
        QTest::newRow("cut short") << QByteArray("[{\"id\":");
    }
    void unreadableHistoryIsSetAside()
    {
        QFETCH(QByteArray, bytes);
        Folder folder;
        ClipboardHistoryStore(folder.dir.path()).persist(sample());
        // One good row and then the bad one: the whole file fails.
        const QByteArray good = readAll(folder.history());
        const QByteArray file = bytes.startsWith('[') ? good.chopped(1) + ',' + bytes.mid(1) : bytes;
        writeAll(folder.history(), file);

        test::ManualClock clock;
        test::FakePasteboard pasteboard;
        test::FakeFrontmostApplication frontmost;
        ClipboardService service(pasteboard, frontmost, folder.dir.path(), clock);
        QVERIFY(service.items().empty());
        const QString historyAside = service.store().historySetAside();
        const QString imagesAside = service.store().imagesSetAside();
        QVERIFY(QFileInfo(historyAside).fileName().startsWith(QLatin1String("clipboard-history.corrupt.")));
        QVERIFY(historyAside.endsWith(QLatin1String(".json")));
        QVERIFY(QFileInfo(imagesAside).fileName().startsWith(QLatin1String("clipboard-images.corrupt.")));
        // The first write leaves both where they went, untouched.
        service.start();
        pasteboard.copyText(QStringLiteral("new"));
        QCOMPARE(readAll(historyAside), file);
        QCOMPARE(readAll(imagesAside + QStringLiteral("/9B2C7D1E-0A4F-4E8B-B7C6-5D4E3F2A1B0C.tiff")), imageBytes);
        QCOMPARE(ClipboardHistoryStore(folder.dir.path()).load().size(), size_t(1));
    }

    void asideNamesDoNotCollide()
    {
        Folder folder;
        QStringList asides;
        for (int i = 0; i < 3; ++i) {
            writeAll(folder.history(), "not json");
            ClipboardHistoryStore store(folder.dir.path());
            QVERIFY(store.load().empty());
            asides << store.historySetAside();
        }
        asides.removeDuplicates();
        QCOMPARE(asides.size(), 3);
        for (const QString &aside : asides)
            QCOMPARE(readAll(aside), QByteArray("not json"));
    }

    void notARegularFile()
    {
        Folder folder;
        QDir().mkpath(folder.history()); // a folder where the file should be
        ClipboardHistoryStore store(folder.dir.path());
        QVERIFY(store.load().empty());
        QVERIFY(QFileInfo(store.historySetAside()).isDir());
        store.persist(sample());
        QVERIFY(QFileInfo(folder.history()).isFile());
    }

    void withoutAFolderNothingIsWritten()
    {
        test::ManualClock clock;
        test::FakePasteboard pasteboard;
        test::FakeFrontmostApplication frontmost;
        ClipboardService service(pasteboard, frontmost, QString(), clock);
        service.start();
        pasteboard.copyText(QStringLiteral("kept in memory"));
        QCOMPARE(service.items().size(), size_t(1));
        QVERIFY(!service.store().isWritable());
        QVERIFY(!QFileInfo::exists(QDir::tempPath() + QStringLiteral("/app.tavrenhold/clipboard-history.json"))
                || QFileInfo(QDir::tempPath() + QStringLiteral("/app.tavrenhold/clipboard-history.json")).lastModified()
                    < QDateTime::currentDateTime().addSecs(-60));
    }
};

QTEST_MAIN(HistoryFileTest)
#include "tst_historyfile.moc"
