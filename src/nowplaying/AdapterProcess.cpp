#include "AdapterProcess.h"

#include "AdapterChild.h"
#include "Deferred.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTimer>

#include <cmath>
#include <limits>

namespace tavrenhold {

namespace {

Millis timeoutMillis(double seconds)
{
    if (!(seconds > 0)) // also NaN
        return Millis(0);
    const double ms = std::ceil(seconds * 1000.0);
    if (ms >= double(std::numeric_limits<int>::max()))
        return Millis(std::numeric_limits<int>::max());
    return Millis(qint64(ms));
}

QCoro::Task<AdapterProcess::Output> runNow(const AdapterLocation &location, const QStringList &arguments,
                                           double timeout)
{
    QProcess *process = adapterchild::make(location, arguments);
    if (!adapterchild::launch(process)) {
        adapterchild::dispose(process, AdapterProcess::killGrace);
        co_return AdapterProcess::Output{-1, {}};
    }

    enum class Outcome { running, exited, timedOut, overflow };
    struct Watch {
        DeferredEvent done;
        Outcome outcome = Outcome::running;
        QByteArray data;
        void end(Outcome o)
        {
            if (outcome != Outcome::running)
                return;
            outcome = o;
            done.set();
        }
        void read(QProcess *p)
        {
            if (outcome != Outcome::running) // read nothing after the end, nor after the deadline
                return;
            data += p->readAllStandardOutput();
            if (data.size() > AdapterProcess::maxOutputBytes)
                end(Outcome::overflow);
        }
    } watch;

    QObject::connect(process, &QProcess::readyReadStandardOutput, process, [&watch, process] { watch.read(process); });
    QObject::connect(process, &QProcess::finished, process, [&watch, process] {
        watch.read(process);
        watch.end(Outcome::exited);
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, [&watch] { watch.end(Outcome::timedOut); });
    deadline.start(timeoutMillis(timeout));

    co_await watch.done.wait();
    deadline.stop();

    if (watch.outcome == Outcome::exited) {
        int status = process->exitCode();
        if (process->exitStatus() != QProcess::NormalExit && status == 0)
            status = 1; // a crash is never success
        adapterchild::dispose(process, AdapterProcess::killGrace);
        co_return AdapterProcess::Output{status, std::move(watch.data)};
    }
    adapterchild::endForGood(process, AdapterProcess::killGrace);
    if (watch.outcome == Outcome::overflow)
        watch.data.clear();
    co_return AdapterProcess::Output{AdapterProcess::timedOutStatus, std::move(watch.data)};
}

QCoro::Task<> launchDetached(AdapterLocation location, QStringList arguments)
{
    auto enter = AdapterProcess::queue().enter();
    auto turn = co_await enter;
    QProcess *process = adapterchild::make(location, arguments);
    process->setStandardOutputFile(QProcess::nullDevice());
    if (!adapterchild::launch(process)) {
        adapterchild::dispose(process, AdapterProcess::killGrace);
        co_return;
    }
    // Nobody waits for it: the object goes when the process has exited (or with the application).
    process->setParent(QCoreApplication::instance());
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
}

} // namespace

SerialQueue &AdapterProcess::queue()
{
    static SerialQueue adapterQueue;
    return adapterQueue;
}

QCoro::Task<AdapterProcess::Output> AdapterProcess::run(AdapterLocation location, QStringList arguments,
                                                        double timeout)
{
    auto enter = queue().enter();
    auto turn = co_await enter;
    co_return co_await runNow(location, arguments, timeout);
}

QCoro::Task<AdapterProcess::Output> AdapterProcess::run(AdapterLocation location, QStringList arguments,
                                                        double timeout, Purpose purpose, Wanted wanted)
{
    auto enter = queue().enterReplacing(int(purpose));
    auto turn = co_await enter;
    if (!turn || (wanted && !wanted()))
        co_return Output{skippedStatus, {}};
    co_return co_await runNow(location, arguments, timeout);
}

void AdapterProcess::detached(AdapterLocation location, QStringList arguments)
{
    // The task runs on by itself once this handle is dropped.
    auto task = launchDetached(std::move(location), std::move(arguments));
    Q_UNUSED(task);
}

std::optional<QStringList> AdapterProcess::commandArguments(const TransportCommand &command)
{
    using Kind = TransportCommand::Kind;
    switch (command.kind) {
    case Kind::play:
        return QStringList{QStringLiteral("send"), QStringLiteral("0")};
    case Kind::pause:
        return QStringList{QStringLiteral("send"), QStringLiteral("1")};
    case Kind::toggle:
        return QStringList{QStringLiteral("send"), QStringLiteral("2")};
    case Kind::next:
        return QStringList{QStringLiteral("send"), QStringLiteral("4")};
    case Kind::previous:
        return QStringList{QStringLiteral("send"), QStringLiteral("5")};
    case Kind::seek: {
        if (!std::isfinite(command.seconds))
            return std::nullopt;
        const double micros = std::trunc(std::max(0.0, command.seconds) * 1e6);
        // 2^63: the first value a 64-bit count cannot hold.
        if (!(micros < 9223372036854775808.0))
            return std::nullopt;
        return QStringList{QStringLiteral("seek"), QString::number(qint64(micros))};
    }
    }
    return std::nullopt;
}

} // namespace tavrenhold
