#pragma once

#include "MusicPlayerOption.h"
#include "PlayerKind.h"

#include <QCoroTask>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace tavrenhold {

// The applications side of the players: which application runs, where an application is installed,
// and opening one. Applications are named by bundle identifier; on Linux a player runs while its
// MPRIS name has an owner on the session bus, and an application is installed where its desktop
// entry lies.
class PlayerWorkspace {
public:
    virtual ~PlayerWorkspace() = default;

    // Whether an application with this bundle identifier runs now.
    [[nodiscard]] virtual bool isRunning(const QString &bundleID) const = 0;
    // Where the application with this bundle identifier lies; none when it is not installed.
    [[nodiscard]] virtual std::optional<QUrl> urlForApplication(const QString &bundleID) const = 0;
    // Opens the application at url (found for bundleID); with activates, a running one is brought
    // to the front instead. Resolves with whether that worked.
    virtual QCoro::Task<bool> openApplication(QString bundleID, QUrl url, bool activates) = 0;

    // The desktop's workspace: MPRIS names on the session bus and desktop entries in the XDG folders.
    [[nodiscard]] static PlayerWorkspace &shared();
    // Points shared() at another workspace (tests); nullptr goes back to the real one.
    static void setShared(PlayerWorkspace *workspace);
};

// The workspace of the Linux desktop.
class DesktopPlayerWorkspace final : public PlayerWorkspace {
public:
    // Each D-Bus call waits at most this long.
    static constexpr int callTimeoutMs = 1000;

    // Asks the bus daemon whether the application's MPRIS name has an owner.
    [[nodiscard]] bool isRunning(const QString &bundleID) const override;
    // The first of the application's desktop-file IDs (PlayerCatalog::desktopEntryIDs) that an
    // installed entry answers to, as a file URL.
    [[nodiscard]] std::optional<QUrl> urlForApplication(const QString &bundleID) const override;
    // Activating a running player asks it to raise itself over MPRIS; otherwise the entry at url is
    // started from its Exec line, detached.
    QCoro::Task<bool> openApplication(QString bundleID, QUrl url, bool activates) override;
};

// The two players the program knows, which of them are installed, and what identifies them on Linux.
class PlayerCatalog {
public:
    PlayerCatalog() = delete;

    static constexpr QStringView mprisPrefix = u"org.mpris.MediaPlayer2.";

    // The installed players, Spotify first, then Music; asks the workspace on every call.
    [[nodiscard]] static QList<MusicPlayerOption> installed(const PlayerWorkspace &workspace = PlayerWorkspace::shared());
    // Exactly "com.spotify.client" or "com.apple.Music" (case-sensitive); anything else gives none.
    [[nodiscard]] static std::optional<PlayerKind> kind(QStringView bundleID) { return playerKindForBundleID(bundleID); }

    // The player's MPRIS bus name: Spotify's own, and for Music the name in
    // TAVRENHOLD_MUSIC_MPRIS_NAME, read on every call ("org.mpris.MediaPlayer2.mpv" or just "mpv";
    // none, so Music is neither installed nor running, when unset or not a valid name).
    [[nodiscard]] static std::optional<QString> mprisName(PlayerKind kind);
    // The MPRIS name an application's bundle identifier goes by: a known player's, else
    // "org.mpris.MediaPlayer2." followed by the identifier when that makes a valid name.
    [[nodiscard]] static std::optional<QString> mprisName(const QString &bundleID);
    // The bundle identifier of the application holding an MPRIS name: a known player's, else the
    // name's own part (without the prefix and any ".instance…" suffix). None for other names.
    [[nodiscard]] static std::optional<QString> bundleIDForMprisName(const QString &busName);
    // The desktop-file IDs an application may be installed under, most likely first: the bundle
    // identifier's, then, for a known player, its MPRIS name's own part and any usual packaging ID.
    [[nodiscard]] static QStringList desktopEntryIDs(const QString &bundleID);
};

} // namespace tavrenhold
