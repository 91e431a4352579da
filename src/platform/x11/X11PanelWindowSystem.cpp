#include "X11PanelWindowSystem.h"

#include "WindowManagerCheck.h"
#include "platform/Compositor.h"

#include <QColor>
#include <QGuiApplication>
#include <QPlatformSurfaceEvent>
#include <QSurfaceFormat>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/shape.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace tavrenhold::platform::x11 {

namespace {
xcb_connection_t *qtConnection()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

std::optional<xcb_rectangle_t> nativeRect(const QRectF &r, qreal ratio)
{
    const double values[] = {r.left() * ratio, r.top() * ratio, r.right() * ratio, r.bottom() * ratio};
    for (double v : values) {
        if (!std::isfinite(v))
            return std::nullopt;
    }
    constexpr double lo = std::numeric_limits<int16_t>::min();
    constexpr double hi = std::numeric_limits<int16_t>::max();
    const double left = std::clamp(std::floor(values[0]), lo, hi);
    const double top = std::clamp(std::floor(values[1]), lo, hi);
    const double right = std::clamp(std::ceil(values[2]), lo, hi);
    const double bottom = std::clamp(std::ceil(values[3]), lo, hi);
    if (right <= left || bottom <= top)
        return std::nullopt;
    return xcb_rectangle_t{int16_t(left), int16_t(top), uint16_t(right - left), uint16_t(bottom - top)};
}

constexpr int maxRaisesPerSecond = 20;
} // namespace

X11PanelWindowSystem::X11PanelWindowSystem(QObject *parent)
    : X11PanelWindowSystem(qtConnection() ? XcbConnection::shared() : nullptr,
                           qtConnection() ? &Compositor::shared() : nullptr, parent)
{
}

X11PanelWindowSystem::X11PanelWindowSystem(std::shared_ptr<XcbConnection> connection, Compositor *compositor,
                                           QObject *parent)
    : PanelWindowSystem(parent)
    , m_qt(qtConnection())
    , m_connection(std::move(connection))
    , m_compositor(compositor)
{
    if (m_compositor) {
        connect(m_compositor, &Compositor::compositedChanged, this, [this] {
            for (const auto &entry : m_panels)
                applyOutline(entry.second);
            Q_EMIT compositingChanged(compositing());
        });
    }
    if (!m_qt || !m_connection || !m_connection->isValid())
        return;
    m_windowManager = std::make_unique<WindowManagerCheck>(m_connection);
    connect(m_windowManager.get(), &WindowManagerCheck::presenceChanged, this, &X11PanelWindowSystem::checkStacking);
    m_listener = m_connection->addListener([this](const xcb_generic_event_t *event) { onEvent(event); });
    m_connection->selectEvents(m_connection->root(), XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY);
    m_connection->sync();
}

X11PanelWindowSystem::~X11PanelWindowSystem()
{
    for (auto &entry : m_panels) {
        if (entry.second.window)
            entry.second.window->removeEventFilter(this);
    }
    if (m_listener) {
        m_connection->removeListener(m_listener);
        m_connection->deselectEvents(m_connection->root(), XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY);
    }
}

X11PanelWindowSystem::Panel &X11PanelWindowSystem::panel(QWindow *window)
{
    auto it = m_panels.find(window);
    if (it != m_panels.end())
        return it->second;
    Panel &made = m_panels[window];
    made.window = window;
    window->installEventFilter(this);
    connect(window, &QObject::destroyed, this, [this, window] { m_panels.erase(window); });
    // A screen of another scale needs the native rectangles computed again.
    connect(window, &QWindow::screenChanged, this, [this, window] {
        if (auto found = m_panels.find(window); found != m_panels.end())
            applyInputShape(found->second);
    });
    return made;
}

bool X11PanelWindowSystem::prepare(QWindow *window)
{
    if (!window || window->handle())
        return false;
    // Override-redirect: no frame, no place in the window manager's lists or desktops, so it shows
    // on every desktop and stays where it is put.
    window->setFlags(window->flags() | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                     | Qt::X11BypassWindowManagerHint);
    // An alpha channel before the window exists gives it a 32-bit visual; a Qt Quick window also
    // needs its clear colour transparent by then.
    QSurfaceFormat format = window->format();
    if (format.alphaBufferSize() < 8)
        format.setAlphaBufferSize(8);
    window->setFormat(format);
    if (window->metaObject()->indexOfProperty("color") >= 0)
        window->setProperty("color", QColor(Qt::transparent));
    panel(window);
    return true;
}

bool X11PanelWindowSystem::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::PlatformSurface
        && static_cast<QPlatformSurfaceEvent *>(event)->surfaceEventType() == QPlatformSurfaceEvent::SurfaceCreated) {
        // A new native window starts without an input shape.
        if (auto it = m_panels.find(static_cast<QWindow *>(watched)); it != m_panels.end())
            applyInputShape(it->second);
    }
    return PanelWindowSystem::eventFilter(watched, event);
}

void X11PanelWindowSystem::setInputShape(QWindow *window, const QList<QRectF> &rects)
{
    if (!window)
        return;
    Panel &p = panel(window);
    p.inputShapeSet = true;
    p.inputRects = rects;
    applyInputShape(p);
}

void X11PanelWindowSystem::applyInputShape(const Panel &p) const
{
    if (!m_qt || !p.inputShapeSet || !p.window || !p.window->handle())
        return;
    const std::vector<xcb_rectangle_t> rects = nativeRects(p.inputRects, p.window->devicePixelRatio());
    const auto window = xcb_window_t(p.window->winId());
    xcb_discard_reply(m_qt, xcb_shape_rectangles_checked(m_qt, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT,
                                                         XCB_CLIP_ORDERING_UNSORTED, window, 0, 0,
                                                         uint32_t(rects.size()), rects.data())
                                .sequence);
    xcb_flush(m_qt);
}

std::vector<xcb_rectangle_t> X11PanelWindowSystem::nativeRects(const QList<QRectF> &rects, qreal ratio)
{
    std::vector<xcb_rectangle_t> native;
    native.reserve(rects.size());
    for (const QRectF &r : rects) {
        if (auto converted = nativeRect(r, ratio))
            native.push_back(*converted);
    }
    return native;
}

void X11PanelWindowSystem::setOutline(QWindow *window, const QRegion &outline)
{
    if (!window)
        return;
    Panel &p = panel(window);
    p.outline = outline;
    applyOutline(p);
}

void X11PanelWindowSystem::applyOutline(const Panel &p) const
{
    if (!p.window)
        return;
    const QRegion wanted = compositing() ? QRegion() : p.outline;
    if (p.window->mask() != wanted)
        p.window->setMask(wanted);
}

bool X11PanelWindowSystem::compositing() const
{
    return m_compositor && m_compositor->composited();
}

void X11PanelWindowSystem::raise(QWindow *window)
{
    if (window && window->handle())
        restack(xcb_window_t(window->winId()));
}

void X11PanelWindowSystem::restack(xcb_window_t window)
{
    if (!m_qt)
        return;
    const uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_discard_reply(m_qt, xcb_configure_window_checked(m_qt, window, XCB_CONFIG_WINDOW_STACK_MODE, &above).sequence);
    xcb_flush(m_qt);
}

void X11PanelWindowSystem::onEvent(const xcb_generic_event_t *event)
{
    xcb_window_t parent = XCB_WINDOW_NONE;
    xcb_window_t subject = XCB_WINDOW_NONE;
    switch (event->response_type & 0x7f) {
    case XCB_MAP_NOTIFY: {
        const auto *e = reinterpret_cast<const xcb_map_notify_event_t *>(event);
        parent = e->event;
        subject = e->window;
        break;
    }
    case XCB_CONFIGURE_NOTIFY: {
        const auto *e = reinterpret_cast<const xcb_configure_notify_event_t *>(event);
        parent = e->event;
        subject = e->window;
        break;
    }
    default:
        return;
    }
    if (parent != m_connection->root() || m_stackingCheckQueued)
        return;
    for (const auto &entry : m_panels) {
        if (entry.second.window && entry.second.window->handle() && xcb_window_t(entry.second.window->winId()) == subject)
            return; // our own moves and raises
    }
    // One look at the stacking order per burst of changes.
    m_stackingCheckQueued = true;
    QMetaObject::invokeMethod(this, &X11PanelWindowSystem::checkStacking, Qt::QueuedConnection);
}

void X11PanelWindowSystem::checkStacking()
{
    m_stackingCheckQueued = false;
    // A window manager keeps override-redirect windows above its clients by itself.
    if (!m_connection || !m_connection->isValid() || !m_windowManager || m_windowManager->isPresent())
        return;
    std::vector<xcb_window_t> ours;
    for (const auto &entry : m_panels) {
        const QWindow *w = entry.second.window;
        if (w && w->handle() && w->isVisible())
            ours.push_back(xcb_window_t(w->winId()));
    }
    if (ours.empty())
        return;
    xcb_connection_t *c = m_connection->get();
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, m_connection->root()), nullptr));
    if (!tree)
        return;
    const xcb_window_t *children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    // Children come bottom to top: ours must have only ours above them.
    const auto isOurs = [&](xcb_window_t w) { return std::find(ours.begin(), ours.end(), w) != ours.end(); };
    int firstForeignAbove = -1;
    for (int i = count - 1; i >= 0; --i) {
        if (!isOurs(children[i])) {
            firstForeignAbove = i;
            break;
        }
    }
    for (xcb_window_t window : ours) {
        const int index = int(std::find(children, children + count, window) - children);
        if (index >= count || index > firstForeignAbove)
            continue;
        // Another client that raises itself whenever we do would make this a loop: a bounded
        // number of raises per second.
        if (!m_raiseWindow.isValid() || m_raiseWindow.elapsed() > 1000) {
            m_raiseWindow.start();
            m_raisesInWindow = 0;
        }
        if (++m_raisesInWindow > maxRaisesPerSecond)
            return;
        restack(window);
    }
}

xcb_window_t X11PanelWindowSystem::focusNow() const
{
    if (!m_qt)
        return XCB_WINDOW_NONE;
    Reply<xcb_get_input_focus_reply_t> reply(xcb_get_input_focus_reply(m_qt, xcb_get_input_focus(m_qt), nullptr));
    return reply ? reply->focus : xcb_window_t(XCB_WINDOW_NONE);
}

void X11PanelWindowSystem::takeFocus(QWindow *window)
{
    if (!m_qt || !window || !window->handle())
        return;
    Panel &p = panel(window);
    const auto ours = xcb_window_t(window->winId());
    const xcb_window_t focus = focusNow();
    if (focus != ours)
        p.previousFocus = focus;
    xcb_discard_reply(m_qt, xcb_set_input_focus_checked(m_qt, XCB_INPUT_FOCUS_POINTER_ROOT, ours, XCB_CURRENT_TIME).sequence);
    xcb_flush(m_qt);
}

void X11PanelWindowSystem::releaseFocus(QWindow *window)
{
    if (!m_qt || !window)
        return;
    Panel &p = panel(window);
    xcb_window_t target = std::exchange(p.previousFocus, XCB_WINDOW_NONE);
    // Someone else took the keyboard meanwhile: leave it there.
    if (!window->handle() || focusNow() != xcb_window_t(window->winId()))
        return;
    if (target != XCB_WINDOW_NONE && target != XCB_INPUT_FOCUS_POINTER_ROOT) {
        Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(m_qt, xcb_get_window_attributes(m_qt, target), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            target = XCB_WINDOW_NONE;
    }
    // Nobody to give it back to: the keyboard follows the pointer.
    if (target == XCB_WINDOW_NONE)
        target = XCB_INPUT_FOCUS_POINTER_ROOT;
    xcb_discard_reply(m_qt, xcb_set_input_focus_checked(m_qt, XCB_INPUT_FOCUS_POINTER_ROOT, target, XCB_CURRENT_TIME).sequence);
    xcb_flush(m_qt);
}

bool X11PanelWindowSystem::hasFocus(QWindow *window) const
{
    return window && window->handle() && m_qt && focusNow() == xcb_window_t(window->winId());
}

} // namespace tavrenhold::platform::x11

namespace tavrenhold::platform {

std::unique_ptr<PanelWindowSystem> PanelWindowSystem::create(QObject *parent)
{
    return std::make_unique<x11::X11PanelWindowSystem>(parent);
}

} // namespace tavrenhold::platform
