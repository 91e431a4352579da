#pragma once

#include "Waveform.h"
#include "design/AccentRefresher.h"
#include "design/CancelToken.h"
#include "design/Clock.h"
#include "design/NotchPane.h"
#include "nowplaying/NowPlayingPublisher.h"

#include <QCoroTask>
#include <QDateTime>
#include <QList>
#include <QRectF>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <memory>
#include <optional>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;

namespace tavrenhold {

class AirPlayDiscovery;

namespace platform {
class AudioSystem;
class SystemAppearance;
} // namespace platform

// The Music pane: owns the now-playing service and turns its published state into what the notch
// shows of it: the position in whole seconds and as a fraction, five level bars moved by a display
// timer while music plays, the artwork (downloaded when the track only names it) and the accent of
// the notch backdrop. It sets the service's cadence by whether the pane is shown, holds the shown
// position for a moment after a seek, and offers the collapsed bar its music items. Nothing starts
// until startServices().
class MusicPane final : public NotchPane {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The Music pane is made by the application.")
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(QString symbol READ symbol CONSTANT)
    Q_PROPERTY(tavrenhold::NowPlayingPublisher *coordinator READ coordinator CONSTANT)
    Q_PROPERTY(QList<qreal> levels READ levelValues NOTIFY levelsChanged)
    Q_PROPERTY(double fraction READ fraction NOTIFY fractionChanged)
    Q_PROPERTY(double elapsed READ elapsed NOTIFY elapsedChanged)
    Q_PROPERTY(bool hasArtwork READ hasArtwork NOTIFY artworkChanged)
    // Set while a change of track or player lands, and cleared on the next turn of the event loop:
    // the views' transitions read it and jump instead of animating.
    Q_PROPERTY(bool animationsDisabled READ animationsDisabled NOTIFY animationsDisabledChanged)
    // The open output picker's rectangle in the panel window, empty while it is closed; the shell
    // lets the pointer in there and counts it as inside the open surface.
    Q_PROPERTY(QRectF popoverRect READ popoverRect WRITE setPopoverRect NOTIFY popoverRectChanged)
    // Whether the pane is shown (between activate() and deactivate()).
    Q_PROPERTY(bool active READ isActive NOTIFY activeChanged)

public:
    static constexpr double height = 156;
    // The display timer's intervals: 1/12 s while the pane is shown, 1/6 s otherwise.
    static constexpr Millis activeInterval{83};
    static constexpr Millis inactiveInterval{167};
    // How long the shown position holds after a seek, and how near the player must come to end it.
    static constexpr Millis seekHold{1200};
    static constexpr double seekCatchUp = 0.015;
    // The smallest move of the fraction a tick shows.
    static constexpr double fractionStep = 0.0015;
    // Artwork downloads: a body above this size is dropped; a transfer that stalls this long ends.
    static constexpr qint64 artworkSizeCap = 8 * 1024 * 1024;
    static constexpr int artworkTimeoutMs = 10000;

    // The still level bars: five low bars.
    [[nodiscard]] static std::vector<float> flatLevels() { return Waveform::flat(); }
    // The bars shown while music plays under Reduce Motion.
    [[nodiscard]] static std::vector<float> stillLevels() { return {0.62f, 0.92f, 0.74f, 0.84f, 0.52f}; }

    // Takes ownership of the coordinator (it becomes the pane's child). Reduce Motion is read from
    // `appearance` (the desktop's when none); volume and mute go through `audio` (an output with
    // nothing behind it when none), which must outlive the pane. Starts nothing.
    explicit MusicPane(NowPlayingPublisher *coordinator, Clock &clock = Clock::system(),
                       platform::SystemAppearance *appearance = nullptr, platform::AudioSystem *audio = nullptr,
                       QObject *parent = nullptr);
    ~MusicPane() override;

    [[nodiscard]] PaneID id() const override { return PaneID::music; }
    [[nodiscard]] double contentHeight() const override { return height; }
    [[nodiscard]] IdleSignal idle() const override;
    [[nodiscard]] QUrl content() const override;
    // Marks the pane shown, asks for the foreground cadence, re-applies the state and retimes the
    // display timer.
    void activate() override;
    // Marks the pane hidden, asks for the background cadence while something is live, else for the
    // suspended one, and retimes the display timer.
    void deactivate() override;

    [[nodiscard]] QString title() const { return tavrenhold::title(id()); }
    [[nodiscard]] QString symbol() const { return tavrenhold::symbol(id()); }

    [[nodiscard]] NowPlayingPublisher *coordinator() const { return m_coordinator; }
    [[nodiscard]] platform::AudioSystem &audio() const { return *m_audio; }
    [[nodiscard]] Clock &clock() const { return m_clock; }
    // The AirPlay receivers the output picker lists: Avahi's, made on first use, unless one was
    // given (which must outlive the pane).
    [[nodiscard]] AirPlayDiscovery &airPlay();
    void setAirPlay(AirPlayDiscovery *discovery) { m_airPlay = discovery; }
    [[nodiscard]] QRectF popoverRect() const { return m_popoverRect; }
    void setPopoverRect(const QRectF &rect);

    // Once per run, from the shell's start: reaches the sound server, starts the coordinator and
    // follows its state from then on.
    void startServices();
    // At the end of the run: stops the display timer, the download and the accent work, clears the
    // accent and stops the coordinator. The pane keeps following the state.
    void stopServices();

    // Moves playback to a fraction of the track (clamped to 0 … 1) and shows it at once, holding
    // it until the player catches up or a moment passes. A fraction that is not a number does nothing.
    Q_INVOKABLE void seek(double fraction);

    [[nodiscard]] bool isActive() const { return m_active; }
    [[nodiscard]] const std::vector<float> &levels() const { return m_levels; }
    [[nodiscard]] QList<qreal> levelValues() const;
    // The shown playback fraction, 0 … 1.
    [[nodiscard]] double fraction() const { return m_fraction; }
    // The shown position in whole seconds.
    [[nodiscard]] double elapsed() const { return m_elapsed; }
    [[nodiscard]] const std::optional<NotchImage> &artwork() const { return m_artwork; }
    [[nodiscard]] bool hasArtwork() const { return m_artwork.has_value(); }
    [[nodiscard]] bool animationsDisabled() const { return m_animationsDisabled; }

    // The display timer's interval for the state and setting now; none when no timer should run.
    [[nodiscard]] std::optional<Millis> tickInterval() const;
    // The interval of the running display timer; none when it is stopped.
    [[nodiscard]] std::optional<Millis> tickerInterval() const { return m_tickerInterval; }
    // Downloads started over the run (a test's view of "requested once").
    [[nodiscard]] int downloadsStarted() const { return m_downloads; }
    // Downloads that have ended, whatever came of them.
    [[nodiscard]] int downloadsEnded() const { return m_downloadsEnded; }

Q_SIGNALS:
    void levelsChanged();
    void fractionChanged();
    void elapsedChanged();
    void artworkChanged();
    void animationsDisabledChanged();
    void popoverRectChanged();
    void activeChanged();

private:
    struct SeekPin {
        double fraction = 0;
        QDateTime expires;
    };
    struct Display {
        double position = 0;
        double fraction = 0;
    };

    void observeState();
    void stateArrived();
    void applyState();
    void update();
    [[nodiscard]] Display displayPosition(const NowPlayingTrack &track, const NowPlayingState &state);
    void syncTicker();
    void tick();
    static QCoro::Task<> runTicker(QPointer<MusicPane> self, Clock &clock, Millis interval, CancelToken token);
    void fetchArtworkIfNeeded();
    void startDownload(const QUrl &url, const QString &trackID);
    void cancelDownload();
    void setArtwork(const std::optional<NotchImage> &image);
    void disableAnimationsForThisTurn();
    [[nodiscard]] bool reduceMotion() const;
    [[nodiscard]] NowPlayingState state() const;

    void setLevels(const std::vector<float> &levels);
    void setFraction(double fraction);
    void setElapsed(double elapsed);
    void noteIdle();
    void setCadenceForHidden();

    QPointer<NowPlayingPublisher> m_coordinator;
    Clock &m_clock;
    platform::SystemAppearance *m_appearance;
    std::unique_ptr<platform::AudioSystem> m_ownedAudio;
    platform::AudioSystem *m_audio;
    std::unique_ptr<AirPlayDiscovery> m_ownedAirPlay;
    AirPlayDiscovery *m_airPlay = nullptr;
    QRectF m_popoverRect;
    AccentRefresher *m_accent;
    QNetworkAccessManager *m_network = nullptr;
    QPointer<QNetworkReply> m_artReply;

    bool m_active = false;
    bool m_observing = false;
    bool m_applyQueued = false;
    bool m_stopped = false; // services stopped: no display timer any more
    bool m_animationsDisabled = false;
    std::vector<float> m_levels = flatLevels();
    double m_fraction = 0;
    double m_elapsed = 0;
    std::optional<NotchImage> m_artwork;
    CancelSlot m_ticker;
    std::optional<Millis> m_tickerInterval;
    std::optional<QString> m_artTrackID;
    std::optional<QString> m_shownTrackID;
    std::optional<PlayerIdentity> m_shownPlayer;
    std::optional<PlayerIdentity> m_artworkPlayer;
    std::optional<SeekPin> m_seekPin;
    int m_downloads = 0;
    int m_downloadsEnded = 0;
    IdleSignal m_lastIdle;
};

} // namespace tavrenhold
