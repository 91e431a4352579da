#pragma once

// A private session bus for one test, and the script host and runner that talk to it over a
// connection of their own, with time-outs on a manual clock.
#include "fakes/FakeScriptHost.h"
#include "fakes/ManualClock.h"
#include "nowplaying/AppleEventRunner.h"
#include "platform/MprisScriptHost.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <memory>
#include <optional>

namespace tavrenhold::test {

inline void stopProcess(QProcess &p)
{
    if (p.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(p.processId()), SIGCONT);
    p.terminate();
    if (!p.waitForFinished(3000)) {
        p.kill();
        p.waitForFinished(3000);
    }
}

class PrivateBus {
public:
    ~PrivateBus() { stop(); }

    // Starts the bus daemon and connects to it under a name of this test's own.
    bool start(const QString &connectionName)
    {
        m_name = connectionName;
        m_daemon.setStandardErrorFile(QProcess::nullDevice());
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted(5000) || !QTest::qWaitFor([&] { return m_daemon.canReadLine(); }, 5000))
            return false;
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        return !m_address.isEmpty() && QDBusConnection::connectToBus(m_address, m_name).isConnected();
    }
    void stop()
    {
        if (!m_name.isEmpty())
            QDBusConnection::disconnectFromBus(m_name);
        m_name.clear();
        stopProcess(m_daemon);
    }

    [[nodiscard]] QString address() const { return m_address; }
    [[nodiscard]] QDBusConnection connection() const { return QDBusConnection(m_name); }
    [[nodiscard]] bool hasName(const QString &name) const
    {
        return connection().interface()->isServiceRegistered(name).value();
    }

private:
    QProcess m_daemon;
    QString m_address;
    QString m_name;
};

// A script under way; out holds its result once it has finished.
struct PendingScript {
    std::optional<AppleEventResult<QString>> out;
};

inline QCoro::Task<> storeInto(QCoro::Task<AppleEventResult<QString>> task, std::shared_ptr<PendingScript> pending)
{
    pending->out.emplace(co_await task);
}

// Starts a script through the runner; the result arrives in the returned record.
inline std::shared_ptr<PendingScript> startScript(AppleEventRunner &runner, const QString &text, bool reuse = true)
{
    auto pending = std::make_shared<PendingScript>();
    storeInto(runner.runText(text, reuse), pending);
    return pending;
}

// Runs a script to the end, processing events meanwhile; nothing when it did not finish in time.
inline std::optional<AppleEventResult<QString>> runToEnd(AppleEventRunner &runner, const QString &text, bool reuse = true,
                                                         int timeoutMs = 5000)
{
    const auto pending = startScript(runner, text, reuse);
    if (!QTest::qWaitFor([&] { return pending->out.has_value(); }, timeoutMs))
        return std::nullopt;
    return pending->out;
}

} // namespace tavrenhold::test
