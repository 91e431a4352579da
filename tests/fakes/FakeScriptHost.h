#pragma once

#include "design/Clock.h"
#include "platform/MprisScriptHost.h"
#include "platform/ScriptHost.h"

#include <QHash>
#include <QSet>
#include <QStringList>

namespace tavrenhold::test {

// A script host that answers each text as the test says, after a delay on the test's clock (or on
// the next event-loop turn without one), and records what was made and executed.
class FakeScriptHost final : public platform::ScriptHost {
public:
    explicit FakeScriptHost(Clock *clock = nullptr) : m_clock(clock) {}

    // What source answers when executed, and after how long; texts without an answer reply nothing.
    void answer(const QString &source, Outcome outcome, Millis delay = Millis(0))
    {
        m_answers.insert(source, {std::move(outcome), delay});
    }
    void answerText(const QString &source, const QString &text, Millis delay = Millis(0))
    {
        answer(source, Reply{text}, delay);
    }
    void answerError(const QString &source, int number, Millis delay = Millis(0))
    {
        answer(source, errorInfo(number), delay);
    }
    // makeScript() gives nothing for source.
    void refuseToMake(const QString &source) { m_unmakeable.insert(source); }

    // Script objects made so far, and the texts they were made from.
    [[nodiscard]] int made() const { return m_made; }
    // The texts in the order their execution began, and the objects that ran them (by number of
    // making, from 1).
    [[nodiscard]] QStringList executed() const { return m_executed; }
    [[nodiscard]] QList<int> executedObjects() const { return m_executedObjects; }
    // The most executions that were under way at the same time.
    [[nodiscard]] int mostAtOnce() const { return m_mostAtOnce; }
    [[nodiscard]] int running() const { return m_running; }

    ScriptPtr makeScript(const QString &source) override;
    QCoro::Task<Outcome> execute(ScriptPtr script) override;
    std::optional<QString> replyText(const Reply &reply) const override;

private:
    struct Answer {
        Outcome outcome;
        Millis delay;
    };
    Clock *m_clock;
    QHash<QString, Answer> m_answers;
    QSet<QString> m_unmakeable;
    int m_made = 0;
    QStringList m_executed;
    QList<int> m_executedObjects;
    int m_running = 0;
    int m_mostAtOnce = 0;
};

// Timers for MprisScriptHost that run on a test clock.
[[nodiscard]] platform::MprisScriptHost::TimerFactory clockTimers(Clock &clock);

} // namespace tavrenhold::test
