#pragma once

#include "design/GradientWash.h"
#include "base/Wakeup.h"
#include "fakes/FakeAudioSystem.h"
#include "fakes/FakeSystemAppearance.h"
#include "fakes/ManualClock.h"
#include "music/AirPlayDiscovery.h"
#include "music/MusicPane.h"
#include "nowplaying/NowPlayingPublisher.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QStringList>

#include <deque>
#include <memory>

namespace tavrenhold::test {

// A now-playing service the test publishes states into. Records the pane's and the view's calls as
// "start", "stop", "cadence:<name>", "seek:<fraction>", "send:<previous|toggle|next|…>",
// "open", "favorite", "launch:<id>", "settings". Favourite questions wait until the test answers.
class MusicPublisher final : public NowPlayingPublisher {
public:
    NowPlayingState state() const override { return m_state; }
    void start() override { calls.append(QStringLiteral("start")); }
    void stop() override { calls.append(QStringLiteral("stop")); }
    void setCadence(NowPlayingCadence cadence) override
    {
        static const char *names[] = {"foreground", "background", "suspended"};
        calls.append(QStringLiteral("cadence:") + QLatin1String(names[int(cadence)]));
    }
    void send(TransportCommand command) override
    {
        static const char *names[] = {"seek", "play", "pause", "toggle", "next", "previous"};
        calls.append(QStringLiteral("send:") + QLatin1String(names[int(command.kind)]));
    }
    void seek(double fraction) override { calls.append(QStringLiteral("seek:%1").arg(fraction)); }
    const QList<MusicPlayerOption> &installedPlayers() const override { return players; }
    std::optional<QString> launchingPlayer() const override { return launching; }
    bool isAppleMusic() const override { return appleMusic; }
    void openCurrent() override { calls.append(QStringLiteral("open")); }
    bool favoriteCurrent() override
    {
        calls.append(QStringLiteral("favorite"));
        return appleMusic;
    }
    QCoro::Task<bool> isCurrentFavorited() override
    {
        auto question = std::make_shared<Question>();
        questions.push_back(question);
        co_await question->wakeup.wait();
        co_return question->answer;
    }
    void launch(const MusicPlayerOption &option) override { calls.append(QStringLiteral("launch:") + option.id); }
    void openAutomationSettings() override { calls.append(QStringLiteral("settings")); }

    // Notifies only when the state changes, as the coordinator does.
    void publish(const NowPlayingState &state)
    {
        if (state == m_state)
            return;
        m_state = state;
        Q_EMIT stateChanged();
    }
    // Answers the oldest favourite question still open.
    void answer(bool favorited)
    {
        auto question = questions.front();
        questions.pop_front();
        question->answer = favorited;
        question->wakeup.fire();
    }

    struct Question {
        Wakeup wakeup;
        bool answer = false;
    };
    QStringList calls;
    QList<MusicPlayerOption> players;
    std::optional<QString> launching;
    bool appleMusic = false;
    std::deque<std::shared_ptr<Question>> questions;

private:
    NowPlayingState m_state = NowPlayingState::idle();
};

// The pane over a recording service, a manual clock, a hand-set appearance and a fake output.
struct MusicRig {
    ManualClock clock;
    FakeSystemAppearance appearance;
    FakeAudioSystem audio;
    // Receivers come only from the test (no browsing daemon).
    AirPlayDiscovery discovery{nullptr, &audio};
    MusicPublisher *publisher = new MusicPublisher;
    MusicPane pane{publisher, clock, &appearance, &audio};

    MusicRig() { pane.setAirPlay(&discovery); }

    // Publishes and lets the pane take the state (it does so on the next turn of the event loop).
    void publish(const NowPlayingState &state)
    {
        publisher->publish(state);
        QCoreApplication::processEvents();
    }
};

inline const PlayerIdentity spotify{QStringLiteral("com.spotify.client"), QStringLiteral("Spotify")};
inline const PlayerIdentity music{QStringLiteral("com.apple.Music"), QStringLiteral("Music")};

inline NowPlayingTrack makeTrack(const QString &id, double duration, std::optional<QUrl> url = std::nullopt,
                                 std::optional<NotchImage> artwork = std::nullopt)
{
    NowPlayingTrack t;
    t.id = id;
    t.title = QStringLiteral("Title ") + id;
    t.artist = QStringLiteral("Artist");
    t.album = QStringLiteral("Album");
    t.duration = duration;
    t.artworkURL = std::move(url);
    t.artwork = std::move(artwork);
    return t;
}

inline NowPlayingState makeState(std::optional<NowPlayingTrack> track, PlaybackStatus status, double elapsed,
                                 const QDateTime &at, std::optional<PlayerIdentity> player = spotify)
{
    NowPlayingState s;
    s.track = std::move(track);
    s.status = status;
    s.elapsed = elapsed;
    s.capturedAt = at;
    s.player = std::move(player);
    return s;
}

// A small picture of one colour, PNG-encoded: decodable artwork with a clear accent.
inline QByteArray pngBytes(QColor color = QColor(200, 40, 60))
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace tavrenhold::test

Q_DECLARE_METATYPE(tavrenhold::NowPlayingState)
Q_DECLARE_METATYPE(tavrenhold::PlayerIdentity)
