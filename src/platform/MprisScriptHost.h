#pragma once

#include "platform/ScriptHost.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

namespace tavrenhold::platform {

// The script host on Linux: it recognises the closed set of scripts the program sends (the player
// scripts with their frame, the transport commands, the launcher's, reveal and favourite scripts) and
// carries them out against MPRIS players on a D-Bus connection, answering in each player's units
// (Spotify: durations in milliseconds; Music: seconds). A text it does not recognise fails as a script
// that does not compile (-2741).
//
// Players: "com.spotify.client" is org.mpris.MediaPlayer2.spotify; "com.apple.Music" has no Linux
// player and is the MPRIS name given in TAVRENHOLD_MUSIC_MPRIS_NAME (off when unset). A player
// without a name, or not on the bus, gives -600; a denied call -1743; no current track -1728; no
// answer within the script's own time-out -1712.
class MprisScriptHost final : public ScriptHost {
public:
    using Millis = std::chrono::milliseconds;
    // Arms a one-shot timer that calls fire after d on the main thread; dropping the handle disarms
    // it. Tests pass one over a manual clock.
    using TimerFactory = std::function<std::shared_ptr<void>(Millis d, std::function<void()> fire)>;

    // musicBusName: the MPRIS name that stands for Music; empty leaves Music without a player.
    MprisScriptHost(QDBusConnection bus, QString musicBusName, TimerFactory timers = {});
    ~MprisScriptHost() override;

    // The Music player's MPRIS name from TAVRENHOLD_MUSIC_MPRIS_NAME: a full name
    // ("org.mpris.MediaPlayer2.mpv") or the part after "org.mpris.MediaPlayer2." ("mpv"); empty when
    // unset or not a valid bus name.
    [[nodiscard]] static QString musicBusNameFromEnvironment();
    // The MPRIS name that stands for a bundle identifier; empty when there is none.
    [[nodiscard]] QString busNameFor(const QString &bundleID) const;

    // The script error number a failed D-Bus call stands for.
    [[nodiscard]] static int errorNumberFor(QDBusError::ErrorType type);

    ScriptPtr makeScript(const QString &source) override;
    QCoro::Task<Outcome> execute(ScriptPtr script) override;
    std::optional<QString> replyText(const Reply &reply) const override;

    struct Program; // a recognised script
    struct Run;     // one execution in flight

private:
    QCoro::Task<Outcome> carryOut(Program program, std::shared_ptr<Run> run);

    QDBusConnection m_bus;
    QString m_musicBusName;
    TimerFactory m_timers;
};

} // namespace tavrenhold::platform
