#pragma once

#include "platform/PointerMonitor.h"
#include "XcbConnection.h"

#include <memory>
#include <optional>

namespace tavrenhold::platform::x11 {

// Follows the pointer through XInput2 raw motion and button events selected on the root window:
// they arrive whatever window is under the pointer and during other programs' pointer grabs. The
// position and buttons come from one pointer query after each burst of events. Pointer warps make
// no raw events and are not seen.
class X11PointerMonitor final : public PointerMonitor {
    Q_OBJECT

public:
    explicit X11PointerMonitor(std::shared_ptr<XcbConnection> connection, QObject *parent = nullptr);
    explicit X11PointerMonitor(QObject *parent = nullptr);
    ~X11PointerMonitor() override;

    bool start() override;
    void stop() override;
    bool isRunning() const override { return m_running; }
    PointerState current() const override;

private:
    void onEvent(const xcb_generic_event_t *event);
    void report();
    void selectRaw(bool on);

    std::shared_ptr<XcbConnection> m_connection;
    int m_listener = 0;
    bool m_running = false;
    bool m_reportQueued = false;
    std::optional<PointerState> m_last;
};

} // namespace tavrenhold::platform::x11
