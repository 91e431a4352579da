// labels: mpris dbus
// The collapsed bar over the real now-playing service: the shell model with all six panes, the Music
// pane owning a coordinator over the system source, which runs the built media-remote adapter against
// mpv on a private session bus. While mpv plays, the tone's cover and the level bars reach the bar;
// when mpv quits, they leave it.
#include "EndToEndRig.h"
#include "app/NotchSettings.h"
#include "app/PanePreferences.h"
#include "clipboard/ClipboardPane.h"
#include "clipboard/ClipboardService.h"
#include "fakes/FakePasteboard.h"
#include "drop/DropPane.h"
#include "fakes/FakeNowPlayingSource.h"
#include "fakes/FakeSystemAppearance.h"
#include "fakes/ManualClock.h"
#include "focus/FocusPane.h"
#include "music/MusicPane.h"
#include "notes/NotesPane.h"
#include "nowplaying/NowPlayingCoordinator.h"
#include "nowplaying/SystemNowPlayingSource.h"
#include "platform/Defaults.h"
#include "shell/NotchShellModel.h"
#include "usage/UsagePane.h"

#include <QTemporaryDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace tavrenhold;
using namespace tavrenhold::test;

namespace {

// The composition, in a line, for failure messages.
QString describe(const IdleComposition &c)
{
    const auto item = [](const IdleEntry &e) {
        QString kind = QStringLiteral("other");
        if (const auto *art = std::get_if<IdleArtwork>(&e.item))
            kind = art->image ? QStringLiteral("artwork(%1 bytes)").arg(art->image->bytes.size()) : QStringLiteral("artwork(none)");
        else if (std::holds_alternative<IdleWaveform>(e.item))
            kind = QStringLiteral("waveform");
        else if (std::holds_alternative<IdleGlyph>(e.item))
            kind = QStringLiteral("glyph");
        return rawValue(e.pane) + QLatin1Char(':') + kind;
    };
    QStringList rotor;
    for (const IdleEntry &e : c.rotor)
        rotor << item(e);
    return QStringLiteral("identity %1, rotor [%2], progress %3")
        .arg(c.identity ? item(*c.identity) : QStringLiteral("-"), rotor.join(QLatin1Char(',')),
             c.progressPane ? rawValue(*c.progressPane) : QStringLiteral("-"));
}

} // namespace

class MusicBarEndToEnd : public QObject {
    Q_OBJECT

private:
    EndToEndRig m_rig;

private Q_SLOTS:
    void initTestCase()
    {
        const QString problem = m_rig.prepare();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    // The user last looked at the Music pane, so it leads the collapsed bar: the playing tone's cover is
    // the identity, the level bars rotate, the progress line is the music's; when the player quits, the
    // pane offers nothing and the bar is as it was before anything played.
    void artworkAndWaveformFollowThePlayer()
    {
        MprisPeer peer;
        QVERIFY2(peer.startBus(), "dbus-daemon did not start");
        QVERIFY2(peer.launchPlayer(m_rig.tones()), "mpv did not start");
        QVERIFY2(peer.waitForTitle(EndToEndRig::firstTitle), "mpv did not come up on the bus");

        QTemporaryDir settingsDir;
        const QString settingsFile = settingsDir.filePath(QStringLiteral("defaults.json"));
        {
            QFile f(settingsFile);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QJsonDocument(QJsonObject{{NotchShellModel::focusedPaneKey, QStringLiteral("music")}}).toJson());
        }
        platform::Defaults defaults(settingsFile);
        NotchSettings settings(defaults);
        PanePreferences preferences(defaults);
        FakeSystemAppearance appearance;
        ManualClock shellClock; // the rotor's dwell is not under test

        auto *system = new SystemNowPlayingSource(Clock::system(), m_rig.adapterFolder());
        auto *coordinator = new NowPlayingCoordinator(system, new FakeNowPlayingSource(QStringLiteral("applescript")));
        UsagePane usage;
        MusicPane music(coordinator);
        test::FakePasteboard pasteboard;
        test::FakeFrontmostApplication frontmost;
        ClipboardService clipboardService(pasteboard, frontmost, QString(), Clock::system());
        ClipboardPane clipboard(clipboardService);
        NotesPane notes;
        QTemporaryDir cache;
        DropPane drop(cache.filePath(QStringLiteral("DropShelf")), shellClock);
        FocusPane focus(defaults, shellClock);
        NotchGeometry geometry;
        geometry.hardwareWidth = 200;
        geometry.hardwareHeight = 32;
        NotchShellModel model({&usage, &music, &clipboard, &notes, &drop, &focus}, geometry, defaults, settings,
                              preferences, appearance, shellClock);
        QCOMPARE(model.focusedID(), PaneID::music);
        const IdleComposition resting = model.composition();
        QSignalSpy identityChanges(&model, &NotchShellModel::identityChanged);
        QSignalSpy rotorChanges(&model, &NotchShellModel::rotorChanged);

        model.start();
        model.startServices();
        const auto showsCover = [&] {
            const IdleComposition c = model.composition();
            if (!c.identity || c.identity->pane != PaneID::music)
                return false;
            const auto *art = std::get_if<IdleArtwork>(&c.identity->item);
            return art && art->image && art->image->bytes == m_rig.cover();
        };
        QVERIFY2(QTest::qWaitFor(showsCover, 20000), qPrintable(describe(model.composition())));

        const IdleComposition playing = model.composition();
        // The level bars ride in the rotor (moving while the tone plays).
        const auto isWave = [](const IdleEntry &entry) {
            return entry.pane == PaneID::music && std::holds_alternative<IdleWaveform>(entry.item);
        };
        QVERIFY2(std::find_if(playing.rotor.begin(), playing.rotor.end(), isWave) != playing.rotor.end(),
                 qPrintable(describe(playing)));
        QCOMPARE(playing.progressPane, std::optional(PaneID::music));
        QVERIFY(playing.progress && *playing.progress >= 0 && *playing.progress <= 1);
        QVERIFY(music.idle().isLive);
        QVERIFY(coordinator->state().isLive());
        QCOMPARE(coordinator->activeSourceID().value_or(QString()), QStringLiteral("system"));

        // What the bar's views read: the entries, and the image behind the identity's id.
        const QVariantMap identity = model.identityEntry();
        QCOMPARE(identity.value(QStringLiteral("kind")).toString(), QStringLiteral("artwork"));
        QCOMPARE(identity.value(QStringLiteral("pane")).toString(), QStringLiteral("music"));
        QVERIFY(identity.value(QStringLiteral("hasImage")).toBool());
        const auto image = model.artworkImage(identity.value(QStringLiteral("imageId")).toString());
        QVERIFY(image);
        QCOMPARE(image->bytes, m_rig.cover());
        QVERIFY(model.hasTravelArtwork());
        QVERIFY(model.hasTravelWave());
        QVERIFY(identityChanges.count() >= 1);
        QVERIFY(rotorChanges.count() >= 1);

        // The player quits: the pane's offer and the composition go back to rest.
        peer.stopPlayers();
        QVERIFY2(QTest::qWaitFor([&] { return music.idle() == IdleSignal::inactive; }, 15000),
                 qPrintable(describe(model.composition())));
        QVERIFY(!coordinator->state().isLive());
        QVERIFY2(model.composition() == resting, qPrintable(describe(model.composition())));
        QVERIFY(!model.hasTravelArtwork());
        QVERIFY(!model.hasTravelWave());

        music.stopServices();
    }
};

QTEST_GUILESS_MAIN(MusicBarEndToEnd)
#include "tst_musicbar.moc"
