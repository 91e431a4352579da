#include "X11PointerMonitor.h"

#include "NativeMapping.h"
#include "platform/PointerPacing.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xinput.h>

namespace tavrenhold::platform::x11 {

namespace {
constexpr uint32_t motionMask = XCB_INPUT_XI_EVENT_MASK_RAW_MOTION;
constexpr uint32_t buttonMask = XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE;
// A query this recent answers for now.
constexpr qint64 queryFreshMs = 2;
// Over our window, a move that came too soon after the last report waits this many frames for the
// next move to carry it before a timer reports it.
constexpr qint64 windowTrailFrames = 3;
} // namespace

X11PointerMonitor::X11PointerMonitor(std::shared_ptr<XcbConnection> connection, QObject *parent)
    : PointerMonitor(parent)
    , m_connection(std::move(connection))
{
    m_frame.setSingleShot(true);
    m_frame.setTimerType(Qt::PreciseTimer);
    connect(&m_frame, &QTimer::timeout, this, &X11PointerMonitor::report);
    m_rest.setSingleShot(true);
    connect(&m_rest, &QTimer::timeout, this, &X11PointerMonitor::wake);
}

namespace {
PointerState cursorPosition()
{
    return {qGuiApp ? QPointF(QCursor::pos()) : QPointF(), Qt::NoButton};
}
} // namespace

X11PointerMonitor::X11PointerMonitor(QObject *parent)
    : X11PointerMonitor(XcbConnection::appIsOnX11() ? XcbConnection::shared() : nullptr, parent)
{
}

X11PointerMonitor::~X11PointerMonitor()
{
    stop();
}

bool X11PointerMonitor::start()
{
    if (m_running)
        return true;
    if (!m_connection || !m_connection->isValid() || m_connection->xinputOpcode() < 0)
        return false;
    m_listener = m_connection->addListener([this](const xcb_generic_event_t *event) { onEvent(event); });
    select(motionMask | buttonMask, true);
    m_motionWatched = true;
    // Reports begin when start() returns, not whenever the server gets to the selection.
    m_connection->sync();
    m_running = true;
    m_last.reset();
    return true;
}

void X11PointerMonitor::stop()
{
    if (!m_running)
        return;
    m_running = false;
    m_inWindow = false;
    m_frame.stop();
    m_reportQueued = false;
    // Motion is off while resting (the selections are counted).
    select(m_motionWatched ? motionMask | buttonMask : buttonMask, false);
    m_motionWatched = false;
    m_rest.stop();
    m_connection->removeListener(m_listener);
    m_listener = 0;
}

void X11PointerMonitor::select(uint32_t mask, bool on)
{
    if (on)
        m_connection->selectXInputEvents(m_connection->root(), mask);
    else
        m_connection->deselectXInputEvents(m_connection->root(), mask);
}

void X11PointerMonitor::onEvent(const xcb_generic_event_t *event)
{
    if (!m_running || (event->response_type & 0x7f) != XCB_GE_GENERIC)
        return;
    const auto *generic = reinterpret_cast<const xcb_ge_generic_event_t *>(event);
    if (generic->extension != m_connection->xinputOpcode())
        return;
    switch (generic->event_type) {
    case XCB_INPUT_RAW_MOTION:
        // One sent before motion was switched off for a rest or for the window: the rest's end
        // looks anyway, and the window tells.
        if (m_rest.isActive() || m_inWindow)
            return;
        break;
    case XCB_INPUT_RAW_BUTTON_PRESS:
    case XCB_INPUT_RAW_BUTTON_RELEASE:
        // A button ends a rest: it is reported as soon as the frame allows.
        m_rest.stop();
        break;
    default:
        return;
    }
    queueReport();
}

void X11PointerMonitor::queueReport()
{
    // Events come in bursts; one query answers the whole burst, and at most one a frame.
    if (m_reportQueued)
        return;
    m_reportQueued = true;
    const qint64 frameMs = pointerpacing::frame.count();
    const qint64 since = m_sinceReport.isValid() ? m_sinceReport.elapsed() : frameMs;
    if (since >= frameMs)
        QMetaObject::invokeMethod(this, &X11PointerMonitor::report, Qt::QueuedConnection);
    else
        m_frame.start(int(frameMs - since));
}

void X11PointerMonitor::report()
{
    m_reportQueued = false;
    if (m_running)
        deliver(current());
}

void X11PointerMonitor::deliver(const PointerState &state)
{
    m_frame.stop();
    m_reportQueued = false;
    m_sinceReport.start();
    const bool moved = m_last != state;
    if (moved) {
        m_last = state;
        Q_EMIT changed(state);
    }
    if (!m_running || m_inWindow)
        return; // stopped by a receiver, or the window's events tell the next move
    if (!moved) {
        watchMotion(true);
        return;
    }
    // A pointer that moved is looked at again after a rest, with its motion events off meanwhile.
    watchMotion(false);
    m_rest.start(pointerpacing::rest(state, m_area));
}

void X11PointerMonitor::watchMotion(bool on)
{
    if (on == m_motionWatched)
        return;
    m_motionWatched = on;
    select(motionMask, on);
}

void X11PointerMonitor::wake()
{
    if (!m_running || m_inWindow)
        return;
    const PointerState seen = query();
    if (seen != m_last) {
        deliver(seen); // still moving: reported, and it rests again
        return;
    }
    // At rest: watched through motion events again, and looked at once more, so a move between the
    // first look and the selection is not missed.
    watchMotion(true);
    deliver(query());
}

PointerState X11PointerMonitor::current() const
{
    if (m_inWindow)
        return m_windowState;
    if (m_connection && m_connection->isValid() && m_sinceQuery.isValid() && m_sinceQuery.elapsed() < queryFreshMs)
        return m_queried;
    return query();
}

void X11PointerMonitor::setOwnWindow(QWindow *window)
{
    if (window == m_window)
        return;
    if (m_window)
        m_window->removeEventFilter(this);
    disconnect(m_windowGone);
    followWindow(false);
    m_window = window;
    if (!m_window)
        return;
    m_window->installEventFilter(this);
    m_windowGone = connect(m_window, &QObject::destroyed, this, [this] { followWindow(false); });
}

bool X11PointerMonitor::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window || !m_running)
        return false;
    switch (event->type()) {
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
        const auto *pointer = static_cast<const QSinglePointEvent *>(event);
        const QPointF position = pointer->globalPosition();
        // Only a hover over the window itself: with a button held the pointer may be grabbed and
        // leave the window (or be taken by a drag) unseen, which the display still tells.
        const bool hovering = pointer->buttons() == Qt::NoButton && m_window->isVisible()
                              && QRectF(m_window->geometry()).contains(position);
        if (hovering) {
            followWindow(true);
            windowMoved({position, Qt::NoButton});
        } else {
            followWindow(false);
        }
        break;
    }
    case QEvent::Leave:
    case QEvent::Hide:
        followWindow(false);
        break;
    default:
        break;
    }
    return false;
}

void X11PointerMonitor::windowMoved(const PointerState &state)
{
    // The window's events come at the display's motion rate, each with the program already awake:
    // one a frame is reported on the spot, and one too soon is left to the next move, so a moving
    // pointer costs no wakeup of our own. Only the last move of a burst waits for the timer.
    m_windowState = state;
    const qint64 frameMs = pointerpacing::frame.count();
    const qint64 since = m_sinceReport.isValid() ? m_sinceReport.elapsed() : frameMs;
    if (since >= frameMs) {
        deliver(state);
        return;
    }
    m_reportQueued = true;
    m_frame.start(int(windowTrailFrames * frameMs - since));
}

void X11PointerMonitor::followWindow(bool on)
{
    if (on == m_inWindow)
        return;
    m_inWindow = on;
    if (!m_running)
        return;
    if (on) {
        m_rest.stop();
        watchMotion(false);
        return;
    }
    // The display tells again: watched through motion events, and looked at within a frame (not
    // after the window's longer wait for a next move).
    m_rest.stop();
    m_frame.stop();
    m_reportQueued = false;
    watchMotion(true);
    m_sinceQuery.invalidate();
    queueReport();
}

PointerState X11PointerMonitor::query() const
{
    if (!m_connection || !m_connection->isValid())
        return cursorPosition();
    xcb_connection_t *c = m_connection->get();
    Reply<xcb_query_pointer_reply_t> reply(xcb_query_pointer_reply(c, xcb_query_pointer(c, m_connection->root()), nullptr));
    if (!reply)
        return cursorPosition();
    Qt::MouseButtons buttons;
    if (reply->mask & XCB_KEY_BUT_MASK_BUTTON_1)
        buttons |= Qt::LeftButton;
    if (reply->mask & XCB_KEY_BUT_MASK_BUTTON_2)
        buttons |= Qt::MiddleButton;
    if (reply->mask & XCB_KEY_BUT_MASK_BUTTON_3)
        buttons |= Qt::RightButton;
    const QPoint native(reply->root_x, reply->root_y);
    const QPointF position = qGuiApp ? NativeMapping::current().toLogical(native) : QPointF(native);
    m_queried = {position, buttons};
    m_sinceQuery.start();
    return m_queried;
}

} // namespace tavrenhold::platform::x11

namespace tavrenhold::platform {

std::unique_ptr<PointerMonitor> PointerMonitor::create(QObject *parent)
{
    return std::make_unique<x11::X11PointerMonitor>(parent);
}

} // namespace tavrenhold::platform
