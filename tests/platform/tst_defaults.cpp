#include "FileKinds.h"

#include "platform/BoundedFile.h"
#include "platform/Defaults.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <memory>

using tavrenhold::platform::Defaults;
using tavrenhold::platform::maxStoreFileBytes;
using namespace std::chrono_literals;

namespace {
void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
QJsonObject readObject(const QString &path) { return QJsonDocument::fromJson(readFile(path)).object(); }
QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden);
}
// A JSON object {"k": "xx…"} of exactly size bytes.
QByteArray objectOfSize(qint64 size)
{
    const QByteArray head("{\"k\": \""), tail("\"}");
    return head + QByteArray(size - head.size() - tail.size(), 'x') + tail;
}
} // namespace

class DefaultsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void readings_data()
    {
        QTest::addColumn<QByteArray>("json"); // the stored value of "k"
        QTest::addColumn<QString>("text");    // "-" when absent
        QTest::addColumn<QString>("boolValue");
        QTest::addColumn<bool>("boolean");
        QTest::addColumn<QString>("number");
        QTest::newRow("absent") << QByteArray() << "-" << "-" << false << "-";
        QTest::newRow("true") << QByteArray("true") << "-" << "1" << true << "1";
        QTest::newRow("false") << QByteArray("false") << "-" << "0" << false << "0";
        QTest::newRow("one") << QByteArray("1") << "-" << "1" << true << "1";
        QTest::newRow("zero") << QByteArray("0") << "-" << "0" << false << "0";
        QTest::newRow("two") << QByteArray("2") << "-" << "-" << true << "2";
        QTest::newRow("fraction") << QByteArray("520.5") << "-" << "-" << true << "520.5";
        QTest::newRow("text YES") << QByteArray("\"YES\"") << "YES" << "-" << true << "-";
        QTest::newRow("text true") << QByteArray("\"true\"") << "true" << "-" << true << "-";
        QTest::newRow("text 007") << QByteArray("\" 007\"") << " 007" << "-" << true << "-";
        QTest::newRow("text no") << QByteArray("\"no\"") << "no" << "-" << false << "-";
        QTest::newRow("text number") << QByteArray("\"520\"") << "520" << "-" << true << "-";
        QTest::newRow("null") << QByteArray("null") << "-" << "-" << false << "-";
        QTest::newRow("list") << QByteArray("[1]") << "-" << "-" << false << "-";
    }
    void readings()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, text);
        QFETCH(QString, boolValue);
        QFETCH(bool, boolean);
        QFETCH(QString, number);
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.json");
        writeFile(path, json.isEmpty() ? QByteArray("{}") : "{\"k\": " + json + "}");
        const Defaults d(path);
        QVERIFY(d.movedAsidePath().isEmpty());
        QCOMPARE(d.string("k").value_or("-"), text);
        QCOMPARE(d.boolValue("k").has_value() ? QString::number(*d.boolValue("k")) : QString("-"), boolValue);
        QCOMPARE(d.boolean("k"), boolean);
        QCOMPARE(d.doubleValue("k").has_value() ? QString::number(*d.doubleValue("k")) : QString("-"), number);
    }

    void stringListsAndData()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.json");
        writeFile(path, R"({"good": ["a", "b"], "mixed": ["a", 1], "text": "a", "bad64": {"data": "%%%"}})");
        Defaults d(path);
        QCOMPARE(d.stringList("good"), std::optional(QStringList{"a", "b"}));
        QVERIFY(!d.stringList("mixed"));
        QVERIFY(!d.stringList("text"));
        QVERIFY(!d.data("bad64"));
        const QByteArray blob("\x00\x01\xfe\xff", 4);
        d.setData("blob", blob);
        QCOMPARE(d.data("blob"), std::optional(blob));
        const Defaults reread(path);
        QCOMPARE(reread.data("blob"), std::optional(blob));
        QCOMPARE(readObject(path).value("blob").toObject().value("data").toString(), QString("AAH+/w=="));
    }

    void everySetIsWrittenAtOnce()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("sub/folder/defaults.json");
        Defaults d(path);
        QVERIFY(!QFile::exists(path));
        d.set("notch.expandedWidth", 480.0);
        QVERIFY(d.lastWriteSucceeded());
        QCOMPARE(readObject(path).value("notch.expandedWidth").toDouble(), 480.0);
        d.set("shell.paneOrder", QJsonArray{"focus", "music"});
        QCOMPARE(readObject(path).value("shell.paneOrder").toArray().size(), 2);
        d.remove("notch.expandedWidth");
        QVERIFY(!readObject(path).contains("notch.expandedWidth"));
        QCOMPARE(dir.path() + "/sub/folder", QFileInfo(path).absolutePath());
        QCOMPARE(QDir(dir.filePath("sub/folder")).entryList(QDir::Files), QStringList{"defaults.json"});
    }

    void corruptFileIsMovedAside_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("not json") << QByteArray("{ nope");
        QTest::newRow("array") << QByteArray("[1, 2]");
        QTest::newRow("text") << QByteArray("\"hello\"");
        QTest::newRow("binary") << QByteArray("\x00\xff\x10", 3);
    }
    void corruptFileIsMovedAside()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.json");
        writeFile(path, content);
        Defaults d(path);
        QVERIFY(!d.contains("anything"));
        const QString aside = d.movedAsidePath();
        QVERIFY(aside.startsWith(dir.filePath("defaults.corrupt.")));
        QVERIFY(aside.endsWith(".json"));
        QCOMPARE(readFile(aside), content);
        QVERIFY(!QFile::exists(path));
        d.set("k", true);
        QCOMPARE(readFile(aside), content); // the unreadable file is never overwritten
        QCOMPARE(readObject(path).value("k").toBool(), true);
    }

    void secondCorruptionGetsAUniqueName()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.json");
        writeFile(path, "broken one");
        const QString first = Defaults(path).movedAsidePath();
        writeFile(path, "broken two");
        const QString second = Defaults(path).movedAsidePath();
        QVERIFY(!first.isEmpty() && !second.isEmpty());
        QVERIFY(first != second);
        QCOMPARE(readFile(first), QByteArray("broken one"));
        QCOMPARE(readFile(second), QByteArray("broken two"));
    }

    void unwritableFolderKeepsValuesInMemory()
    {
        if (::geteuid() == 0)
            QSKIP("root writes into read-only folders");
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("locked"));
        ::chmod(dir.filePath("locked").toLocal8Bit().constData(), 0500);
        Defaults d(dir.filePath("locked/defaults.json"));
        d.set("notch.screen", QStringLiteral("main"));
        QVERIFY(!d.lastWriteSucceeded());
        QCOMPARE(d.string("notch.screen"), std::optional(QString("main")));
        ::chmod(dir.filePath("locked").toLocal8Bit().constData(), 0700);
    }

    void folderBlockedByAFileKeepsValuesInMemory()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("blocker"), "a file where the folder should be");
        Defaults d(dir.filePath("blocker/defaults.json"));
        d.set("notch.screen", QStringLiteral("cursor"));
        QVERIFY(!d.lastWriteSucceeded());
        QCOMPARE(d.string("notch.screen"), std::optional(QString("cursor")));
        QCOMPARE(readFile(dir.filePath("blocker")), QByteArray("a file where the folder should be"));
    }

    // Something other than a regular file where the settings file should be: start from the
    // defaults at once (no wait on a FIFO, no stream from a device), keep changes in memory and
    // leave the thing as it was.
    void notARegularFileIsLeftAlone_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("fifo") << "fifo";
        QTest::newRow("link to fifo") << "link to fifo";
        QTest::newRow("link to /dev/zero") << "link to /dev/zero";
        QTest::newRow("link to /dev/null") << "link to /dev/null";
        QTest::newRow("folder") << "folder";
    }
    void notARegularFileIsLeftAlone()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.json");
        QVERIFY(tavrenhold::test::makeFileKind(path, kind));
        const mode_t type = tavrenhold::test::fileType(path);
        const QStringList before = entries(dir.path());
        const qint64 peakBefore = tavrenhold::test::peakResidentBytes();

        std::unique_ptr<Defaults> d;
        QVERIFY(tavrenhold::test::returnsWithin([&] { d = std::make_unique<Defaults>(path); }, 20s,
                                                kind.contains(QLatin1String("fifo")) ? path : QString()));
        QVERIFY(tavrenhold::test::peakResidentBytes() - peakBefore < 64 * 1024 * 1024);
        QVERIFY(d->movedAsidePath().isEmpty());
        QVERIFY(!d->contains("notch.screen"));

        QVERIFY(tavrenhold::test::returnsWithin([&] { d->set("notch.screen", QStringLiteral("cursor")); }, 20s,
                                                kind.contains(QLatin1String("fifo")) ? path : QString()));
        QVERIFY(!d->lastWriteSucceeded());
        QCOMPARE(d->string("notch.screen"), std::optional(QString("cursor")));
        QCOMPARE(tavrenhold::test::fileType(path), type);
        QCOMPARE(entries(dir.path()), before);
    }

    // A regular file over the bound is never read: it is set aside whole, like a corrupt one, and
    // the defaults are used; a file at the bound is still read.
    void sizeBound_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("setAside");
        QTest::newRow("valid, at the bound") << "at the bound" << false;
        QTest::newRow("valid, one byte past the bound") << "one past" << true;
        QTest::newRow("sparse 600 MB") << "sparse 600 MB" << true;
    }
    void sizeBound()
    {
        QFETCH(QString, kind);
        QFETCH(bool, setAside);
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.json");
        if (kind == QLatin1String("at the bound"))
            writeFile(path, objectOfSize(maxStoreFileBytes));
        else if (kind == QLatin1String("one past"))
            writeFile(path, objectOfSize(maxStoreFileBytes + 1));
        else
            QVERIFY(tavrenhold::test::makeFileKind(path, kind));
        const qint64 size = QFileInfo(path).size();
        const qint64 peakBefore = tavrenhold::test::peakResidentBytes();

        Defaults d(path);
        QVERIFY(tavrenhold::test::peakResidentBytes() - peakBefore < 64 * 1024 * 1024);
        QCOMPARE(d.contains("k"), !setAside);
        QCOMPARE(!d.movedAsidePath().isEmpty(), setAside);
        if (!setAside)
            return;
        QVERIFY(d.movedAsidePath().startsWith(dir.filePath("defaults.corrupt.")));
        QCOMPARE(QFileInfo(d.movedAsidePath()).size(), size);
        QVERIFY(!QFile::exists(path));
        d.set("notch.screen", QStringLiteral("main"));
        QVERIFY(d.lastWriteSucceeded());
        QCOMPARE(readObject(path), (QJsonObject{{"notch.screen", "main"}}));
        QCOMPARE(QFileInfo(d.movedAsidePath()).size(), size);
    }

    // A byte order mark at the start is read past and written back; a file without one gets none.
    void byteOrderMark_data()
    {
        QTest::addColumn<QByteArray>("prefix");
        QTest::newRow("with mark") << QByteArray("\xEF\xBB\xBF");
        QTest::newRow("without mark") << QByteArray();
    }
    void byteOrderMark()
    {
        QFETCH(QByteArray, prefix);
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.json");
        writeFile(path, prefix + R"({"notch.screen": "main"})");
        Defaults d(path);
        QVERIFY(d.movedAsidePath().isEmpty());
        QCOMPARE(d.string("notch.screen"), std::optional(QString("main")));
        d.set("notch.expandedWidth", 480.0);
        QVERIFY(d.lastWriteSucceeded());
        const QByteArray written = readFile(path);
        QCOMPARE(written.left(prefix.size()), prefix);
        QCOMPARE(written.at(prefix.size()), '{');
        QCOMPARE(QJsonDocument::fromJson(written.mid(prefix.size())).object(),
                 (QJsonObject{{"notch.screen", "main"}, {"notch.expandedWidth", 480.0}}));
        QCOMPARE(Defaults(path).string("notch.screen"), std::optional(QString("main")));
    }

    // A deeply nested value written back with indentation would grow the file by its depth squared
    // at every write; written compactly it stays the size it was.
    void deeplyNestedValueIsWrittenCompactly()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.json");
        constexpr int depth = 1000;
        const QByteArray nested = QByteArray(depth, '[') + QByteArray(depth, ']');
        const QByteArray original = "{\"shell.paneOrder\":" + nested + "}";
        writeFile(path, original);
        Defaults d(path);
        QVERIFY(d.movedAsidePath().isEmpty());
        const QJsonValue value = d.object("shell.paneOrder");
        QVERIFY(value.isArray());
        d.set("notch.screen", QStringLiteral("main"));
        QVERIFY(d.lastWriteSucceeded());
        QVERIFY2(QFileInfo(path).size() < original.size() + 64, qPrintable(QString::number(QFileInfo(path).size())));
        const Defaults reread(path);
        QVERIFY(reread.movedAsidePath().isEmpty());
        QCOMPARE(reread.object("shell.paneOrder"), value);
    }
};

QTEST_GUILESS_MAIN(DefaultsTest)
#include "tst_defaults.moc"
