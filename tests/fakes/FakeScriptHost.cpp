#include "FakeScriptHost.h"

#include "base/Wakeup.h"

#include <QTimer>

#include <algorithm>

namespace tavrenhold::test {

namespace {

class FakeScript final : public platform::ScriptHost::Script {
public:
    FakeScript(QString text, int n) : source(std::move(text)), number(n) {}
    const QString source;
    const int number;
};

QCoro::Task<> nextTurn()
{
    auto wakeup = std::make_shared<Wakeup>();
    QTimer::singleShot(0, [wakeup] { wakeup->fire(); });
    auto waiting = wakeup->wait();
    co_await waiting;
}

QCoro::Task<> fireAfter(Clock &clock, Millis d, CancelToken token, std::function<void()> fire)
{
    auto sleeping = clock.sleepFor(d, token);
    if (co_await sleeping)
        fire();
}

} // namespace

platform::ScriptHost::ScriptPtr FakeScriptHost::makeScript(const QString &source)
{
    if (m_unmakeable.contains(source))
        return nullptr;
    return std::make_shared<FakeScript>(source, ++m_made);
}

QCoro::Task<platform::ScriptHost::Outcome> FakeScriptHost::execute(ScriptPtr script)
{
    const auto *fake = dynamic_cast<const FakeScript *>(script.get());
    Q_ASSERT(fake);
    m_executed << fake->source;
    m_executedObjects << fake->number;
    m_mostAtOnce = std::max(m_mostAtOnce, ++m_running);
    const Answer answer = m_answers.value(fake->source, Answer{Reply{}, Millis(0)});
    if (m_clock && answer.delay > Millis(0)) {
        auto sleeping = m_clock->sleepFor(answer.delay);
        co_await sleeping;
    } else {
        auto waiting = nextTurn();
        co_await waiting;
    }
    --m_running;
    co_return answer.outcome;
}

std::optional<QString> FakeScriptHost::replyText(const Reply &reply) const
{
    if (reply.value.typeId() == QMetaType::Bool)
        return reply.value.toBool() ? QString::fromLatin1("true") : QString::fromLatin1("false");
    if (!reply.value.isValid() || reply.value.isNull() || !reply.value.canConvert<QString>())
        return std::nullopt;
    return reply.value.toString();
}

platform::MprisScriptHost::TimerFactory clockTimers(Clock &clock)
{
    return [&clock](Millis d, std::function<void()> fire) -> std::shared_ptr<void> {
        struct Disarm {
            CancelToken token;
            ~Disarm() { token.cancel(); }
        };
        auto disarm = std::make_shared<Disarm>();
        fireAfter(clock, d, disarm->token, std::move(fire));
        return disarm;
    };
}

} // namespace tavrenhold::test
