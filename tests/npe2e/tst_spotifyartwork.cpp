// labels: mpris dbus qml
// The fallback path end to end: with no system source to be had, the coordinator reads a fake Spotify
// on a private session bus through the Apple Events source and the MPRIS script host. Spotify names
// its cover by URL (mpris:artUrl), here on a loopback HTTP server of the test's own: the Music pane
// downloads it once, and its picture reaches the pane, the collapsed bar's offer and the view's tile.
#include "design/QuickHarness.h"
#include "fakes/FakeNowPlayingSource.h"
#include "fakes/FakeSystemAppearance.h"
#include "music/LoopbackServer.h"
#include "music/MusicPane.h"
#include "nowplaying/AppleScriptSource.h"
#include "nowplaying/NowPlayingCoordinator.h"
#include "peers/FakeSpotify.h"
#include "peers/MprisPeer.h"

#include <QBuffer>
#include <QDBusObjectPath>
#include <QDir>
#include <QImage>
#include <QQuickItem>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <memory>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_MusicPlugin)

using namespace tavrenhold;
using namespace tavrenhold::test;

namespace {

QByteArray coverBytes()
{
    QImage image(48, 48, QImage::Format_RGB32);
    image.fill(QColor(20, 160, 90));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QString describe(const NowPlayingState &state)
{
    return QStringLiteral("%1 \"%2\" from %3, art %4")
        .arg(rawValue(state.status), state.track ? state.track->title : QStringLiteral("-"),
             state.player ? state.player->id : QStringLiteral("-"),
             state.track && state.track->artworkURL ? state.track->artworkURL->toString() : QStringLiteral("-"));
}

} // namespace

class SpotifyArtworkEndToEnd : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    MprisPeer m_bus; // the bus alone: no mpv here
    QString m_playerConnection;
    FakeSpotify m_spotify;
    LoopbackServer m_server;

    static QQuickItem *findIn(QQuickItem *item, QLatin1String name)
    {
        if (item->objectName() == name)
            return item;
        for (QQuickItem *child : item->childItems()) {
            if (QQuickItem *found = findIn(child, name))
                return found;
        }
        return nullptr;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty(),
                 "dbus-daemon is missing (scripts/bootstrap installs it)");
        QVERIFY(m_dir.isValid());
        QVERIFY(m_server.isListening());
        // The user's folders, inside ours; Spotify's desktop entry is the only application installed.
        const QDir root(m_dir.path());
        for (const char *folder : {"home", "config", "data", "cache", "runtime", "share/applications"})
            QVERIFY(root.mkpath(QLatin1String(folder)));
        QFile::setPermissions(m_dir.filePath(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("home"))));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("data"))));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("cache"))));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_dir.filePath(QStringLiteral("runtime"))));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(m_dir.filePath(QStringLiteral("share"))));
        qunsetenv("TAVRENHOLD_MUSIC_MPRIS_NAME");
        QFile entry(m_dir.filePath(QStringLiteral("share/applications/spotify.desktop")));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=Spotify\nExec=spotify %U\n");
        entry.close();

        // The bus becomes this process's session bus before anything connects to one.
        QVERIFY2(m_bus.startBus(), "dbus-daemon did not start");
        m_playerConnection = QStringLiteral("fake-spotify");
        QDBusConnection player = QDBusConnection::connectToBus(m_bus.address(), m_playerConnection);
        QVERIFY(player.isConnected());
        m_spotify.metadata = QVariantMap{
            {QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(QStringLiteral("/com/spotify/track/7ouMYWpwJ422jRcDASZB7P")))},
            {QStringLiteral("mpris:length"), qlonglong(215'000'000)},
            {QStringLiteral("mpris:artUrl"), m_server.url(QStringLiteral("/cover.png")).toString()},
            {QStringLiteral("xesam:title"), QStringLiteral("Harbour Song")},
            {QStringLiteral("xesam:artist"), QStringList{QStringLiteral("The Tides")}},
            {QStringLiteral("xesam:album"), QStringLiteral("Low Water")},
        };
        QVERIFY(m_spotify.publish(player));
    }

    void cleanupTestCase()
    {
        QDBusConnection(m_playerConnection).unregisterObject(FakeSpotify::objectPath);
        QDBusConnection::disconnectFromBus(m_playerConnection);
    }

    void coverReachesThePane()
    {
        const QByteArray cover = coverBytes();
        m_server.route(QStringLiteral("/cover.png"), LoopbackServer::Mode::ok, cover);

        auto *coordinator = new NowPlayingCoordinator(new FakeNowPlayingSource(QStringLiteral("system")),
                                                      new AppleScriptSource);
        FakeSystemAppearance appearance;
        MusicPane pane(coordinator, Clock::system(), &appearance);
        QuickHarness quick;
        quick.appearance.setReduceMotion(true);
        QVERIFY(quick.load("import Tavrenhold.Music\nMusicPaneContent {}", {560, 156}));
        quick.item()->setProperty("pane", QVariant::fromValue(&pane));
        pane.startServices();
        pane.activate();

        QTRY_COMPARE_WITH_TIMEOUT(coordinator->activeSourceID().value_or(QString()), QStringLiteral("applescript"), 20000);
        QTRY_VERIFY2_WITH_TIMEOUT(coordinator->state().track
                                      && coordinator->state().track->title == QStringLiteral("Harbour Song"),
                                  qPrintable(describe(coordinator->state())), 20000);
        QCOMPARE(coordinator->state().player->id, QStringLiteral("com.spotify.client"));

        QTRY_VERIFY2_WITH_TIMEOUT(pane.artwork() && pane.artwork()->bytes == cover,
                                  qPrintable(describe(coordinator->state())), 20000);
        QCOMPARE(m_server.requests(QStringLiteral("/cover.png")), 1);
        QCOMPARE(pane.downloadsStarted(), 1);
        // The collapsed bar is offered the same picture.
        const IdleSignal offer = pane.idle();
        QVERIFY(offer.isLive);
        QVERIFY(offer.identity);
        const auto *art = std::get_if<IdleArtwork>(&*offer.identity);
        QVERIFY(art && art->image && art->image->bytes == cover);

        // The view's tile shows the picture in place of the placeholder.
        QQuickItem *tile = findIn(quick.item(), QLatin1String("musicArtworkTile"));
        QVERIFY(tile);
        QTRY_VERIFY_WITH_TIMEOUT(tile->property("hasPicture").toBool(), 5000);
        QVERIFY(!findIn(quick.item(), QLatin1String("musicPlaceholder"))->isVisible());

        pane.stopServices();
    }
};

QTEST_MAIN(SpotifyArtworkEndToEnd)
#include "tst_spotifyartwork.moc"
