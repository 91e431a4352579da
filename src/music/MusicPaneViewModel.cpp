#include "MusicPaneViewModel.h"

#include "design/NotchTime.h"
#include "platform/AudioSystem.h"

#include <QVariantMap>

#include <cmath>

namespace tavrenhold {

MusicPaneViewModel::MusicPaneViewModel(QObject *parent) : QObject(parent) {}

void MusicPaneViewModel::setPane(MusicPane *pane)
{
    if (pane == m_pane)
        return;
    for (const auto &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    m_pane = pane;
    if (m_pane) {
        m_connections << connect(m_pane, &MusicPane::elapsedChanged, this, &MusicPaneViewModel::scrubChanged)
                      << connect(m_pane, &MusicPane::fractionChanged, this, &MusicPaneViewModel::scrubChanged);
        if (NowPlayingPublisher *service = m_pane->coordinator()) {
            m_connections << connect(service, &NowPlayingPublisher::stateChanged, this,
                                     &MusicPaneViewModel::stateChanged)
                          << connect(service, &NowPlayingPublisher::installedPlayersChanged, this,
                                     &MusicPaneViewModel::changed)
                          << connect(service, &NowPlayingPublisher::launchingPlayerChanged, this,
                                     &MusicPaneViewModel::changed);
        }
    }
    Q_EMIT paneChanged();
    Q_EMIT changed();
    Q_EMIT scrubChanged();
    refreshFavorite();
}

NowPlayingPublisher *MusicPaneViewModel::coordinator() const { return m_pane ? m_pane->coordinator() : nullptr; }

NowPlayingState MusicPaneViewModel::state() const
{
    const NowPlayingPublisher *service = coordinator();
    return service ? service->state() : NowPlayingState::idle();
}

void MusicPaneViewModel::stateChanged()
{
    Q_EMIT changed();
    Q_EMIT scrubChanged();
    const NowPlayingState now = state();
    const std::optional<QString> track = now.track ? std::optional(now.track->id) : std::nullopt;
    if (track != m_favoriteTrack)
        refreshFavorite();
}

bool MusicPaneViewModel::live() const { return state().isLive(); }

bool MusicPaneViewModel::playing() const { return state().status == PlaybackStatus::playing; }

QString MusicPaneViewModel::title() const
{
    const NowPlayingState now = state();
    if (now.track && !now.track->title.isEmpty())
        return now.track->title;
    return tr("Nothing playing");
}

QString MusicPaneViewModel::subtitle() const
{
    const NowPlayingState now = state();
    if (now.issue && now.issue->kind == NowPlayingIssue::Kind::automationDenied)
        return QStringLiteral("Allow Automation for ") + now.issue->player
               + QStringLiteral(" in System Settings to control playback.");
    if (!now.track) {
        const NowPlayingPublisher *service = coordinator();
        if (service && !service->installedPlayers().isEmpty())
            return QStringLiteral("Play in any app, or start a player from here.");
        return QStringLiteral("Play something in any app to control it here.");
    }
    QStringList parts;
    if (!now.track->artist.isEmpty())
        parts << now.track->artist;
    if (!now.track->album.isEmpty())
        parts << now.track->album;
    if (!parts.isEmpty())
        return parts.join(QStringLiteral("  \u00B7  "));
    return now.player ? now.player->name : QString();
}

bool MusicPaneViewModel::canOpenSource() const
{
    const NowPlayingState now = state();
    return now.isLive() && now.player.has_value();
}

QString MusicPaneViewModel::openSourceHelp() const
{
    if (!canOpenSource())
        return {};
    const NowPlayingPublisher *service = coordinator();
    if (service && service->isAppleMusic())
        return QStringLiteral("Open in Music");
    return QStringLiteral("Open ") + state().player->name;
}

QString MusicPaneViewModel::playSymbol() const
{
    return playing() ? QStringLiteral("pause.fill") : QStringLiteral("play.fill");
}

bool MusicPaneViewModel::showsHeart() const
{
    const NowPlayingPublisher *service = coordinator();
    return live() && service && service->isAppleMusic();
}

QString MusicPaneViewModel::heartSymbol() const
{
    return m_favorited ? QStringLiteral("heart.fill") : QStringLiteral("heart");
}

QString MusicPaneViewModel::heartHelp() const { return m_favorited ? tr("In Favorites") : tr("Add to Favorites"); }

double MusicPaneViewModel::shownFraction() const
{
    if (m_scrub)
        return *m_scrub;
    return m_pane ? m_pane->fraction() : 0;
}

double MusicPaneViewModel::shownElapsed() const
{
    if (m_scrub) {
        const NowPlayingState now = state();
        return now.track ? *m_scrub * now.track->duration : 0;
    }
    return m_pane ? m_pane->elapsed() : 0;
}

QString MusicPaneViewModel::elapsedText() const { return notchTime(shownElapsed()); }

QString MusicPaneViewModel::durationText() const
{
    const NowPlayingState now = state();
    return notchTime(now.track ? now.track->duration : 0);
}

bool MusicPaneViewModel::showsSettingsTile() const { return state().issue.has_value(); }

QVariantList MusicPaneViewModel::playerTiles() const
{
    QVariantList tiles;
    const NowPlayingPublisher *service = coordinator();
    if (!service)
        return tiles;
    const std::optional<QString> launching = service->launchingPlayer();
    for (const MusicPlayerOption &option : service->installedPlayers()) {
        const bool starting = launching == option.id;
        tiles.append(QVariantMap{
            {QStringLiteral("id"), option.id},
            {QStringLiteral("name"), option.name},
            {QStringLiteral("text"), starting ? tr("Starting %1").arg(option.name) : tr("Play in %1").arg(option.name)},
            {QStringLiteral("opacity"), starting ? 0.6 : 1.0},
        });
    }
    return tiles;
}

void MusicPaneViewModel::scrub(double fraction)
{
    if (!std::isfinite(fraction))
        return;
    if (m_scrub == fraction)
        return;
    m_scrub = fraction;
    Q_EMIT scrubChanged();
}

void MusicPaneViewModel::commitScrub(double fraction)
{
    if (m_pane)
        m_pane->seek(fraction);
    if (!m_scrub)
        return;
    m_scrub.reset();
    Q_EMIT scrubChanged();
}

void MusicPaneViewModel::previous()
{
    if (NowPlayingPublisher *service = coordinator())
        service->send(TransportCommand::previous());
}

void MusicPaneViewModel::togglePlayback()
{
    if (NowPlayingPublisher *service = coordinator())
        service->send(TransportCommand::toggle());
}

void MusicPaneViewModel::next()
{
    if (NowPlayingPublisher *service = coordinator())
        service->send(TransportCommand::next());
}

void MusicPaneViewModel::openSource()
{
    if (!canOpenSource())
        return;
    coordinator()->openCurrent();
}

void MusicPaneViewModel::favorite()
{
    setFavorited(true);
    if (NowPlayingPublisher *service = coordinator())
        service->favoriteCurrent();
}

void MusicPaneViewModel::openSettings()
{
    if (NowPlayingPublisher *service = coordinator())
        service->openAutomationSettings();
}

void MusicPaneViewModel::launch(const QString &playerID)
{
    NowPlayingPublisher *service = coordinator();
    if (!service)
        return;
    for (const MusicPlayerOption &option : service->installedPlayers()) {
        if (option.id == playerID) {
            service->launch(option);
            return;
        }
    }
}

void MusicPaneViewModel::setFavorited(bool favorited)
{
    if (favorited == m_favorited)
        return;
    m_favorited = favorited;
    Q_EMIT favoritedChanged();
}

void MusicPaneViewModel::refreshFavorite()
{
    const quint64 generation = ++m_favoriteGeneration;
    const NowPlayingState now = state();
    m_favoriteTrack = now.track ? std::optional(now.track->id) : std::nullopt;
    setFavorited(false);
    NowPlayingPublisher *service = coordinator();
    if (service && service->isAppleMusic())
        readFavorite(QPointer(this), service, generation);
}

QCoro::Task<> MusicPaneViewModel::readFavorite(QPointer<MusicPaneViewModel> self, NowPlayingPublisher *coordinator,
                                               quint64 generation)
{
    QPointer<NowPlayingPublisher> service(coordinator);
    const bool favorited = co_await coordinator->isCurrentFavorited();
    // A later refresh (another track, or the view shown again) overtakes this one.
    if (!self || !service || self->m_favoriteGeneration != generation)
        co_return;
    self->setFavorited(favorited);
}

VolumeController::VolumeController(QObject *parent) : QObject(parent) {}

void VolumeController::setPane(MusicPane *pane)
{
    if (pane == m_pane)
        return;
    m_pane = pane;
    Q_EMIT paneChanged();
    reload();
}

QString VolumeController::symbol() const
{
    return m_muted || m_volume < 0.01 ? QStringLiteral("speaker.slash.fill") : QStringLiteral("speaker.wave.2.fill");
}

QString VolumeController::muteHelp() const { return m_muted ? tr("Unmute") : tr("Mute"); }

void VolumeController::set(double volume, bool muted)
{
    if (!std::isfinite(volume))
        volume = 0;
    if (volume == m_volume && muted == m_muted)
        return;
    m_volume = volume;
    m_muted = muted;
    Q_EMIT changed();
}

void VolumeController::reload()
{
    if (!m_pane)
        return;
    const platform::AudioSystem &audio = m_pane->audio();
    set(audio.volume(), audio.isMuted());
}

void VolumeController::setSliderValue(double value)
{
    if (!std::isfinite(value))
        return;
    set(value, false);
    if (!m_pane)
        return;
    m_pane->audio().setMuted(false);
    m_pane->audio().setVolume(value);
}

void VolumeController::toggleMute()
{
    const bool muted = !m_muted;
    set(m_volume, muted);
    if (!m_pane)
        return;
    m_pane->audio().setMuted(muted);
    if (!muted)
        set(m_pane->audio().volume(), false);
}

} // namespace tavrenhold
