// labels: unit
#include "app/NotchSettings.h"
#include "platform/Defaults.h"

#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using namespace tavrenhold;
using platform::Defaults;

namespace {
QJsonObject jsonObject(const QByteArray &json) { return QJsonDocument::fromJson(json).object(); }

QJsonObject fileObject(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// screen, widths, heights, progress, expanded width, proximity radius, in one line.
QString summary(const NotchSettings &s)
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6")
        .arg(rawValue(s.screen()), rawValue(s.collapsedWidth()), rawValue(s.collapsedHeight()),
             s.showCollapsedProgress() ? QStringLiteral("progress") : QStringLiteral("no-progress"))
        .arg(s.expandedWidth())
        .arg(s.proximityRadius());
}

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double infinite = std::numeric_limits<double>::infinity();
} // namespace

class NotchSettingsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void loading_data()
    {
        QTest::addColumn<QByteArray>("stored"); // the file's content; empty: no file
        QTest::addColumn<QString>("loaded");
        QTest::addColumn<QByteArray>("after"); // the file after loading; empty: as stored

        const QString defaults = "builtIn compact standard progress 520 10";
        QTest::newRow("first launch") << QByteArray() << defaults << QByteArray();
        QTest::newRow("empty object") << QByteArray("{}") << defaults << QByteArray();

        QTest::newRow("screen main") << QByteArray(R"({"notch.screen": "main"})")
                                     << "main compact standard progress 520 10" << QByteArray();
        QTest::newRow("screen cursor") << QByteArray(R"({"notch.screen": "cursor"})")
                                       << "cursor compact standard progress 520 10" << QByteArray();
        QTest::newRow("screen other case") << QByteArray(R"({"notch.screen": "Main"})") << defaults << QByteArray();
        QTest::newRow("screen not text") << QByteArray(R"({"notch.screen": 1})") << defaults << QByteArray();

        QTest::newRow("width standard migrates")
            << QByteArray(R"({"notch.collapsedWidth": "standard"})") << defaults
            << QByteArray(R"({"notch.collapsedWidth": "compact"})");
        QTest::newRow("width notch") << QByteArray(R"({"notch.collapsedWidth": "notch"})")
                                     << "builtIn notch standard progress 520 10" << QByteArray();
        QTest::newRow("width unknown text") << QByteArray(R"({"notch.collapsedWidth": "wide"})") << defaults
                                            << QByteArray();
        QTest::newRow("width not text") << QByteArray(R"({"notch.collapsedWidth": ["notch"]})") << defaults
                                        << QByteArray();

        QTest::newRow("height compact migrates")
            << QByteArray(R"({"notch.collapsedHeight": "compact"})") << defaults
            << QByteArray(R"({"notch.collapsedHeight": "standard"})");
        QTest::newRow("height notch") << QByteArray(R"({"notch.collapsedHeight": "notch"})")
                                      << "builtIn compact notch progress 520 10" << QByteArray();
        QTest::newRow("height not text") << QByteArray(R"({"notch.collapsedHeight": true})") << defaults
                                         << QByteArray();
        QTest::newRow("both old names, other keys kept")
            << QByteArray(R"({"notch.collapsedWidth": "standard", "notch.collapsedHeight": "compact", "x": 1})")
            << defaults << QByteArray(R"({"notch.collapsedWidth": "compact", "notch.collapsedHeight": "standard", "x": 1})");

        const QString noProgress = "builtIn compact standard no-progress 520 10";
        QTest::newRow("progress false") << QByteArray(R"({"notch.showCollapsedProgress": false})") << noProgress
                                        << QByteArray();
        QTest::newRow("progress 0") << QByteArray(R"({"notch.showCollapsedProgress": 0})") << noProgress
                                    << QByteArray();
        QTest::newRow("progress text NO") << QByteArray(R"({"notch.showCollapsedProgress": "NO"})") << noProgress
                                          << QByteArray();
        QTest::newRow("progress text yes") << QByteArray(R"({"notch.showCollapsedProgress": "yes"})") << defaults
                                           << QByteArray();
        QTest::newRow("progress list") << QByteArray(R"({"notch.showCollapsedProgress": [false]})") << defaults
                                       << QByteArray();
        QTest::newRow("progress null") << QByteArray(R"({"notch.showCollapsedProgress": null})") << defaults
                                       << QByteArray();

        QTest::newRow("expanded 800 clamps, stays stored")
            << QByteArray(R"({"notch.expandedWidth": 800})") << "builtIn compact standard progress 600 10"
            << QByteArray();
        QTest::newRow("expanded 300") << QByteArray(R"({"notch.expandedWidth": 300})")
                                      << "builtIn compact standard progress 440 10" << QByteArray();
        QTest::newRow("expanded 440") << QByteArray(R"({"notch.expandedWidth": 440})")
                                      << "builtIn compact standard progress 440 10" << QByteArray();
        QTest::newRow("expanded between options") << QByteArray(R"({"notch.expandedWidth": 501.5})")
                                                  << "builtIn compact standard progress 501.5 10" << QByteArray();
        QTest::newRow("expanded text") << QByteArray(R"({"notch.expandedWidth": "560"})") << defaults << QByteArray();

        QTest::newRow("radius -5") << QByteArray(R"({"notch.proximityRadius": -5})")
                                   << "builtIn compact standard progress 520 0" << QByteArray();
        QTest::newRow("radius 500") << QByteArray(R"({"notch.proximityRadius": 500})")
                                    << "builtIn compact standard progress 520 120" << QByteArray();
        QTest::newRow("radius object") << QByteArray(R"({"notch.proximityRadius": {"v": 40}})") << defaults
                                       << QByteArray();
    }
    void loading()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, loaded);
        QFETCH(QByteArray, after);
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.json");
        if (!stored.isEmpty())
            writeFile(path, stored);
        Defaults defaults(path);
        NotchSettings settings(defaults);
        QCOMPARE(summary(settings), loaded);
        if (stored.isEmpty())
            QVERIFY2(!QFile::exists(path), "loading wrote the defaults");
        else
            QCOMPARE(fileObject(path), jsonObject(after.isEmpty() ? stored : after));
    }

    // A number that is not finite cannot come from the file, but can sit in the store in memory.
    void nonFiniteStoredNumbersCountAsAbsent()
    {
        QTemporaryDir dir;
        Defaults defaults(dir.filePath("defaults.json"));
        defaults.set("notch.expandedWidth", infinite);
        defaults.set("notch.proximityRadius", notANumber);
        NotchSettings settings(defaults);
        QCOMPARE(settings.expandedWidth(), 520.0);
        QCOMPARE(settings.proximityRadius(), 10.0);
    }

    void assignment_data()
    {
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("inMemory");
        QTest::addColumn<QByteArray>("stored"); // the JSON under the key afterwards; empty: nothing written
        QTest::addColumn<bool>("notifies");

        QTest::newRow("width option") << QByteArray("expandedWidth") << QVariant(560.0) << QVariant(560.0)
                                      << QByteArray("560") << true;
        QTest::newRow("width unchanged") << QByteArray("expandedWidth") << QVariant(520.0) << QVariant(520.0)
                                         << QByteArray("520") << false;
        QTest::newRow("width below") << QByteArray("expandedWidth") << QVariant(300.0) << QVariant(440.0)
                                     << QByteArray("440") << true;
        QTest::newRow("width above") << QByteArray("expandedWidth") << QVariant(900.0) << QVariant(600.0)
                                     << QByteArray("600") << true;
        QTest::newRow("width NaN") << QByteArray("expandedWidth") << QVariant(notANumber) << QVariant(520.0) << QByteArray()
                                   << false;
        QTest::newRow("width infinite") << QByteArray("expandedWidth") << QVariant(infinite) << QVariant(520.0)
                                        << QByteArray() << false;
        QTest::newRow("radius option") << QByteArray("proximityRadius") << QVariant(80.0) << QVariant(80.0)
                                       << QByteArray("80") << true;
        QTest::newRow("radius -5") << QByteArray("proximityRadius") << QVariant(-5.0) << QVariant(0.0)
                                   << QByteArray("0") << true;
        QTest::newRow("radius unchanged") << QByteArray("proximityRadius") << QVariant(10.0) << QVariant(10.0)
                                          << QByteArray("10") << false;
        QTest::newRow("radius -infinite") << QByteArray("proximityRadius") << QVariant(-infinite) << QVariant(10.0)
                                          << QByteArray() << false;
        QTest::newRow("collapsed width notch")
            << QByteArray("collapsedWidth") << QVariant::fromValue(CollapsedWidth::notch)
            << QVariant::fromValue(CollapsedWidth::notch) << QByteArray(R"("notch")") << true;
        QTest::newRow("collapsed width unchanged")
            << QByteArray("collapsedWidth") << QVariant::fromValue(CollapsedWidth::compact)
            << QVariant::fromValue(CollapsedWidth::compact) << QByteArray(R"("compact")") << false;
        QTest::newRow("collapsed height notch")
            << QByteArray("collapsedHeight") << QVariant::fromValue(CollapsedHeight::notch)
            << QVariant::fromValue(CollapsedHeight::notch) << QByteArray(R"("notch")") << true;
        QTest::newRow("collapsed height unchanged")
            << QByteArray("collapsedHeight") << QVariant::fromValue(CollapsedHeight::standard)
            << QVariant::fromValue(CollapsedHeight::standard) << QByteArray(R"("standard")") << false;
        QTest::newRow("progress off") << QByteArray("showCollapsedProgress") << QVariant(false) << QVariant(false)
                                      << QByteArray("false") << true;
        QTest::newRow("progress unchanged") << QByteArray("showCollapsedProgress") << QVariant(true) << QVariant(true)
                                            << QByteArray("true") << false;
        QTest::newRow("screen cursor") << QByteArray("screen") << QVariant::fromValue(NotchScreen::cursor)
                                       << QVariant::fromValue(NotchScreen::cursor) << QByteArray(R"("cursor")")
                                       << true;
        QTest::newRow("screen unchanged") << QByteArray("screen") << QVariant::fromValue(NotchScreen::builtIn)
                                          << QVariant::fromValue(NotchScreen::builtIn) << QByteArray(R"("builtIn")")
                                          << false;
    }
    void assignment()
    {
        QFETCH(QByteArray, property);
        QFETCH(QVariant, value);
        QFETCH(QVariant, inMemory);
        QFETCH(QByteArray, stored);
        QFETCH(bool, notifies);
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.json");
        Defaults defaults(path);
        NotchSettings settings(defaults);
        const QMetaProperty meta = settings.metaObject()->property(settings.metaObject()->indexOfProperty(property));
        QVERIFY(meta.isValid());
        QSignalSpy changed(&settings, meta.notifySignal());

        QVERIFY(settings.setProperty(property, value));

        QCOMPARE(settings.property(property), inMemory);
        QCOMPARE(changed.isEmpty(), !notifies);
        const QString key = "notch." + QString::fromLatin1(property);
        if (stored.isEmpty()) {
            QVERIFY2(!QFile::exists(path), "an ignored assignment wrote the defaults");
        } else {
            const QJsonObject file = fileObject(path);
            QCOMPARE(file.keys(), QStringList{key});
            QCOMPARE(file.value(key), jsonObject("{\"v\": " + stored + "}").value("v"));
            // What was written is what the next launch loads.
            Defaults reread(path);
            QCOMPARE(NotchSettings(reread).property(property), inMemory);
        }
    }

    void clampedLoadIsWrittenByTheNextAssignmentOnly()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.json");
        writeFile(path, R"({"notch.expandedWidth": 800})");
        Defaults defaults(path);
        NotchSettings settings(defaults);
        QCOMPARE(settings.expandedWidth(), 600.0);
        settings.setProximityRadius(40);
        QCOMPARE(fileObject(path).value("notch.expandedWidth").toDouble(), 800.0);

        QSignalSpy changed(&settings, &NotchSettings::expandedWidthChanged);
        settings.setExpandedWidth(300);
        QCOMPARE(settings.expandedWidth(), 440.0);
        QCOMPARE(fileObject(path).value("notch.expandedWidth").toDouble(), 440.0);
        QVERIFY(!changed.isEmpty());
    }
};

int main(int argc, char **argv)
{
    // Nothing here may reach the user's own settings.
    QTemporaryDir home;
    for (const char *var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(var, QFile::encodeName(home.filePath(QString::fromLatin1(var))));
    QGuiApplication app(argc, argv);
    NotchSettingsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_notchsettings.moc"
