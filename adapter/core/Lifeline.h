#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QObject>

class QSocketNotifier;

namespace tavrenhold::adapter {

// The script puts the process id of the program that started it here, so the helper can tell that
// this program died before the helper could watch for it. Read once and removed from the environment.
inline constexpr auto kParentVariable = "MEDIAREMOTE_ADAPTER_PARENT";

// Makes the parent's death send SIGTERM (PR_SET_PDEATHSIG). Call first thing in main(). False when
// the parent is gone already: no signal would ever come then.
[[nodiscard]] bool tieToParent();

// Ties the helper's life to its signals:
//  - SIGTERM, SIGINT and SIGHUP end the event loop with status 128+N;
//  - SIGPIPE is ignored, so a closed standard output shows as a failed write (see writeOut()).
class Lifeline : public QObject {
    Q_OBJECT
public:
    explicit Lifeline(QObject *parent = nullptr);
    ~Lifeline() override;

    // Also ends the event loop with `status` when `bus` goes (the connection's own Disconnected
    // signal, so nothing wakes while it stays), or on the next turn when it is gone already.
    void endWithBus(const QDBusConnection &bus, int status);

private Q_SLOTS:
    void onBusLost();

private:
    void onSignal();

    QSocketNotifier *m_notifier = nullptr;
    int m_busStatus = 0;
};

// Writes all of `bytes` to standard output; false when it is closed or broken.
[[nodiscard]] bool writeOut(const QByteArray &bytes);

// The status a helper ends with when standard output closed under it.
inline constexpr int kExitOutputClosed = 128 + 13;

} // namespace tavrenhold::adapter
