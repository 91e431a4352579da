#pragma once

#include "base/Result.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <variant>

namespace tavrenhold {

// The focus timer's lengths, in whole minutes, and how many work rounds come before a long break.
struct FocusSettings {
    std::int64_t workMinutes = 25;
    std::int64_t shortBreakMinutes = 5;
    std::int64_t longBreakMinutes = 15;
    std::int64_t roundsBeforeLong = 4;

    bool operator==(const FocusSettings &) const = default;

    // What the settings window offers.
    static constexpr std::array<std::int64_t, 8> workOptions{15, 20, 25, 30, 45, 50, 60, 90};
    static constexpr std::array<std::int64_t, 4> shortBreakOptions{3, 5, 10, 15};
    static constexpr std::array<std::int64_t, 4> longBreakOptions{10, 15, 20, 30};
    static constexpr std::array<std::int64_t, 5> roundsOptions{2, 3, 4, 5, 6};
};

enum class FocusPhase { work, shortBreak, longBreak };

// Whether the current phase runs. Timestamps are seconds since 2001-01-01 00:00:00 UTC, as stored.
struct FocusIdle {
    bool operator==(const FocusIdle &) const = default;
};
struct FocusRunning {
    double deadline = 0;
    bool operator==(const FocusRunning &) const = default;
};
struct FocusPaused {
    double remaining = 0;
    bool operator==(const FocusPaused &) const = default;
};
using FocusRunState = std::variant<FocusIdle, FocusRunning, FocusPaused>;

// The closed interval a running phase covers, as two timestamps.
using FocusSpan = std::pair<double, double>;

// The whole timer: lengths, phase, run and the day's round count. Every operation takes the time
// it applies at; nothing here reads a clock.
struct PomodoroState {
    FocusSettings settings;
    FocusPhase phase = FocusPhase::work;
    FocusRunState run = FocusIdle{};
    std::int64_t roundsToday = 0;
    std::optional<double> roundsDay;   // local midnight of the day roundsToday counts
    std::optional<double> runDuration; // the length fixed when the run started from idle

    bool operator==(const PomodoroState &) const = default;

    // The current phase's length from the settings, in seconds.
    [[nodiscard]] double phaseLength() const;
    // The run's length: the one fixed at its start, else the phase's length now.
    [[nodiscard]] double runLength() const;
    [[nodiscard]] bool isRunning() const { return std::holds_alternative<FocusRunning>(run); }
    [[nodiscard]] bool isIdle() const { return std::holds_alternative<FocusIdle>(run); }

    [[nodiscard]] double remaining(double now) const;
    [[nodiscard]] double progress(double now) const;
    [[nodiscard]] std::optional<FocusSpan> span() const;
    [[nodiscard]] std::int64_t rounds(double date) const;

    void pause(double now);
    void toggle(double now);
    void complete(double moment);
    void rollForward(double now);
};

// Seconds since 2001-01-01 00:00:00 UTC, the stored time unit, to and from QDateTime.
[[nodiscard]] double referenceSeconds(const QDateTime &time);
[[nodiscard]] QDateTime fromReferenceSeconds(double seconds);
// The first moment of the local calendar day (system time zone) that holds the timestamp.
[[nodiscard]] double startOfDay(double timestamp);

// The stored record: compact JSON with the keys in their fixed order; nothing when a number is
// not finite.
[[nodiscard]] std::optional<QByteArray> encodePomodoro(const PomodoroState &state);
// Decodes the stored record as a whole; the error says what did not fit. Records whose lengths or
// round count cannot drive a timer (a round count below 1, a length below a minute or too long to
// count in seconds) are refused too. Given the time now, so is a running phase whose deadline lies
// farther ahead than the longest phase the record allows.
[[nodiscard]] Result<PomodoroState, QString> decodePomodoro(const QByteArray &json,
                                                            std::optional<double> now = std::nullopt);

} // namespace tavrenhold
