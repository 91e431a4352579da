#include "AppleEventRunner.h"

#include "platform/MprisScriptHost.h"

#include <cmath>
#include <limits>

namespace tavrenhold {

namespace {
AppleEventRunner *sharedOverride = nullptr;
} // namespace

AppleEventRunner &AppleEventRunner::shared()
{
    if (sharedOverride)
        return *sharedOverride;
    static platform::MprisScriptHost host(QDBusConnection::sessionBus(),
                                          platform::MprisScriptHost::musicBusNameFromEnvironment());
    static AppleEventRunner runner(host);
    return runner;
}

void AppleEventRunner::setShared(AppleEventRunner *runner) { sharedOverride = runner; }

QCoro::Task<AppleEventResult<QString>> AppleEventRunner::runText(QString source, bool reuse)
{
    auto work = run<QString>(std::move(source), reuse, [](const AppleEventReply &reply) { return reply.textOrEmpty(); });
    co_return co_await work;
}

QCoro::Task<Status<AppleEventFailure>> AppleEventRunner::runVoid(QString source, bool reuse)
{
    auto work = run<Ok>(std::move(source), reuse, [](const AppleEventReply &) { return Ok{}; });
    co_return co_await work;
}

QCoro::Task<AppleEventResult<platform::ScriptHost::Reply>> AppleEventRunner::execute(QString source, bool reuse)
{
    using Outcome = AppleEventResult<platform::ScriptHost::Reply>;
    // One script at a time, in the order the callers came.
    auto turn = co_await m_queue.enter();

    platform::ScriptHost::ScriptPtr script;
    if (reuse)
        script = m_compiled.value(source);
    if (!script) {
        script = m_host->makeScript(source);
        if (!script)
            co_return Outcome::failure(AppleEventFailure::other(0));
        if (reuse)
            m_compiled.insert(source, script);
    }

    auto running = m_host->execute(script);
    auto outcome = co_await running;
    if (const auto *info = std::get_if<platform::ScriptHost::ErrorInfo>(&outcome))
        co_return Outcome::failure(classify(*info));
    co_return Outcome(std::get<platform::ScriptHost::Reply>(std::move(outcome)));
}

AppleEventFailure AppleEventRunner::classify(const platform::ScriptHost::ErrorInfo &info)
{
    const auto found = info.constFind(platform::ScriptHost::errorNumberKey);
    if (found == info.constEnd())
        return AppleEventFailure::other(0);
    // Only a number counts: a text that happens to hold digits does not.
    switch (found->typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Double:
    case QMetaType::Float:
        break;
    default:
        return AppleEventFailure::other(0);
    }
    bool ok = false;
    const double value = found->toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < double(std::numeric_limits<int>::min())
        || value > double(std::numeric_limits<int>::max()))
        return AppleEventFailure::other(0);
    switch (const int number = int(value)) {
    case -600:
    case -609:
    case -10814:
        return AppleEventFailure::notRunning();
    case -1743:
    case -10004:
        return AppleEventFailure::denied();
    case -1728:
    case -1719:
        return AppleEventFailure::noTrack();
    case -1712:
        return AppleEventFailure::timedOut();
    default:
        return AppleEventFailure::other(number);
    }
}

} // namespace tavrenhold
