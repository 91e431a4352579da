#pragma once

// Sample state for the preview: a now-playing service that publishes one made-up track with a
// generated cover and a desktop appearance that holds still.

#include "design/NotchPane.h"
#include "nowplaying/NowPlayingPublisher.h"
#include "nowplaying/PlayerKind.h"
#include "platform/SystemAppearance.h"

#include <QByteArray>
#include <QDateTime>

namespace preview {

// A cover picture drawn here, as PNG bytes.
[[nodiscard]] QByteArray sampleCover();

// The now-playing service of the preview: publishes `state`, offers `players` as installed and does
// nothing else.
class SamplePublisher final : public tavrenhold::NowPlayingPublisher {
public:
    explicit SamplePublisher(tavrenhold::NowPlayingState state, QList<tavrenhold::MusicPlayerOption> players = {})
        : m_state(std::move(state)), m_players(std::move(players))
    {
    }
    [[nodiscard]] tavrenhold::NowPlayingState state() const override { return m_state; }
    void start() override {}
    void stop() override {}
    void setCadence(tavrenhold::NowPlayingCadence) override {}
    [[nodiscard]] const QList<tavrenhold::MusicPlayerOption> &installedPlayers() const override { return m_players; }
    [[nodiscard]] bool isAppleMusic() const override
    {
        return m_state.player && m_state.player->id == tavrenhold::bundleIdentifier(tavrenhold::PlayerKind::appleMusic);
    }

    // A track with the sample cover, captured at `now`, playing or paused, titled `title` (the
    // sample's own title when empty).
    [[nodiscard]] static tavrenhold::NowPlayingState track(const QDateTime &now, bool playing, const QString &title = {});
    // The option a known player would have when installed.
    [[nodiscard]] static tavrenhold::MusicPlayerOption option(tavrenhold::PlayerKind kind);

private:
    tavrenhold::NowPlayingState m_state;
    QList<tavrenhold::MusicPlayerOption> m_players;
};

// A desktop that asks for reduced motion, so every view shows its final state at once.
class StillAppearance final : public tavrenhold::platform::SystemAppearance {
public:
    explicit StillAppearance(bool dark) : m_dark(dark) {}
    [[nodiscard]] bool isDark() const override { return m_dark; }
    [[nodiscard]] bool reduceMotion() const override { return true; }

private:
    bool m_dark;
};

} // namespace preview
