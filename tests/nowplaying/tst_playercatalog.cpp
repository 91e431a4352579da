// labels: unit
// The player catalogue: which players are installed (desktop entries in the XDG data folders), the
// bundle-identifier lookup, and reading and starting a desktop entry's Exec line.
#include "fakes/FakePlayerWorkspace.h"
#include "nowplaying/PlayerCatalog.h"
#include "platform/DesktopEntries.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tavrenhold;
using platform::DesktopEntries;
using test::FakePlayerWorkspace;

namespace {

const QString spotifyID = QStringLiteral("com.spotify.client");
const QString musicID = QStringLiteral("com.apple.Music");

void write(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

QByteArray application(const QByteArray &exec, const QByteArray &extra = {})
{
    return "[Desktop Entry]\nType=Application\nName=Player\nExec=" + exec + "\n" + extra;
}

// XDG_DATA_HOME and XDG_DATA_DIRS pointed at two temporary folders for one test.
struct DataFolders {
    QTemporaryDir home;
    QTemporaryDir system;
    DataFolders()
    {
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        qputenv("XDG_DATA_DIRS", system.path().toUtf8());
    }
    ~DataFolders()
    {
        qunsetenv("XDG_DATA_HOME");
        qunsetenv("XDG_DATA_DIRS");
        qunsetenv("TAVRENHOLD_MUSIC_MPRIS_NAME");
    }
    QString homeEntry(const QString &relative) const { return home.filePath(QStringLiteral("applications/") + relative); }
    QString systemEntry(const QString &relative) const
    {
        return system.filePath(QStringLiteral("applications/") + relative);
    }
};

} // namespace

class PlayerCatalogTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void kindForBundleID_data()
    {
        QTest::addColumn<QString>("bundleID");
        QTest::addColumn<QString>("kind"); // "" for none
        QTest::newRow("Spotify") << spotifyID << "spotify";
        QTest::newRow("Music") << musicID << "appleMusic";
        QTest::newRow("Music in lower case") << "com.apple.music" << "";
        QTest::newRow("with a trailing blank") << "com.spotify.client " << "";
        QTest::newRow("another player") << "mpv" << "";
        QTest::newRow("empty") << "" << "";
    }
    void kindForBundleID()
    {
        QFETCH(QString, bundleID);
        QFETCH(QString, kind);
        const auto found = PlayerCatalog::kind(bundleID);
        QCOMPARE(found ? rawValue(*found) : QString(), kind);
    }

    void installedAsksTheWorkspaceEveryTime()
    {
        FakePlayerWorkspace workspace;
        QVERIFY(PlayerCatalog::installed(workspace).isEmpty());

        const QUrl music = QUrl::fromLocalFile(QStringLiteral("/usr/share/applications/mpv.desktop"));
        workspace.install(musicID, music);
        QCOMPARE(PlayerCatalog::installed(workspace), (QList<MusicPlayerOption>{{musicID, QStringLiteral("Music"), music}}));

        const QUrl spotify = QUrl::fromLocalFile(QStringLiteral("/var/lib/flatpak/com.spotify.Client.desktop"));
        workspace.install(spotifyID, spotify);
        QCOMPARE(PlayerCatalog::installed(workspace),
                 (QList<MusicPlayerOption>{{spotifyID, QStringLiteral("Spotify"), spotify},
                                           {musicID, QStringLiteral("Music"), music}}));
    }

    // The desktop's workspace finds the players' desktop entries by their usual IDs; Music is the
    // player TAVRENHOLD_MUSIC_MPRIS_NAME names, and nothing without it.
    void desktopEntriesMakeThePlayersInstalled()
    {
        DataFolders folders;
        DesktopPlayerWorkspace workspace;
        write(folders.systemEntry(QStringLiteral("spotify.desktop")), application("spotify %U"));
        write(folders.systemEntry(QStringLiteral("mpv.desktop")), application("mpv -- %U"));
        write(folders.systemEntry(QStringLiteral("com.apple.Music.desktop")), application("music"));

        QCOMPARE(PlayerCatalog::installed(workspace),
                 (QList<MusicPlayerOption>{{spotifyID, QStringLiteral("Spotify"),
                                            QUrl::fromLocalFile(folders.systemEntry(QStringLiteral("spotify.desktop")))}}));

        qputenv("TAVRENHOLD_MUSIC_MPRIS_NAME", "org.mpris.MediaPlayer2.mpv");
        const auto options = PlayerCatalog::installed(workspace);
        QCOMPARE(options.size(), 2);
        // An entry under the bundle identifier comes before the MPRIS name's.
        QCOMPARE(options.at(1).url, QUrl::fromLocalFile(folders.systemEntry(QStringLiteral("com.apple.Music.desktop"))));
        QFile::remove(folders.systemEntry(QStringLiteral("com.apple.Music.desktop")));
        QCOMPARE(PlayerCatalog::installed(workspace).at(1).url,
                 QUrl::fromLocalFile(folders.systemEntry(QStringLiteral("mpv.desktop"))));

        // The short form of the name means the same player.
        qputenv("TAVRENHOLD_MUSIC_MPRIS_NAME", "mpv");
        QCOMPARE(PlayerCatalog::installed(workspace).size(), 2);
    }

    void desktopEntryLookup_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("homeFile"); // under $XDG_DATA_HOME/applications, "" for none
        QTest::addColumn<QByteArray>("homeText");
        QTest::addColumn<QString>("systemFile"); // under $XDG_DATA_DIRS/applications
        QTest::addColumn<QByteArray>("systemText");
        QTest::addColumn<QString>("found"); // "home", "system" or ""

        const QString id = QStringLiteral("org.example.Player.desktop");
        const QByteArray good = application("/bin/true");
        QTest::newRow("system") << id << "" << QByteArray() << id << good << "system";
        QTest::newRow("the user's entry comes first") << id << id << good << id << good << "home";
        QTest::newRow("the user's hidden entry deletes it")
            << id << id << application("/bin/true", "Hidden=true\n") << id << good << "";
        QTest::newRow("a dash may stand for a folder")
            << "org-example.Player.desktop" << "" << QByteArray() << "org/example.Player.desktop" << good << "system";
        QTest::newRow("TryExec names a missing program")
            << id << "" << QByteArray() << id << application("/bin/true", "TryExec=/nonexistent/player\n") << "";
        QTest::newRow("TryExec found in PATH") << id << "" << QByteArray() << id << application("/bin/true", "TryExec=sh\n")
                                               << "system";
        QTest::newRow("not an application") << id << "" << QByteArray() << id
                                            << QByteArray("[Desktop Entry]\nType=Link\nURL=https://example.org\n") << "";
        QTest::newRow("no Exec") << id << "" << QByteArray() << id
                                 << QByteArray("[Desktop Entry]\nType=Application\nName=P\n") << "";
        QTest::newRow("keys outside the entry group")
            << id << "" << QByteArray() << id << QByteArray("[Desktop Action x]\nType=Application\nExec=/bin/true\n")
            << "";
    }
    void desktopEntryLookup()
    {
        QFETCH(QString, id);
        QFETCH(QString, homeFile);
        QFETCH(QByteArray, homeText);
        QFETCH(QString, systemFile);
        QFETCH(QByteArray, systemText);
        QFETCH(QString, found);
        DataFolders folders;
        if (!homeFile.isEmpty())
            write(folders.homeEntry(homeFile), homeText);
        write(folders.systemEntry(systemFile), systemText);
        const auto entry = DesktopEntries::find(id);
        QString where;
        if (entry && entry->path == folders.homeEntry(homeFile))
            where = QStringLiteral("home");
        else if (entry && entry->path == folders.systemEntry(systemFile))
            where = QStringLiteral("system");
        QCOMPARE(where, found);
    }

    void unsafeIDsFindNothing()
    {
        DataFolders folders;
        write(folders.systemEntry(QStringLiteral("player.desktop")), application("/bin/true"));
        write(folders.system.filePath(QStringLiteral("player.desktop")), application("/bin/true"));
        QVERIFY(DesktopEntries::find(QStringLiteral("player.desktop")));
        QVERIFY(!DesktopEntries::find(QStringLiteral("../player.desktop")));
        QVERIFY(!DesktopEntries::find(QStringLiteral("player")));
        QVERIFY(!DesktopEntries::find(QStringLiteral(".desktop")));
    }

    void execLines_data()
    {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QStringList>("arguments"); // empty: malformed
        QTest::newRow("field codes dropped") << "mpv --player-operation-mode=pseudo-gui -- %U"
                                             << QStringList{"mpv", "--player-operation-mode=pseudo-gui", "--"};
        QTest::newRow("deprecated codes too") << "player %i %c %k %m file" << QStringList{"player", "file"};
        QTest::newRow("a quoted program") << "\"/opt/My Player/bin/player\" --uri=%u"
                                          << QStringList{"/opt/My Player/bin/player", "--uri="};
        QTest::newRow("escapes inside quotes") << "sh -c \"echo \\\"hi\\\" \\$HOME \\\\ \\`x\\`\""
                                               << QStringList{"sh", "-c", "echo \"hi\" $HOME \\ `x`"};
        QTest::newRow("a literal percent") << "player --volume=50%%" << QStringList{"player", "--volume=50%"};
        QTest::newRow("blanks and an empty quoted argument") << "  player   \"\"  x " << QStringList{"player", "", "x"};
        QTest::newRow("an unclosed quote") << "player \"open" << QStringList{};
        QTest::newRow("an unknown field code") << "player %z" << QStringList{};
        QTest::newRow("a lone percent at the end") << "player %" << QStringList{};
        QTest::newRow("only field codes") << "%U" << QStringList{};
        QTest::newRow("empty") << "" << QStringList{};
    }
    void execLines()
    {
        QFETCH(QString, exec);
        QFETCH(QStringList, arguments);
        const auto split = DesktopEntries::execArguments(exec);
        QCOMPARE(split.value_or(QStringList{}), arguments);
    }

    void readsTheEntryGroup()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.desktop"));
        write(path, "# comment\n[Desktop Entry]\nName = My\\sPlayer\nName[de]=Spieler\nExec=player\\s--x\n"
                    "Path=/tmp\n[Desktop Action new]\nExec=other\n");
        const auto entry = DesktopEntries::read(path);
        QVERIFY(entry);
        QCOMPARE(entry->name, QStringLiteral("My Player"));
        QCOMPARE(entry->exec, QStringLiteral("player --x"));
        QCOMPARE(entry->workingDirectory, QStringLiteral("/tmp"));
        QVERIFY(!DesktopEntries::read(dir.filePath(QStringLiteral("missing.desktop"))));
    }

    // Opening an installed player starts its Exec line, detached; a missing program starts nothing.
    void openingStartsTheExecLine()
    {
        DataFolders folders;
        const QString marker = folders.home.filePath(QStringLiteral("started"));
        write(folders.systemEntry(QStringLiteral("spotify.desktop")),
              application("/bin/sh -c \"echo \\\"\\$0 \\$1\\\" > '" + marker.toUtf8() + "'\" one %U"));
        DesktopPlayerWorkspace workspace;
        const auto url = workspace.urlForApplication(spotifyID);
        QVERIFY(url);
        QVERIFY(QCoro::waitFor(workspace.openApplication(spotifyID, *url, false)));
        const auto written = [&marker] {
            QFile started(marker);
            return started.open(QIODevice::ReadOnly) ? started.readAll() : QByteArray();
        };
        QTRY_COMPARE(written(), QByteArray("one \n"));

        write(folders.systemEntry(QStringLiteral("spotify.desktop")), application("/nonexistent/spotify %U"));
        QVERIFY(!QCoro::waitFor(workspace.openApplication(spotifyID, *url, false)));
        QVERIFY(!QCoro::waitFor(workspace.openApplication(spotifyID, QUrl(QStringLiteral("https://example.org/x")), false)));
    }
};

QTEST_GUILESS_MAIN(PlayerCatalogTest)
#include "tst_playercatalog.moc"
