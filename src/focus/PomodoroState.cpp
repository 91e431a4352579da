#include "PomodoroState.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace tavrenhold {

namespace {
// 2001-01-01 00:00:00 UTC in Unix seconds.
constexpr double referenceEpoch = 978307200.0;
// The longest phase a record may ask for, in minutes: far beyond any offered length, and small
// enough that a deadline stays a valid date.
constexpr std::int64_t maxMinutes = 1000000;
// Timestamps must convert to milliseconds in a qint64, as QDateTime keeps them.
constexpr double maxTimestamp = 9.0e15;

double minutesFor(const FocusSettings &settings, FocusPhase phase)
{
    switch (phase) {
    case FocusPhase::work:
        return double(settings.workMinutes);
    case FocusPhase::shortBreak:
        return double(settings.shortBreakMinutes);
    case FocusPhase::longBreak:
        return double(settings.longBreakMinutes);
    }
    return 0;
}

const char *phaseName(FocusPhase phase)
{
    switch (phase) {
    case FocusPhase::work:
        return "work";
    case FocusPhase::shortBreak:
        return "shortBreak";
    case FocusPhase::longBreak:
        return "longBreak";
    }
    return "work";
}

// The shortest text that reads back to the same double, never with an exponent.
bool appendNumber(QByteArray &out, double value)
{
    if (!std::isfinite(value))
        return false;
    char buffer[400];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (ec != std::errc())
        return false;
    out.append(buffer, end - buffer);
    return true;
}

void appendInteger(QByteArray &out, std::int64_t value) { out.append(QByteArray::number(qint64(value))); }

using Failure = QString;

std::optional<Failure> readInteger(const QJsonObject &object, const char *key, std::int64_t &out)
{
    const QJsonValue v = object.value(QLatin1String(key));
    if (v.isUndefined())
        return QStringLiteral("No value associated with key \"%1\".").arg(QLatin1String(key));
    const double d = v.toDouble(std::numeric_limits<double>::quiet_NaN());
    if (!v.isDouble() || !std::isfinite(d) || d != std::floor(d) || std::fabs(d) > 9.0e18)
        return QStringLiteral("Expected to decode an integer for \"%1\".").arg(QLatin1String(key));
    out = std::int64_t(v.toInteger(qint64(d)));
    return std::nullopt;
}

std::optional<Failure> readNumber(const QJsonValue &v, const char *key, double &out)
{
    if (!v.isDouble() || !std::isfinite(v.toDouble()))
        return QStringLiteral("Expected to decode a number for \"%1\".").arg(QLatin1String(key));
    out = v.toDouble();
    // A duration that no date could be reached by is as unusable as one that is not a number.
    if (std::fabs(out) > maxTimestamp / 1000.0 / 4)
        return QStringLiteral("The value for \"%1\" is out of range.").arg(QLatin1String(key));
    return std::nullopt;
}

std::optional<Failure> readTimestamp(const QJsonValue &v, const char *key, double &out)
{
    if (auto failure = readNumber(v, key, out))
        return failure;
    if (std::fabs(out + referenceEpoch) > maxTimestamp / 1000.0 || !fromReferenceSeconds(out).isValid())
        return QStringLiteral("The date for \"%1\" is out of range.").arg(QLatin1String(key));
    return std::nullopt;
}

std::optional<Failure> readOptional(const QJsonObject &object, const char *key, bool isTimestamp,
                                    std::optional<double> &out)
{
    const QJsonValue v = object.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull()) {
        out.reset();
        return std::nullopt;
    }
    double value = 0;
    if (auto failure = isTimestamp ? readTimestamp(v, key, value) : readNumber(v, key, value))
        return failure;
    out = value;
    return std::nullopt;
}

std::optional<Failure> readRun(const QJsonValue &v, FocusRunState &out)
{
    if (!v.isObject())
        return QStringLiteral("Expected to decode a dictionary for \"run\".");
    const QJsonObject run = v.toObject();
    const bool idle = run.contains(QLatin1String("idle"));
    const bool running = run.contains(QLatin1String("running"));
    const bool paused = run.contains(QLatin1String("paused"));
    if (int(idle) + int(running) + int(paused) != 1)
        return QStringLiteral("Invalid number of keys found, expected one.");
    if (idle) {
        if (!run.value(QLatin1String("idle")).isObject())
            return QStringLiteral("Expected to decode a dictionary for \"idle\".");
        out = FocusIdle{};
        return std::nullopt;
    }
    const char *caseKey = running ? "running" : "paused";
    const char *fieldKey = running ? "deadline" : "remaining";
    const QJsonValue payload = run.value(QLatin1String(caseKey));
    if (!payload.isObject())
        return QStringLiteral("Expected to decode a dictionary for \"%1\".").arg(QLatin1String(caseKey));
    const QJsonValue field = payload.toObject().value(QLatin1String(fieldKey));
    if (field.isUndefined())
        return QStringLiteral("No value associated with key \"%1\".").arg(QLatin1String(fieldKey));
    double value = 0;
    if (running) {
        if (auto failure = readTimestamp(field, fieldKey, value))
            return failure;
        out = FocusRunning{value};
    } else {
        if (auto failure = readNumber(field, fieldKey, value))
            return failure;
        out = FocusPaused{value};
    }
    return std::nullopt;
}
} // namespace

double referenceSeconds(const QDateTime &time) { return double(time.toMSecsSinceEpoch()) / 1000.0 - referenceEpoch; }

QDateTime fromReferenceSeconds(double seconds)
{
    const double ms = std::round((seconds + referenceEpoch) * 1000.0);
    if (!std::isfinite(ms) || std::fabs(ms) > maxTimestamp)
        return {};
    return QDateTime::fromMSecsSinceEpoch(qint64(ms), Qt::UTC);
}

double startOfDay(double timestamp)
{
    const QDateTime time = fromReferenceSeconds(timestamp);
    if (!time.isValid())
        return timestamp;
    return referenceSeconds(time.toLocalTime().date().startOfDay());
}

double PomodoroState::phaseLength() const { return minutesFor(settings, phase) * 60.0; }

double PomodoroState::runLength() const { return runDuration.value_or(phaseLength()); }

double PomodoroState::remaining(double now) const
{
    if (const auto *running = std::get_if<FocusRunning>(&run)) {
        const double left = running->deadline - now;
        return left > 0 ? left : 0; // also 0 when not a number
    }
    // A stored run length below 0 shows as nothing left, never as a negative time.
    const double length = runLength() > 0 ? runLength() : 0.0;
    if (const auto *paused = std::get_if<FocusPaused>(&run))
        return std::min(length, paused->remaining > 0 ? paused->remaining : 0.0);
    return length;
}

double PomodoroState::progress(double now) const
{
    const double length = runLength();
    if (!(length > 0))
        return 0;
    double elapsed = length - remaining(now);
    if (!(elapsed > 0))
        elapsed = 0;
    const double result = elapsed / length;
    if (!(result > 0))
        return 0;
    return result > 1 ? 1 : result;
}

std::optional<FocusSpan> PomodoroState::span() const
{
    const auto *running = std::get_if<FocusRunning>(&run);
    const double length = runLength();
    if (!running || !(length > 0))
        return std::nullopt;
    return FocusSpan{running->deadline - length, running->deadline};
}

std::int64_t PomodoroState::rounds(double date) const
{
    return roundsDay && *roundsDay == startOfDay(date) ? roundsToday : 0;
}

void PomodoroState::pause(double now)
{
    if (const auto *running = std::get_if<FocusRunning>(&run))
        run = FocusPaused{std::max(running->deadline - now, 0.0)};
}

void PomodoroState::toggle(double now)
{
    if (isRunning()) {
        pause(now);
    } else if (const auto *paused = std::get_if<FocusPaused>(&run)) {
        run = FocusRunning{now + std::max(paused->remaining, 0.0)};
    } else {
        const double length = phaseLength();
        runDuration = length;
        run = FocusRunning{now + length};
    }
}

void PomodoroState::complete(double moment)
{
    if (phase == FocusPhase::work) {
        const double day = startOfDay(moment);
        if (roundsDay != day) {
            roundsDay = day;
            roundsToday = 0;
        }
        roundsToday += 1;
        // A record with no sensible round count never gets here (the decoder refuses it); guard
        // the division all the same.
        const std::int64_t every = std::max<std::int64_t>(settings.roundsBeforeLong, 1);
        phase = roundsToday % every == 0 ? FocusPhase::longBreak : FocusPhase::shortBreak;
    } else {
        phase = FocusPhase::work;
    }
    run = FocusIdle{};
    runDuration.reset();
}

void PomodoroState::rollForward(double now)
{
    while (const auto *running = std::get_if<FocusRunning>(&run)) {
        if (running->deadline > now)
            break;
        complete(running->deadline);
    }
}

std::optional<QByteArray> encodePomodoro(const PomodoroState &state)
{
    QByteArray out;
    out.reserve(200);
    out.append("{\"settings\":{\"workMinutes\":");
    appendInteger(out, state.settings.workMinutes);
    out.append(",\"shortBreakMinutes\":");
    appendInteger(out, state.settings.shortBreakMinutes);
    out.append(",\"longBreakMinutes\":");
    appendInteger(out, state.settings.longBreakMinutes);
    out.append(",\"roundsBeforeLong\":");
    appendInteger(out, state.settings.roundsBeforeLong);
    out.append("},\"phase\":\"");
    out.append(phaseName(state.phase));
    out.append("\",\"run\":");
    if (const auto *running = std::get_if<FocusRunning>(&state.run)) {
        out.append("{\"running\":{\"deadline\":");
        if (!appendNumber(out, running->deadline))
            return std::nullopt;
        out.append("}}");
    } else if (const auto *paused = std::get_if<FocusPaused>(&state.run)) {
        out.append("{\"paused\":{\"remaining\":");
        if (!appendNumber(out, paused->remaining))
            return std::nullopt;
        out.append("}}");
    } else {
        out.append("{\"idle\":{}}");
    }
    out.append(",\"roundsToday\":");
    appendInteger(out, state.roundsToday);
    if (state.roundsDay) {
        out.append(",\"roundsDay\":");
        if (!appendNumber(out, *state.roundsDay))
            return std::nullopt;
    }
    if (state.runDuration) {
        out.append(",\"runDuration\":");
        if (!appendNumber(out, *state.runDuration))
            return std::nullopt;
    }
    out.append('}');
    return out;
}

Result<PomodoroState, QString> decodePomodoro(const QByteArray &json, std::optional<double> now)
{
    using R = Result<PomodoroState, QString>;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return R::failure(QStringLiteral("The data isn't valid JSON: %1.").arg(parseError.errorString()));
    if (!document.isObject())
        return R::failure(QStringLiteral("Expected to decode a dictionary."));
    const QJsonObject object = document.object();

    PomodoroState state;
    const QJsonValue settingsValue = object.value(QLatin1String("settings"));
    if (!settingsValue.isObject())
        return R::failure(QStringLiteral("Expected to decode a dictionary for \"settings\"."));
    const QJsonObject settings = settingsValue.toObject();
    for (auto [key, field] : {std::pair{"workMinutes", &state.settings.workMinutes},
                              std::pair{"shortBreakMinutes", &state.settings.shortBreakMinutes},
                              std::pair{"longBreakMinutes", &state.settings.longBreakMinutes},
                              std::pair{"roundsBeforeLong", &state.settings.roundsBeforeLong}}) {
        if (auto failure = readInteger(settings, key, *field))
            return R::failure(*failure);
    }

    const QJsonValue phase = object.value(QLatin1String("phase"));
    if (phase == QJsonValue(QStringLiteral("work")))
        state.phase = FocusPhase::work;
    else if (phase == QJsonValue(QStringLiteral("shortBreak")))
        state.phase = FocusPhase::shortBreak;
    else if (phase == QJsonValue(QStringLiteral("longBreak")))
        state.phase = FocusPhase::longBreak;
    else
        return R::failure(QStringLiteral("Cannot initialize FocusPhase from the stored \"phase\"."));

    if (!object.contains(QLatin1String("run")))
        return R::failure(QStringLiteral("No value associated with key \"run\"."));
    if (auto failure = readRun(object.value(QLatin1String("run")), state.run))
        return R::failure(*failure);
    if (auto failure = readInteger(object, "roundsToday", state.roundsToday))
        return R::failure(*failure);
    if (auto failure = readOptional(object, "roundsDay", true, state.roundsDay))
        return R::failure(*failure);
    if (auto failure = readOptional(object, "runDuration", false, state.runDuration))
        return R::failure(*failure);

    // Lengths and round counts that would divide by zero or overflow a deadline.
    const FocusSettings &s = state.settings;
    if (s.roundsBeforeLong < 1)
        return R::failure(QStringLiteral("\"roundsBeforeLong\" must be at least 1."));
    for (std::int64_t minutes : {s.workMinutes, s.shortBreakMinutes, s.longBreakMinutes}) {
        if (minutes < 1 || minutes > maxMinutes)
            return R::failure(QStringLiteral("A phase length is out of range."));
    }
    // A run never ends later than its longest possible length from now.
    if (const auto *running = std::get_if<FocusRunning>(&state.run); running && now) {
        double longest = double(std::max({s.workMinutes, s.shortBreakMinutes, s.longBreakMinutes})) * 60;
        if (state.runDuration)
            longest = std::max(longest, std::min(*state.runDuration, double(maxMinutes) * 60));
        if (running->deadline - *now > longest)
            return R::failure(QStringLiteral("The deadline lies farther ahead than a phase lasts."));
    }
    return state;
}

} // namespace tavrenhold
