#pragma once

#include "base/Result.h"
#include "nowplaying/SerialQueue.h"
#include "platform/ScriptHost.h"

#include <QCoroTask>
#include <QHash>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

namespace tavrenhold {

// Why a script failed. Two failures are equal when they are the same case and, for other, carry
// the same number.
struct AppleEventFailure {
    enum class Kind {
        other,      // any other failure; number is the error number, or 0 when none was given
        notRunning, // the target application does not run or cannot be reached
        denied,     // not allowed to automate the target
        noTrack,    // the script asked for an object that does not exist
        timedOut,   // the target did not answer in time
    };
    Kind kind = Kind::other;
    int number = 0; // only for other

    [[nodiscard]] static AppleEventFailure other(int number) { return {Kind::other, number}; }
    [[nodiscard]] static AppleEventFailure notRunning() { return {Kind::notRunning, 0}; }
    [[nodiscard]] static AppleEventFailure denied() { return {Kind::denied, 0}; }
    [[nodiscard]] static AppleEventFailure noTrack() { return {Kind::noTrack, 0}; }
    [[nodiscard]] static AppleEventFailure timedOut() { return {Kind::timedOut, 0}; }

    bool operator==(const AppleEventFailure &o) const
    {
        return kind == o.kind && (kind != Kind::other || number == o.number);
    }
};

template <typename T>
using AppleEventResult = Result<T, AppleEventFailure>;

// A script's reply as a transform sees it.
class AppleEventReply {
public:
    AppleEventReply(const platform::ScriptHost &host, platform::ScriptHost::Reply descriptor)
        : m_host(&host), m_descriptor(std::move(descriptor))
    {
    }
    [[nodiscard]] const platform::ScriptHost::Reply &descriptor() const { return m_descriptor; }
    // The reply's text value; absent when it has none.
    [[nodiscard]] std::optional<QString> text() const { return m_host->replyText(m_descriptor); }
    // The reply's text value, or the empty text when it has none.
    [[nodiscard]] QString textOrEmpty() const { return text().value_or(QString()); }

private:
    const platform::ScriptHost *m_host;
    platform::ScriptHost::Reply m_descriptor;
};

// Runs scripts one at a time, in the order they were asked for, on a first-in-first-out queue on the
// main thread, and turns each outcome into a result value. Script objects may be kept and reused by
// their text. One shared instance serves the whole program.
class AppleEventRunner {
public:
    // A runner over its own host (tests give a fake one); the program uses shared().
    explicit AppleEventRunner(platform::ScriptHost &host) : m_host(&host) {}
    AppleEventRunner(const AppleEventRunner &) = delete;
    AppleEventRunner &operator=(const AppleEventRunner &) = delete;

    // The single runner, over the MPRIS script host of the session bus, made on first use.
    [[nodiscard]] static AppleEventRunner &shared();
    // Points shared() at another runner (tests); nullptr goes back to the real one.
    static void setShared(AppleEventRunner *runner);

    // Runs source and resumes with what transform makes of the reply, or with the failure. With reuse
    // the script object is kept under its full text and later runs of the same text execute it again;
    // pass reuse only for a bounded set of texts. Never fails otherwise; not cancellable.
    template <typename T>
    QCoro::Task<AppleEventResult<T>> run(QString source, bool reuse,
                                         std::function<T(const AppleEventReply &)> transform);
    // run() with the reply's text, or the empty text when the reply has none.
    QCoro::Task<AppleEventResult<QString>> runText(QString source, bool reuse);
    // run() that ignores the reply.
    QCoro::Task<Status<AppleEventFailure>> runVoid(QString source, bool reuse);

    // How many script objects are kept for reuse.
    [[nodiscard]] int compiledCount() const { return int(m_compiled.size()); }

    // Maps a failed execution's error information to a failure: no number, or a non-number under
    // the key, gives other(0).
    [[nodiscard]] static AppleEventFailure classify(const platform::ScriptHost::ErrorInfo &info);

private:
    QCoro::Task<AppleEventResult<platform::ScriptHost::Reply>> execute(QString source, bool reuse);

    platform::ScriptHost *m_host;
    SerialQueue m_queue;
    QHash<QString, platform::ScriptHost::ScriptPtr> m_compiled;
};

template <typename T>
QCoro::Task<AppleEventResult<T>> AppleEventRunner::run(QString source, bool reuse,
                                                        std::function<T(const AppleEventReply &)> transform)
{
    auto work = execute(std::move(source), reuse);
    auto outcome = co_await work;
    if (!outcome.ok())
        co_return AppleEventResult<T>::failure(outcome.error());
    co_return AppleEventResult<T>(transform(AppleEventReply(*m_host, outcome.value())));
}

} // namespace tavrenhold
