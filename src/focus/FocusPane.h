#pragma once

#include "PomodoroState.h"
#include "design/CancelToken.h"
#include "design/Clock.h"
#include "design/NotchPane.h"

#include <QPointer>
#include <QString>

namespace tavrenhold {

namespace platform {
class Defaults;
}

// The Focus pane: owns the timer's state, keeps it in the defaults under "focus.pomodoro" and
// arms one sleep until the running phase's deadline. There is no periodic tick: the collapsed
// bar's ring counts down from the span in the idle signal, the view refreshes itself while shown.
class FocusPane final : public NotchPane {
    Q_OBJECT
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(QString symbol READ symbol CONSTANT)
    Q_PROPERTY(int pulse READ pulse NOTIFY pulseChanged)

public:
    static constexpr double height = 132;
    static inline const QString defaultsKey = QStringLiteral("focus.pomodoro");

    // Loads the stored record (an unreadable one is copied aside and the defaults used), brings it
    // up to date without writing it back, and arms the deadline.
    FocusPane(platform::Defaults &defaults, Clock &clock, QObject *parent = nullptr);
    ~FocusPane() override;

    [[nodiscard]] PaneID id() const override { return PaneID::focus; }
    [[nodiscard]] double contentHeight() const override { return height; }
    // While a phase runs or is paused: the ring, pinned on the leading side. Idle: nothing.
    [[nodiscard]] IdleSignal idle() const override;
    [[nodiscard]] QUrl content() const override;
    void activate() override;
    void deactivate() override {}

    [[nodiscard]] const PomodoroState &state() const { return m_state; }
    // For the settings window: a changed value is taken and announced; persist() stores it.
    void setState(const PomodoroState &state);
    [[nodiscard]] int pulse() const { return m_pulse; }
    [[nodiscard]] Clock &clock() const { return m_clock; }
    // The file an unreadable stored record was copied to at start, if any.
    [[nodiscard]] QString setAsidePath() const { return m_setAside; }

    Q_INVOKABLE void toggle();
    Q_INVOKABLE void reset();
    Q_INVOKABLE void skip();
    Q_INVOKABLE void resetRoundsToday();
    Q_INVOKABLE void persist();

    [[nodiscard]] QString title() const { return tavrenhold::title(id()); }
    [[nodiscard]] QString symbol() const { return tavrenhold::symbol(id()); }

Q_SIGNALS:
    void stateChanged();
    void pulseChanged();

private:
    [[nodiscard]] double now() const;
    void load();
    void scheduleDeadline();
    void raisePulse();
    static QCoro::Task<> waitForDeadline(QPointer<FocusPane> self, Clock &clock, CancelToken token);

    platform::Defaults &m_defaults;
    Clock &m_clock;
    PomodoroState m_state;
    int m_pulse = 0;
    QString m_setAside;
    CancelSlot m_deadline;
};

} // namespace tavrenhold
