// labels: unit
#include "nowplaying/AdapterLocation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tavrenhold;

namespace {
// Lays out entries under root: a name ending in "/" is a folder, anything else an empty file.
bool lay(const QString &root, const QStringList &entries)
{
    for (const QString &entry : entries) {
        const QString path = root + QLatin1Char('/') + entry;
        if (entry.endsWith(QLatin1Char('/'))) {
            if (!QDir().mkpath(path))
                return false;
            continue;
        }
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return false;
    }
    return true;
}

const QString script = QStringLiteral("mediaremote-adapter.pl");
const QString framework = QStringLiteral("MediaRemoteAdapter.framework/");
const QString client = QStringLiteral("MediaRemoteAdapterTestClient");
} // namespace

class AdapterLocationTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { qunsetenv("TAVRENHOLD_ADAPTER_DIR"); }

    void discover_data()
    {
        QTest::addColumn<QString>("env");          // "-": unset; otherwise relative to the test root
        QTest::addColumn<QStringList>("envFiles"); // laid out under root/env
        QTest::addColumn<QStringList>("bundleFiles");
        // Expected paths relative to the root; an empty script means no location.
        QTest::addColumn<QString>("expectScript");
        QTest::addColumn<QString>("expectFramework");
        QTest::addColumn<QString>("expectClient");

        const QStringList full{script, framework, client};
        QTest::newRow("env folder, top level") << "env" << full << full << "env/" + script
                                               << "env/MediaRemoteAdapter.framework" << "env/" + client;
        QTest::newRow("env folder, bin and build, no test client")
            << "env" << QStringList{"bin/" + script, "build/" + framework} << full << "env/bin/" + script
            << "env/build/MediaRemoteAdapter.framework" << "";
        QTest::newRow("env folder, test client in build")
            << "env" << QStringList{script, framework, "build/" + client} << QStringList{} << "env/" + script
            << "env/MediaRemoteAdapter.framework" << "env/build/" + client;
        QTest::newRow("env folder, top level wins over bin and build")
            << "env" << QStringList{script, "bin/" + script, framework, "build/" + framework, client, "build/" + client}
            << QStringList{} << "env/" + script << "env/MediaRemoteAdapter.framework" << "env/" + client;
        QTest::newRow("env folder without framework falls back to the bundle")
            << "env" << QStringList{script, client} << full << "bundle/" + script
            << "bundle/MediaRemoteAdapter.framework" << "bundle/" + client;
        QTest::newRow("env folder without script falls back to the bundle")
            << "env" << QStringList{framework} << full << "bundle/" + script << "bundle/MediaRemoteAdapter.framework"
            << "bundle/" + client;
        QTest::newRow("env folder missing, bundle without test client")
            << "nowhere" << QStringList{} << QStringList{script, framework} << "bundle/" + script
            << "bundle/MediaRemoteAdapter.framework" << "";
        QTest::newRow("relative env folder") << "@env" << full << QStringList{} << "env/" + script
                                             << "env/MediaRemoteAdapter.framework" << "env/" + client;
        QTest::newRow("no env, bundle") << "-" << full << full << "bundle/" + script
                                        << "bundle/MediaRemoteAdapter.framework" << "bundle/" + client;
        QTest::newRow("framework as a plain file counts")
            << "-" << QStringList{} << QStringList{script, "MediaRemoteAdapter.framework"} << "bundle/" + script
            << "bundle/MediaRemoteAdapter.framework" << "";
        QTest::newRow("bundle without framework") << "-" << QStringList{} << QStringList{script, client} << ""
                                                  << "" << "";
        QTest::newRow("bundle without script") << "-" << QStringList{} << QStringList{framework, client} << ""
                                               << "" << "";
        QTest::newRow("bundle looks in neither bin nor build")
            << "-" << QStringList{} << QStringList{"bin/" + script, "build/" + framework} << "" << "" << "";
        QTest::newRow("nothing anywhere") << "env" << QStringList{} << QStringList{} << "" << "" << "";
    }
    void discover()
    {
        QFETCH(QString, env);
        QFETCH(QStringList, envFiles);
        QFETCH(QStringList, bundleFiles);
        QFETCH(QString, expectScript);
        QFETCH(QString, expectFramework);
        QFETCH(QString, expectClient);

        QTemporaryDir root;
        QVERIFY(root.isValid());
        QVERIFY(lay(root.filePath("env"), envFiles));
        QVERIFY(lay(root.filePath("bundle"), bundleFiles));
        QDir().mkpath(root.filePath("bundle"));
        const QString previousCwd = QDir::currentPath();
        if (env.startsWith(QLatin1Char('@'))) {
            QVERIFY(QDir::setCurrent(root.path()));
            qputenv("TAVRENHOLD_ADAPTER_DIR", env.mid(1).toLocal8Bit());
        } else if (env != QLatin1String("-")) {
            qputenv("TAVRENHOLD_ADAPTER_DIR", root.filePath(env).toLocal8Bit());
        }
        const auto found = AdapterLocation::discover(root.filePath("bundle"));
        QDir::setCurrent(previousCwd);

        QCOMPARE(found.has_value(), !expectScript.isEmpty());
        if (!found)
            return;
        QCOMPARE(found->perl, QStringLiteral("/usr/bin/perl"));
        QCOMPARE(found->script, root.filePath(expectScript));
        QCOMPARE(found->framework, root.filePath(expectFramework));
        QCOMPARE(found->testClient.has_value(), !expectClient.isEmpty());
        if (found->testClient)
            QCOMPARE(*found->testClient, root.filePath(expectClient));
    }

    void noBundleAndNoEnvFindsNothing() { QVERIFY(!AdapterLocation::discover(QString())); }

    void commandLineShape()
    {
        AdapterLocation location;
        location.script = QStringLiteral("/p/mediaremote-adapter.pl");
        location.framework = QStringLiteral("/p/MediaRemoteAdapter.framework");
        QCOMPARE(location.arguments({"get", "--no-artwork"}),
                 (QStringList{"/p/mediaremote-adapter.pl", "/p/MediaRemoteAdapter.framework", "get", "--no-artwork"}));
    }
};

QTEST_GUILESS_MAIN(AdapterLocationTest)
#include "tst_adapterlocation.moc"
