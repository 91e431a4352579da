#include "platform/Defaults.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using tavrenhold::platform::Defaults;

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
};

QTEST_GUILESS_MAIN(DefaultsTest)
#include "tst_defaults.moc"
