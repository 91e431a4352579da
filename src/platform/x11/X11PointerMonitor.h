#pragma once

#include "platform/PointerMonitor.h"
#include "XcbConnection.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include <memory>
#include <optional>

namespace tavrenhold::platform::x11 {

// Follows the pointer through XInput2 raw motion and button events selected on the root window:
// they arrive whatever window is under the pointer and during other programs' pointer grabs. Raw
// events carry no position: it comes from a pointer query. After each report of a move, motion
// events are switched off for a rest (one frame near the attention area, longer far from it, see
// PointerPacing) and the pointer is queried once at its end: a pointer still moving is reported and
// rests again, one that stopped is watched through motion events again. So a moving pointer costs
// one query a frame at most, and a few a second far away, however many events its device sends.
// Button events stay selected: one ends a rest at once. Pointer warps make no raw events.
// While the pointer hovers over our own window (setOwnWindow) with no button held, the window's
// motion events carry the position: raw motion is off and nothing is queried until it leaves.
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
    void setAttentionArea(const QRectF &area) override { m_area = area; }
    void setOwnWindow(QWindow *window) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onEvent(const xcb_generic_event_t *event);
    void queueReport();
    void windowMoved(const PointerState &state);
    // Positions come from the window's events (true) or from the display again (false).
    void followWindow(bool on);
    void report();
    void deliver(const PointerState &state);
    void select(uint32_t mask, bool on);
    void watchMotion(bool on);
    void wake();
    PointerState query() const;

    std::shared_ptr<XcbConnection> m_connection;
    int m_listener = 0;
    bool m_running = false;
    bool m_reportQueued = false;
    bool m_motionWatched = false;
    std::optional<PointerState> m_last;
    QRectF m_area;
    QTimer m_frame;
    QTimer m_rest;
    QElapsedTimer m_sinceReport;
    QPointer<QWindow> m_window;
    QMetaObject::Connection m_windowGone;
    bool m_inWindow = false;
    PointerState m_windowState; // the last the window's events told, while m_inWindow
    // The last answer of the display and when it came: a query within the same moment (the
    // controller asks right after a report) is answered from it.
    mutable PointerState m_queried;
    mutable QElapsedTimer m_sinceQuery;
};

} // namespace tavrenhold::platform::x11
