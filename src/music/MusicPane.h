#pragma once

#include "design/Clock.h"
#include "design/NotchPane.h"
#include "nowplaying/NowPlayingPublisher.h"

#include <QPointer>
#include <QString>

#include <optional>
#include <vector>

namespace tavrenhold {

// The Music pane: owns the now-playing service and turns its published state into what the notch
// shows of it (the playback fraction, the level bars, the artwork) and into the collapsed bar's
// music items. Nothing starts until startServices().
class MusicPane final : public NotchPane {
    Q_OBJECT
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(QString symbol READ symbol CONSTANT)

public:
    static constexpr double height = 156;

    // The still level bars: five low bars.
    [[nodiscard]] static std::vector<float> flatLevels() { return std::vector<float>(5, 0.08f); }

    // Takes ownership of the coordinator (it becomes the pane's child). Starts nothing.
    explicit MusicPane(NowPlayingPublisher *coordinator, Clock &clock = Clock::system(), QObject *parent = nullptr);

    [[nodiscard]] PaneID id() const override { return PaneID::music; }
    [[nodiscard]] double contentHeight() const override { return height; }
    [[nodiscard]] IdleSignal idle() const override;
    [[nodiscard]] QUrl content() const override;
    // Marks the pane shown, asks for the foreground cadence and re-applies the state.
    void activate() override;
    // Marks the pane hidden and asks for the background cadence while something is live, else for
    // the suspended one.
    void deactivate() override;

    [[nodiscard]] QString title() const { return tavrenhold::title(id()); }
    [[nodiscard]] QString symbol() const { return tavrenhold::symbol(id()); }

    [[nodiscard]] NowPlayingPublisher *coordinator() const { return m_coordinator; }

    // Once per run, from the shell's start: starts the coordinator and follows its state from then on.
    void startServices();
    // At the end of the run: stops the coordinator. The pane keeps following its state.
    void stopServices();

    [[nodiscard]] bool isActive() const { return m_active; }
    [[nodiscard]] const std::vector<float> &levels() const { return m_levels; }
    // The shown playback fraction, 0 … 1.
    [[nodiscard]] double fraction() const { return m_fraction; }
    // The shown position in whole seconds.
    [[nodiscard]] double elapsed() const { return m_elapsed; }
    [[nodiscard]] const std::optional<NotchImage> &artwork() const { return m_artwork; }

private:
    // Takes the coordinator's current state into the shown values.
    void applyState();
    // Tells the shell when the offer to the collapsed bar changed.
    void noteIdle();
    void setCadenceForHidden();

    QPointer<NowPlayingPublisher> m_coordinator;
    Clock &m_clock;
    bool m_active = false;
    bool m_observing = false;
    std::vector<float> m_levels = flatLevels();
    double m_fraction = 0;
    double m_elapsed = 0;
    std::optional<NotchImage> m_artwork;
    IdleSignal m_lastIdle;
};

} // namespace tavrenhold
