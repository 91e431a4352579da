#pragma once

#include "AdapterLineReader.h"
#include "AdapterLocation.h"
#include "AdapterPayload.h"
#include "design/Clock.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <optional>

class QProcess;

namespace tavrenhold {

// One run of the adapter's long-lived stream command. Made, started once, ended by the adapter's
// exit or by stop(); never reused. Lives on the main thread: the process is read from the event
// loop and both callbacks are called there.
class AdapterStream : public QObject {
    Q_OBJECT
public:
    using PayloadHandler = std::function<void(const AdapterPayload &)>;
    using ExitHandler = std::function<void()>;

    // The stream command's own arguments.
    static const QStringList streamCommand;
    // How long a stopped adapter has after SIGTERM before it gets SIGKILL.
    static constexpr Millis stopGrace{1500};

    // The clock gives "now" to time stamps that are no dates.
    explicit AdapterStream(const Clock &clock = Clock::system(), QObject *parent = nullptr);
    // Stops the run when it is still going.
    ~AdapterStream() override;

    // Launches `perl script framework stream …`. "data" lines' payloads go to onPayload in line order,
    // from the event loop and at most one per turn of it: of the lines that arrived since the last call
    // only the newest is delivered. onExit is called once when the adapter exits, for whatever reason,
    // after the newest payload of its last complete lines. False when the adapter could not be launched
    // (or this stream was started before); then neither callback is ever called.
    [[nodiscard]] bool start(const AdapterLocation &location, PayloadHandler onPayload, ExitHandler onExit);

    // Ends this run: no more payloads, no onExit, and the adapter gets SIGTERM, then SIGKILL after
    // stopGrace if it still runs. Nothing waits for it. Safe to call more than once, and after exit.
    void stop();

    [[nodiscard]] bool isRunning() const;

    // The decoder for stream lines and one-shot "get" output.
    [[nodiscard]] static AdapterDecoder makeDecoder(const Clock &clock = Clock::system());

    // Sends SIGTERM to this user's orphaned stream processes of the location (and the groups they
    // lead): those whose argument list is exactly perl, the script, the framework, then "stream" as
    // the command (its options after that may be anything), and whose launcher is gone. The stream of
    // a launcher that still runs (another copy of the program), one-shot runs, other frameworks and
    // other users' processes are left alone, as is this program. Reads /proc; blocks only while it does.
    static void reapOrphans(const AdapterLocation &location);

private:
    void readOutput();
    void deliver();
    void processExited();

    AdapterLineReader m_reader;
    QProcess *m_process = nullptr;
    PayloadHandler m_onPayload;
    ExitHandler m_onExit;
    std::optional<AdapterPayload> m_pending; // the newest payload not yet delivered
    bool m_deliveryQueued = false;
    bool m_started = false;
    bool m_stopped = false;
    bool m_exited = false;
};

} // namespace tavrenhold
