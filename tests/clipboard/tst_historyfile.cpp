// labels: unit
// The stored history: its exact bytes, what the reader accepts, the image folder (each picture
// written once, read when wanted), a history that stays within what the reader takes, and an
// unreadable file set aside with its images instead of being written over.
#include "clipboard/ClipboardHistoryFile.h"
#include "clipboard/ClipboardService.h"
#include "fakes/FakePasteboard.h"
#include "fakes/ManualClock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace tavrenhold;

namespace {
const QUuid textId = QUuid::fromString(QStringLiteral("3f2504e0-4f89-41d3-9a0c-0305e82c3301"));
const QUuid imageId = QUuid::fromString(QStringLiteral("9b2c7d1e-0a4f-4e8b-b7c6-5d4e3f2a1b0c"));
const QByteArray imageBytes = QByteArrayLiteral("MM\0*bytes as copied");
// Long texts in the history that holds its read on the worker.
constexpr int longRows = 40;

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

// A service over a folder, fed by a fake clipboard on a manual clock.
struct ServiceRig {
    test::ManualClock clock;
    test::FakePasteboard pasteboard;
    test::FakeFrontmostApplication frontmost;
    std::unique_ptr<ClipboardService> service;

    explicit ServiceRig(const QString &folder)
        : service(std::make_unique<ClipboardService>(pasteboard, frontmost, folder, clock))
    {
        // The stored history is read on a worker; the checks that follow want it in.
        (void)QTest::qWaitFor([&] { return service->isLoaded(); }, 10000);
        service->start();
    }
    void image(const QByteArray &bytes)
    {
        platform::PasteboardContent content;
        content.types = {QStringLiteral("image/png")};
        content.png = bytes;
        pasteboard.setContent(content);
        clock.advance(std::chrono::seconds(1));
    }
    void text(const QString &text)
    {
        pasteboard.copyText(text);
        clock.advance(std::chrono::seconds(1));
    }
};

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
        QTRY_VERIFY_WITH_TIMEOUT(service.isLoaded(), 10000);
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
        QTRY_VERIFY_WITH_TIMEOUT(service.isLoaded(), 10000);
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

    // The size the service reckons a row takes is what the writer writes, escapes included, and a
    // cut keeps whole characters within the bound.
    void storedSizes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << QStringLiteral("plain words");
        QTest::newRow("quotes and backslashes") << QStringLiteral("say \"hi\" \\ there");
        QTest::newRow("short escapes") << QStringLiteral("a\tb\nc\rd\be\ff");
        QTest::newRow("control characters") << QString(40, QChar(1)) + QChar(0) + QChar(0x1f) + QChar(0x7f);
        QTest::newRow("two- and three-byte") << QStringLiteral("Grüße – 日本語 \u2028");
        QTest::newRow("surrogate pairs") << QStringLiteral("a\U0001F600b\U0001F4CB");
        QTest::newRow("lone halves") << QString(QChar(0xD800)) + QStringLiteral("x") + QChar(0xDC00);
    }
    void storedSizes()
    {
        QFETCH(QString, text);
        const ClipboardItem item{textId, ClipboardItem::Kind::text, text, std::nullopt, QStringLiteral("Editor"), false,
                                 786297600.123456789};
        const ClipboardItem other{imageId, ClipboardItem::Kind::image, std::nullopt, imageBytes, std::nullopt, true, 7.5};
        const qsizetype written = encodeHistory({StoredRow{item.id, item.kind, item.text, std::nullopt, item.sourceApp,
                                                           item.pinned, item.copiedAt},
                                                 StoredRow{other.id, other.kind, std::nullopt, imageFileName(other.id),
                                                           std::nullopt, other.pinned, other.copiedAt}})
                                      .size();
        const qsizetype reckoned = 2 + storedRowBytes(item) + storedRowBytes(other);
        // Never less than written; more only by the room kept for a later time and one comma.
        QVERIFY2(reckoned >= written && reckoned - written <= 2 * 24 + 1,
                 qPrintable(QStringLiteral("%1 reckoned, %2 written").arg(reckoned).arg(written)));

        // The text as the writer writes it: what Qt's JSON writer makes of it.
        const QByteArray one = encodeHistory({StoredRow{item.id, item.kind, item.text, std::nullopt, std::nullopt, false, 1}});
        const QByteArray qt = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
        QVERIFY(one.contains(",\"text\":" + qt.mid(1, qt.size() - 2) + ",\"pinned\""));

        const qsizetype whole = jsonStringBytes(text);
        for (qsizetype limit = 2; limit <= whole; ++limit) {
            const QString cut = cutToJsonBytes(text, limit);
            QVERIFY(text.startsWith(cut));
            QVERIFY(jsonStringBytes(cut) <= limit);
            QVERIFY(cut.isEmpty() || !cut.back().isHighSurrogate() || text.size() == cut.size()
                    || !text.at(cut.size()).isLowSurrogate());
            // The longest such start: one more character would not fit.
            if (cut.size() < text.size()) {
                const qsizetype next = text.at(cut.size()).isHighSurrogate() && cut.size() + 1 < text.size()
                                               && text.at(cut.size() + 1).isLowSurrogate()
                                           ? 2
                                           : 1;
                QVERIFY(jsonStringBytes(QStringView(text).first(cut.size() + next)) > limit);
            }
        }
        QCOMPARE(cutToJsonBytes(text, whole), text);
    }

    // Whatever the history holds after large copies, the next start reads it back whole: the
    // pinned entry survives, nothing is set aside, and a cut says why.
    void largeCopiesStayReadable_data()
    {
        QTest::addColumn<QChar>("fill");
        QTest::addColumn<qsizetype>("length");
        QTest::addColumn<int>("copies");
        QTest::addColumn<bool>("cut");
        // Six bytes each as written: 11.3 M of them were 68 MB in the file.
        QTest::newRow("control characters") << QChar(1) << qsizetype(11'300'000) << 1 << true;
        // Within one entry's share each (16.2 MB as written), more than the file takes together.
        QTest::newRow("several large texts") << QChar(1) << qsizetype(2'700'000) << 5 << false;
    }
    void largeCopiesStayReadable()
    {
        QFETCH(QChar, fill);
        QFETCH(qsizetype, length);
        QFETCH(int, copies);
        QFETCH(bool, cut);
        Folder folder;
        {
            ServiceRig rig(folder.dir.path());
            rig.text(QStringLiteral("pinned note"));
            rig.service->togglePin(rig.service->items().front());
            for (int i = 0; i < copies; ++i)
                rig.text(QString(length, fill) + QString::number(i));
            const ClipboardItem &last = rig.service->items().at(1); // after the pinned one
            QCOMPARE(last.text->endsWith(QString::number(copies - 1)), !cut);
            QVERIFY(last.text->startsWith(QString(1000, fill)));
            QCOMPARE(rig.service->notice().isEmpty(), !cut);
        }
        QVERIFY(QFileInfo(folder.history()).size() <= ClipboardHistoryStore::maxFileBytes);
        ServiceRig again(folder.dir.path());
        QVERIFY(again.service->store().historySetAside().isEmpty());
        QVERIFY(again.service->items().size() >= 2);
        QCOMPARE(again.service->items().front().text, QStringLiteral("pinned note"));
        QVERIFY(again.service->items().at(1).text->startsWith(QString(1000, fill)));
    }

    // With pinned entries filling the file, a further large copy is not kept, and says so; the
    // history reads back.
    void pinnedEntriesLeaveNoRoom()
    {
        Folder folder;
        {
            ServiceRig rig(folder.dir.path());
            // A quarter of the file each, as written (six bytes a character).
            const qsizetype share = (ClipboardHistoryStore::maxFileBytes / 4 - 256) / 6;
            for (int i = 0; i < 4; ++i) {
                rig.text(QString(share, QChar(1)) + QString::number(i));
                rig.service->togglePin(*std::find_if(rig.service->items().begin(), rig.service->items().end(),
                                                     [](const ClipboardItem &e) { return !e.pinned; }));
            }
            QVERIFY(rig.service->notice().isEmpty());
            rig.text(QString(1'000'000, QChar(u'z')));
            QCOMPARE(rig.service->items().size(), size_t(4));
            QVERIFY(!rig.service->notice().isEmpty());
            rig.text(QStringLiteral("small"));
            QCOMPARE(rig.service->items().size(), size_t(5));
            QVERIFY(rig.service->notice().isEmpty());
        }
        QVERIFY(QFileInfo(folder.history()).size() <= ClipboardHistoryStore::maxFileBytes);
        ServiceRig again(folder.dir.path());
        QCOMPARE(again.service->items().size(), size_t(5));
    }

    // A picture is written when it is captured and never again: later changes leave its file alone
    // (bytes placed in it by hand stay), and it goes with its entry.
    void pictureWrittenOnce()
    {
        Folder folder;
        ServiceRig rig(folder.dir.path());
        rig.image(QByteArrayLiteral("\x89PNG\r\n\x1a\npicture"));
        const QString file = folder.images() + QLatin1Char('/') + imageFileName(rig.service->items().front().id);
        QCOMPARE(readAll(file), QByteArrayLiteral("\x89PNG\r\n\x1a\npicture"));
        writeAll(file, "placed by hand");
        rig.text(QStringLiteral("a"));
        rig.service->togglePin(rig.service->items().back());
        rig.service->copy(rig.service->items().back());
        QCOMPARE(readAll(file), QByteArray("placed by hand"));
        rig.service->remove(*rig.service->item(QUuid::fromString(QFileInfo(file).baseName())));
        QVERIFY(!QFileInfo::exists(file));
    }

    // At start pictures stay on disk; copying one back reads its file, and an entry whose file went
    // is left out, as before.
    void picturesReadWhenWanted()
    {
        Folder folder;
        ClipboardHistoryStore(folder.dir.path()).persist(sample());
        ServiceRig rig(folder.dir.path());
        QCOMPARE(rig.service->items().size(), size_t(2));
        const ClipboardItem picture = rig.service->items().back();
        QCOMPARE(picture.id, imageId);
        QVERIFY(!picture.imageData);
        QCOMPARE(rig.service->imageBytes(picture), imageBytes);
        rig.service->copy(picture);
        QCOMPARE(rig.pasteboard.writes().back().data.front().second, imageBytes);

        QFile::remove(folder.images() + QStringLiteral("/9B2C7D1E-0A4F-4E8B-B7C6-5D4E3F2A1B0C.tiff"));
        ServiceRig later(folder.dir.path());
        QCOMPARE(later.service->items().size(), size_t(1));
        QCOMPARE(later.service->items().front().id, textId);
    }

    // The stored history is read on a worker. Meanwhile nothing is written over it; copies made
    // then go in front of the stored entries once they are in (duplicates dropped as usual), and a
    // clear asked for then clears the stored entries too, pinned ones kept.
    void whileTheHistoryIsRead_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("history"); // short entries in order; "long" for each long one
        QStringList stored{QStringLiteral("*pinned note"), QStringLiteral("stored short")};
        for (int i = 0; i < longRows; ++i)
            stored << QStringLiteral("long");
        QTest::newRow("nothing asked") << QStringList{} << stored;
        QTest::newRow("a copy goes in front")
            << QStringList{QStringLiteral("text:new")} << (QStringList{stored.front(), QStringLiteral("new")} + stored.mid(1));
        QTest::newRow("a copy of a stored text replaces it")
            << QStringList{QStringLiteral("text:stored short")} << stored;
        QTest::newRow("clear") << QStringList{QStringLiteral("clear")} << QStringList{QStringLiteral("*pinned note")};
        QTest::newRow("copy, clear, copy")
            << QStringList{QStringLiteral("text:a"), QStringLiteral("clear"), QStringLiteral("text:b")}
            << QStringList{QStringLiteral("*pinned note"), QStringLiteral("b")};
    }
    void whileTheHistoryIsRead()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, history);
        Folder folder;
        // Large enough that reading it takes a while: tens of MB of JSON.
        std::vector<ClipboardItem> items{
            {QUuid::createUuid(), ClipboardItem::Kind::text, QStringLiteral("pinned note"), {}, {}, true, 100},
            {QUuid::createUuid(), ClipboardItem::Kind::text, QStringLiteral("stored short"), {}, {}, false, 99}};
        for (int i = 0; i < longRows; ++i)
            items.push_back({QUuid::createUuid(), ClipboardItem::Kind::text,
                             QString(1'000'000, QChar(u'a' + i % 26)) + QString::number(i), {}, {}, false, 98.0 - i});
        ClipboardHistoryStore(folder.dir.path()).persist(items);
        const QByteArray before = readAll(folder.history());

        test::ManualClock clock;
        test::FakePasteboard pasteboard;
        test::FakeFrontmostApplication frontmost;
        ClipboardService service(pasteboard, frontmost, folder.dir.path(), clock);
        QSignalSpy landed(&service, &ClipboardService::isLoadedChanged);
        service.start();
        for (const QString &step : steps) {
            if (step == QLatin1String("clear"))
                service.clearHistory();
            else
                pasteboard.copyText(step.section(QLatin1Char(':'), 1));
        }
        QVERIFY2(!service.isLoaded(), "the read ended before the steps: the history is too small to hold it");
        QVERIFY(service.items().empty());
        QCOMPARE(readAll(folder.history()), before);

        QTRY_VERIFY_WITH_TIMEOUT(service.isLoaded(), 30000);
        QCOMPARE(landed.size(), 1);
        const auto shown = [](const std::vector<ClipboardItem> &list) {
            QStringList out;
            for (const ClipboardItem &item : list)
                out << (item.text->size() > 1000 ? QStringLiteral("long")
                                                 : (item.pinned ? QStringLiteral("*") : QString()) + *item.text);
            return out;
        };
        QCOMPARE(shown(service.items()), history);
        QCOMPARE(shown(ClipboardHistoryStore(folder.dir.path()).load()), history);
        if (steps.isEmpty())
            QCOMPARE(readAll(folder.history()), before);
    }

    // A large history the program wrote, texts with escapes and pictures among them, is read back
    // whole at the next start.
    void largeHistoryReadsBackAtNextStart()
    {
        Folder folder;
        std::vector<ClipboardItem> written;
        {
            ServiceRig rig(folder.dir.path());
            for (int i = 0; i < 10; ++i) {
                rig.text(QString(3'500'000, QChar(u'a' + i)) + QStringLiteral("\"\u00e9\n\U0001F600\t") + QString::number(i));
                if (i % 4 == 0)
                    rig.image(imageBytes + QByteArray::number(i));
            }
            rig.service->togglePin(rig.service->items().at(3));
            written = rig.service->items();
            QVERIFY(rig.service->notice().isEmpty());
        }
        QVERIFY(QFileInfo(folder.history()).size() > 30 * 1024 * 1024);
        ServiceRig again(folder.dir.path());
        QVERIFY(again.service->isLoaded());
        QVERIFY(again.service->store().historySetAside().isEmpty());
        const auto &read = again.service->items();
        QCOMPARE(read.size(), written.size());
        for (size_t i = 0; i < read.size(); ++i) {
            QCOMPARE(read[i].id, written[i].id);
            QCOMPARE(read[i].kind, written[i].kind);
            QCOMPARE(read[i].text, written[i].text);
            QCOMPARE(read[i].pinned, written[i].pinned);
            QCOMPARE(read[i].copiedAt, written[i].copiedAt);
            QCOMPARE(again.service->imageBytes(read[i]), written[i].imageData);
        }
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
