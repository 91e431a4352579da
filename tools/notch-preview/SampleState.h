#pragma once

// Sample state for the preview: a now-playing service that publishes one made-up track with a
// generated cover, a focus timer that is running, and a desktop appearance that holds still.

#include "design/NotchPane.h"
#include "nowplaying/NowPlayingPublisher.h"
#include "platform/SystemAppearance.h"

#include <QByteArray>
#include <QDateTime>

namespace preview {

// A cover picture drawn here, as PNG bytes.
[[nodiscard]] QByteArray sampleCover();

// The now-playing service of the preview: publishes `state` and does nothing else.
class SamplePublisher final : public tavrenhold::NowPlayingPublisher {
public:
    explicit SamplePublisher(tavrenhold::NowPlayingState state) : m_state(std::move(state)) {}
    [[nodiscard]] tavrenhold::NowPlayingState state() const override { return m_state; }
    void start() override {}
    void stop() override {}
    void setCadence(tavrenhold::NowPlayingCadence) override {}

    // A track with the sample cover, captured at `now`, playing or paused.
    [[nodiscard]] static tavrenhold::NowPlayingState track(const QDateTime &now, bool playing);

private:
    tavrenhold::NowPlayingState m_state;
};

// The Focus pane with a run under way: its ring pinned to the leading wing, counting down a
// 25-minute round that started `elapsedMinutes` ago. Shows the Focus pane's own content view.
class RunningFocusPane final : public tavrenhold::NotchPane {
    Q_OBJECT
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(QString symbol READ symbol CONSTANT)

public:
    RunningFocusPane(const QDateTime &now, int elapsedMinutes, QObject *parent = nullptr);

    [[nodiscard]] tavrenhold::PaneID id() const override { return tavrenhold::PaneID::focus; }
    [[nodiscard]] double contentHeight() const override;
    [[nodiscard]] tavrenhold::IdleSignal idle() const override;
    [[nodiscard]] QUrl content() const override;
    void activate() override {}
    void deactivate() override {}

    [[nodiscard]] QString title() const { return tavrenhold::title(id()); }
    [[nodiscard]] QString symbol() const { return tavrenhold::symbol(id()); }

private:
    tavrenhold::TimeSpan m_span;
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
