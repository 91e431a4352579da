#include "X11PointerMonitor.h"

#include "NativeMapping.h"

#include <QCursor>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xinput.h>

namespace tavrenhold::platform::x11 {

X11PointerMonitor::X11PointerMonitor(std::shared_ptr<XcbConnection> connection, QObject *parent)
    : PointerMonitor(parent)
    , m_connection(std::move(connection))
{
}

namespace {
bool onX11()
{
    return qGuiApp && qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
}

PointerState cursorPosition()
{
    return {qGuiApp ? QPointF(QCursor::pos()) : QPointF(), Qt::NoButton};
}
} // namespace

X11PointerMonitor::X11PointerMonitor(QObject *parent)
    : X11PointerMonitor(onX11() ? XcbConnection::shared() : nullptr, parent)
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
    selectRaw(true);
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
    selectRaw(false);
    m_connection->removeListener(m_listener);
    m_listener = 0;
}

void X11PointerMonitor::selectRaw(bool on)
{
    constexpr uint32_t raw = XCB_INPUT_XI_EVENT_MASK_RAW_MOTION | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS
        | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE;
    if (on)
        m_connection->selectXInputEvents(m_connection->root(), raw);
    else
        m_connection->deselectXInputEvents(m_connection->root(), raw);
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
    case XCB_INPUT_RAW_BUTTON_PRESS:
    case XCB_INPUT_RAW_BUTTON_RELEASE:
        break;
    default:
        return;
    }
    // Events come in bursts; one query answers the whole burst.
    if (m_reportQueued)
        return;
    m_reportQueued = true;
    QMetaObject::invokeMethod(this, &X11PointerMonitor::report, Qt::QueuedConnection);
}

void X11PointerMonitor::report()
{
    m_reportQueued = false;
    if (!m_running)
        return;
    const PointerState state = current();
    if (m_last == state)
        return;
    m_last = state;
    Q_EMIT changed(state);
}

PointerState X11PointerMonitor::current() const
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
    return {position, buttons};
}

} // namespace tavrenhold::platform::x11

namespace tavrenhold::platform {

std::unique_ptr<PointerMonitor> PointerMonitor::create(QObject *parent)
{
    return std::make_unique<x11::X11PointerMonitor>(parent);
}

} // namespace tavrenhold::platform
