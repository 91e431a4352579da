// labels: unit
#include "app/PanePreferences.h"
#include "platform/Defaults.h"

#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tavrenhold;
using platform::Defaults;

namespace {
QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QJsonObject fileObject(const QString &path) { return QJsonDocument::fromJson(readFile(path)).object(); }

QString joined(const QStringList &names) { return names.join(u' '); }

QString storedList(const QString &path, const QString &key)
{
    const QJsonObject file = fileObject(path);
    if (!file.contains(key))
        return QStringLiteral("-");
    QStringList names;
    for (const QJsonValue &v : file.value(key).toArray())
        names.append(v.toString());
    return joined(names);
}

const QString kDefaultOrder = QStringLiteral("usage music clipboard notes drop focus");

// A store over a file holding `json`; kept with its folder for the test's lifetime.
struct Store {
    explicit Store(const QByteArray &json = {})
    {
        path = dir.filePath("defaults.json");
        if (!json.isEmpty())
            writeFile(path, json);
        defaults = std::make_unique<Defaults>(path);
    }
    QTemporaryDir dir;
    QString path;
    std::unique_ptr<Defaults> defaults;
};
} // namespace

class PanePreferencesTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void loading_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("order");
        QTest::addColumn<QString>("hidden");

        QTest::newRow("first launch") << QByteArray() << kDefaultOrder << "";
        QTest::newRow("unknown names dropped, missing appended")
            << QByteArray(R"({"shell.paneOrder": ["focus", "nope", "music"]})")
            << "focus music usage clipboard notes drop" << "";
        QTest::newRow("a pane named twice keeps its first place")
            << QByteArray(R"({"shell.paneOrder": ["drop", "music", "drop", "usage", "music"]})")
            << "drop music usage clipboard notes focus" << "";
        QTest::newRow("order not a list") << QByteArray(R"({"shell.paneOrder": "focus"})") << kDefaultOrder << "";
        QTest::newRow("order holds a non-text")
            << QByteArray(R"({"shell.paneOrder": ["focus", 2, "music"]})") << kDefaultOrder << "";
        QTest::newRow("names are case-sensitive")
            << QByteArray(R"({"shell.paneOrder": ["Focus", "focus"]})") << "focus usage music clipboard notes drop"
            << "";
        QTest::newRow("hidden, unknown names dropped")
            << QByteArray(R"({"shell.hiddenPanes": ["notes", "usage", "nope", "notes"]})") << kDefaultOrder
            << "notes usage";
        QTest::newRow("hidden not a list") << QByteArray(R"({"shell.hiddenPanes": {"notes": true}})")
                                           << kDefaultOrder << "";
        QTest::newRow("all hidden: the first of the order shows")
            << QByteArray(R"({"shell.paneOrder": ["notes"],
                              "shell.hiddenPanes": ["usage", "music", "clipboard", "notes", "drop", "focus"]})")
            << "notes usage music clipboard drop focus" << "clipboard drop focus music usage";
    }
    void loading()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, order);
        QFETCH(QString, hidden);
        Store store(stored);
        PanePreferences preferences(*store.defaults);

        QCOMPARE(joined(preferences.orderNames()), order);
        QCOMPARE(joined(preferences.hiddenNames()), hidden);
        QCOMPARE(int(preferences.order().size()), 6);
        QCOMPARE(readFile(store.path), stored); // loading writes nothing, not even a repair
    }

    // Actions run in turn: "-notes" hides notes, "+music" shows music.
    void setVisible_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("actions");
        QTest::addColumn<QString>("hidden");
        QTest::addColumn<int>("notifications");
        QTest::addColumn<QString>("storedOrder"); // "-": not written
        QTest::addColumn<QString>("storedHidden");

        QTest::newRow("hide notes and clipboard: stored sorted")
            << QByteArray() << "-notes -clipboard" << "clipboard notes" << 2 << kDefaultOrder << "clipboard notes";
        QTest::newRow("hiding a hidden pane writes nothing")
            << QByteArray(R"({"shell.hiddenPanes": ["drop"]})") << "-drop" << "drop" << 0 << "-" << "-";
        QTest::newRow("hiding the last visible pane writes nothing")
            << QByteArray(R"({"shell.hiddenPanes": ["usage", "music", "clipboard", "notes", "drop"]})") << "-focus"
            << "clipboard drop music notes usage" << 0 << "-" << "-";
        QTest::newRow("hiding the second to last visible pane")
            << QByteArray(R"({"shell.hiddenPanes": ["usage", "music", "clipboard", "notes"]})") << "-focus -drop"
            << "clipboard focus music notes usage" << 1 << kDefaultOrder << "clipboard focus music notes usage";
        QTest::newRow("showing a visible pane writes both keys")
            << QByteArray(R"({"shell.paneOrder": ["focus"]})") << "+music" << "" << 0
            << "focus usage music clipboard notes drop" << "";
        QTest::newRow("showing a hidden pane")
            << QByteArray(R"({"shell.hiddenPanes": ["music", "drop"]})") << "+music" << "drop" << 1 << kDefaultOrder
            << "drop";
    }
    void setVisible()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, actions);
        QFETCH(QString, hidden);
        QFETCH(int, notifications);
        QFETCH(QString, storedOrder);
        QFETCH(QString, storedHidden);
        Store store(stored);
        PanePreferences preferences(*store.defaults);
        QSignalSpy hiddenChanged(&preferences, &PanePreferences::hiddenChanged);
        QSignalSpy orderChanged(&preferences, &PanePreferences::orderChanged);

        for (const QString &action : actions.split(u' ')) {
            const auto pane = paneFromRaw(action.mid(1));
            QVERIFY(pane);
            preferences.setVisible(*pane, action.startsWith(u'+'));
        }

        QCOMPARE(joined(preferences.hiddenNames()), hidden);
        QCOMPARE(hiddenChanged.size(), notifications);
        QCOMPARE(orderChanged.size(), 0);
        if (storedOrder == QLatin1String("-")) {
            QCOMPARE(readFile(store.path), stored);
        } else {
            QCOMPARE(storedList(store.path, "shell.paneOrder"), storedOrder);
            QCOMPARE(storedList(store.path, "shell.hiddenPanes"), storedHidden);
        }
    }

    void move_data()
    {
        QTest::addColumn<QList<int>>("fromOffsets");
        QTest::addColumn<int>("toOffset");
        QTest::addColumn<QString>("order");

        QTest::newRow("first before the third") << QList<int>{0} << 2 << "music usage clipboard notes drop focus";
        QTest::newRow("first to the end") << QList<int>{0} << 6 << "music clipboard notes drop focus usage";
        QTest::newRow("last to the front") << QList<int>{5} << 0 << "focus usage music clipboard notes drop";
        QTest::newRow("two, keeping their order") << QList<int>{3, 1} << 0 << "music notes usage clipboard drop focus";
        QTest::newRow("two forward") << QList<int>{0, 2} << 4 << "music notes usage clipboard drop focus";
        QTest::newRow("onto itself") << QList<int>{2} << 2 << kDefaultOrder;
        QTest::newRow("before its successor") << QList<int>{2} << 3 << kDefaultOrder;
        QTest::newRow("an offset named twice") << QList<int>{1, 1} << 0 << "music usage clipboard notes drop focus";
        QTest::newRow("source past the end") << QList<int>{6, 9} << 0 << kDefaultOrder;
        QTest::newRow("negative source ignored") << QList<int>{-1, 4} << 0 << "drop usage music clipboard notes focus";
        QTest::newRow("destination past the end") << QList<int>{0} << 99 << "music clipboard notes drop focus usage";
        QTest::newRow("negative destination") << QList<int>{3} << -4 << "notes usage music clipboard drop focus";
        QTest::newRow("no offsets") << QList<int>{} << 3 << kDefaultOrder;
    }
    void move()
    {
        QFETCH(QList<int>, fromOffsets);
        QFETCH(int, toOffset);
        QFETCH(QString, order);
        Store store(R"({"shell.hiddenPanes": ["notes"]})");
        PanePreferences preferences(*store.defaults);
        QSignalSpy orderChanged(&preferences, &PanePreferences::orderChanged);

        preferences.move(fromOffsets, toOffset);

        QCOMPARE(joined(preferences.orderNames()), order);
        QCOMPARE(orderChanged.size(), order == kDefaultOrder ? 0 : 1);
        QCOMPARE(storedList(store.path, "shell.paneOrder"), order);
        QCOMPARE(storedList(store.path, "shell.hiddenPanes"), QString("notes"));
    }

    // Direct assignment keeps the lists in memory only and notifies only on change; an order that
    // names a pane twice or leaves one out still holds every pane once.
    void assignmentStaysInMemory()
    {
        Store store;
        PanePreferences preferences(*store.defaults);
        QSignalSpy orderChanged(&preferences, &PanePreferences::orderChanged);
        QSignalSpy hiddenChanged(&preferences, &PanePreferences::hiddenChanged);

        preferences.setOrder({PaneID::focus, PaneID::music, PaneID::focus});
        QCOMPARE(joined(preferences.orderNames()), QString("focus music usage clipboard notes drop"));
        preferences.setOrder({PaneID::focus, PaneID::music});
        preferences.setHidden({PaneID::drop});
        preferences.setHidden({PaneID::drop});

        QCOMPARE(orderChanged.size(), 1);
        QCOMPARE(hiddenChanged.size(), 1);
        QVERIFY(!QFile::exists(store.path));
    }

    // What views call: raw texts in and out.
    void viewFacingApi()
    {
        Store store;
        PanePreferences preferences(*store.defaults);
        QVERIFY(QMetaObject::invokeMethod(&preferences, "setVisible", Q_ARG(QString, "clipboard"), Q_ARG(bool, false)));
        QVERIFY(QMetaObject::invokeMethod(&preferences, "setVisible", Q_ARG(QString, "Clipboard"), Q_ARG(bool, true)));
        QVERIFY(QMetaObject::invokeMethod(&preferences, "move", Q_ARG(QList<int>, QList<int>{5}), Q_ARG(int, 0)));
        QCOMPARE(preferences.property("hidden").toStringList(), QStringList{"clipboard"});
        QCOMPARE(joined(preferences.property("order").toStringList()),
                 QString("focus usage music clipboard notes drop"));
    }
};

int main(int argc, char **argv)
{
    // Nothing here may reach the user's own settings.
    QTemporaryDir home;
    for (const char *var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(var, QFile::encodeName(home.filePath(QString::fromLatin1(var))));
    QGuiApplication app(argc, argv);
    PanePreferencesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_panepreferences.moc"
