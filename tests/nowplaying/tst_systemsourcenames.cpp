// labels: unit
#include "nowplaying/AppNameCache.h"

#include <sys/stat.h>

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace tavrenhold;

namespace {

// A temporary data home ("home") and two system data folders ("sys", "sys2"), exported as
// XDG_DATA_HOME and XDG_DATA_DIRS.
class DataFolders {
public:
    DataFolders()
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_root.filePath("home")));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(m_root.filePath("sys") + ':' + m_root.filePath("sys2")));
    }
    // `text` is "<folder>/<path below it>" on the first line, the file's text after it.
    void add(const QString &text)
    {
        const qsizetype newline = text.indexOf('\n');
        const QString path = m_root.filePath(text.left(newline));
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(text.mid(newline + 1).toUtf8());
    }
    [[nodiscard]] QString path(const QString &relative) const { return m_root.filePath(relative); }

private:
    QTemporaryDir m_root;
};

QString entry(const QString &path, const QString &body)
{
    return path + "\n[Desktop Entry]\nType=Application\nExec=true\n" + body + "\n";
}

} // namespace

class AppNameCacheTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void names_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("bundle");
        QTest::addColumn<QString>("name");
        QTest::newRow("the entry with the identifier as its desktop id")
            << QStringList{entry("sys/applications/org.example.Player.desktop", "Name=Example Player")}
            << "org.example.Player" << "Example Player";
        QTest::newRow("Spotify's bundle identifier names the desktop id spotify")
            << QStringList{entry("sys/applications/spotify.desktop", "Name=Spotify")} << "com.spotify.client"
            << "Spotify";
        QTest::newRow("an entry whose windows carry the identifier as class")
            << QStringList{entry("sys/applications/vendor-player.desktop", "Name=Vendor Player\nStartupWMClass=VendorPlayer")}
            << "vendorplayer" << "Vendor Player";
        QTest::newRow("a desktop id differing only in case")
            << QStringList{entry("sys/applications/org.gnome.Rhythmbox3.desktop", "Name=Rhythmbox")}
            << "org.gnome.rhythmbox3" << "Rhythmbox";
        QTest::newRow("a desktop id from a subfolder")
            << QStringList{entry("sys2/applications/vendor/tool.desktop", "Name=Tool")} << "vendor-tool" << "Tool";
        QTest::newRow("the data home comes before the system folders")
            << QStringList{entry("sys/applications/mpv.desktop", "Name=mpv Media Player"),
                           entry("home/applications/mpv.desktop", "Name=My mpv")}
            << "mpv" << "My mpv";
        QTest::newRow("a hidden entry in the data home removes the system one")
            << QStringList{entry("sys/applications/mpv.desktop", "Name=mpv Media Player"),
                           entry("home/applications/mpv.desktop", "Name=mpv\nHidden=true")}
            << "mpv" << "mpv";
        QTest::newRow("the plain Name of the main group, unescaped")
            << QStringList{"sys/applications/vlc.desktop\n[Desktop Entry]\nName[de]=Spieler\nName=VLC\\smedia player\n"
                           "[Desktop Action new]\nName=New Window\n"}
            << "vlc" << "VLC media player";
        QTest::newRow("no entry: the identifier itself")
            << QStringList{entry("sys/applications/other.desktop", "Name=Other")} << "org.example.Unknown"
            << "org.example.Unknown";
    }
    void names()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, bundle);
        QFETCH(QString, name);
        DataFolders folders;
        for (const QString &file : files)
            folders.add(file);
        AppNameCache cache;
        QCOMPARE(QCoro::waitFor(cache.name(bundle)), name);
        QCOMPARE(cache.cached(bundle), std::optional<QString>(name));
    }

    // A FIFO put in place of a desktop entry is passed over at once rather than waited on (an open
    // of a FIFO without a writer would block the lookup for ever).
    void aFifoInPlaceOfAnEntryIsPassedOver()
    {
        DataFolders folders;
        folders.add(entry("sys2/applications/mpv.desktop", "Name=mpv Media Player"));
        QDir().mkpath(folders.path("home/applications"));
        QCOMPARE(::mkfifo(QFile::encodeName(folders.path("home/applications/other.desktop")).constData(), 0600), 0);
        const QStringList applications{folders.path("home/applications"), folders.path("sys/applications"),
                                       folders.path("sys2/applications")};
        QCOMPARE(AppNameCache::lookUp(QStringLiteral("other"), applications), QStringLiteral("other"));
        QCOMPARE(AppNameCache::lookUp(QStringLiteral("mpv"), applications), QStringLiteral("mpv Media Player"));
    }

    // A peer naming a new identifier on every report cannot grow the cache: it keeps the names most
    // recently asked for, and one pushed out is looked up again when asked for.
    void aFloodOfIdentifiersKeepsTheCacheBounded()
    {
        auto lookups = std::make_shared<QAtomicInt>(0);
        AppNameCache cache([lookups](const QString &bundle) {
            lookups->fetchAndAddRelaxed(1);
            return bundle.toUpper();
        });
        QCOMPARE(QCoro::waitFor(cache.name("kept")), "KEPT");
        for (int i = 0; i < 1000; ++i) {
            QCOMPARE(QCoro::waitFor(cache.name(QStringLiteral("flood.%1").arg(i))), QStringLiteral("FLOOD.%1").arg(i));
            if (i % 10 == 0) // asked for now and then, so it stays among the recent ones
                QCOMPARE(QCoro::waitFor(cache.name("kept")), "KEPT");
        }
        QCOMPARE(lookups->loadRelaxed(), 1001);
        QCOMPARE(cache.cached("kept"), std::optional<QString>("KEPT"));
        QCOMPARE(cache.cached("flood.999"), std::optional<QString>("FLOOD.999"));
        QCOMPARE(cache.cached("flood.0"), std::nullopt);
        qsizetype held = 0;
        for (int i = 0; i < 1000; ++i)
            held += cache.cached(QStringLiteral("flood.%1").arg(i)).has_value();
        QVERIFY(held < AppNameCache::capacity);
        QCOMPARE(QCoro::waitFor(cache.name("flood.0")), "FLOOD.0");
        QCOMPARE(lookups->loadRelaxed(), 1002);
    }

    // A name is looked up once per identifier for the life of the cache.
    void namesAreKept()
    {
        DataFolders folders;
        folders.add(entry("sys/applications/org.example.Player.desktop", "Name=Example Player"));
        AppNameCache cache;
        QCOMPARE(QCoro::waitFor(cache.name("org.example.Player")), "Example Player");
        QVERIFY(QFile::remove(folders.path("sys/applications/org.example.Player.desktop")));
        QCOMPARE(QCoro::waitFor(cache.name("org.example.Player")), "Example Player");
        AppNameCache fresh;
        QCOMPARE(QCoro::waitFor(fresh.name("org.example.Player")), "org.example.Player");
    }
};

QTEST_GUILESS_MAIN(AppNameCacheTest)
#include "tst_systemsourcenames.moc"
