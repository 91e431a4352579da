#include "X11FullScreenProbe.h"

#include "NativeMapping.h"
#include "WindowManagerCheck.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <algorithm>

namespace tavrenhold::platform::x11 {

namespace {
constexpr uint32_t clientEvents = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
// More clients than anyone keeps open; the list is cut there.
constexpr uint32_t maxClients = 4096;
} // namespace

X11FullScreenProbe::X11FullScreenProbe(QObject *parent)
    : X11FullScreenProbe(XcbConnection::appIsOnX11() ? XcbConnection::shared() : nullptr, parent)
{
}

X11FullScreenProbe::X11FullScreenProbe(std::shared_ptr<XcbConnection> connection, QObject *parent)
    : FullScreenProbe(parent)
    , m_connection(std::move(connection))
{
}

X11FullScreenProbe::~X11FullScreenProbe()
{
    stop();
}

bool X11FullScreenProbe::start()
{
    if (m_running)
        return true;
    if (!m_connection || !m_connection->isValid())
        return false;
    m_connection->internAtoms({"_NET_CLIENT_LIST_STACKING", "_NET_ACTIVE_WINDOW", "_NET_CURRENT_DESKTOP",
                               "_NET_WM_STATE", "_NET_WM_DESKTOP", "_NET_WM_STATE_FULLSCREEN",
                               "_NET_WM_STATE_HIDDEN"});
    m_stackingAtom = m_connection->atom("_NET_CLIENT_LIST_STACKING");
    m_activeAtom = m_connection->atom("_NET_ACTIVE_WINDOW");
    m_desktopAtom = m_connection->atom("_NET_CURRENT_DESKTOP");
    m_stateAtom = m_connection->atom("_NET_WM_STATE");
    m_windowDesktopAtom = m_connection->atom("_NET_WM_DESKTOP");
    m_fullScreenAtom = m_connection->atom("_NET_WM_STATE_FULLSCREEN");
    m_hiddenAtom = m_connection->atom("_NET_WM_STATE_HIDDEN");

    m_running = true;
    m_listener = m_connection->addListener([this](const xcb_generic_event_t *event) { onEvent(event); });
    m_connection->selectEvents(m_connection->root(), XCB_EVENT_MASK_PROPERTY_CHANGE);
    m_windowManager = std::make_unique<WindowManagerCheck>(m_connection);
    connect(m_windowManager.get(), &WindowManagerCheck::presenceChanged, this, &X11FullScreenProbe::refreshSoon);
    refresh();
    return true;
}

void X11FullScreenProbe::stop()
{
    if (!m_running)
        return;
    m_running = false;
    m_connection->removeListener(m_listener);
    m_listener = 0;
    follow({});
    m_connection->deselectEvents(m_connection->root(), XCB_EVENT_MASK_PROPERTY_CHANGE);
    m_windowManager.reset();
}

void X11FullScreenProbe::setScreen(const QRect &screen)
{
    if (std::exchange(m_screen, screen) != screen && m_running)
        refresh();
}

void X11FullScreenProbe::onEvent(const xcb_generic_event_t *event)
{
    if (!m_running)
        return;
    switch (event->response_type & 0x7f) {
    case XCB_PROPERTY_NOTIFY: {
        const auto *e = reinterpret_cast<const xcb_property_notify_event_t *>(event);
        if (e->window == m_connection->root()) {
            if (e->atom == m_stackingAtom || e->atom == m_activeAtom || e->atom == m_desktopAtom)
                refreshSoon();
        } else if (m_followed.contains(e->window)) {
            if (e->atom == m_stateAtom || e->atom == m_windowDesktopAtom)
                refreshSoon();
        }
        break;
    }
    case XCB_CONFIGURE_NOTIFY: {
        const auto *e = reinterpret_cast<const xcb_configure_notify_event_t *>(event);
        if (e->event == e->window && m_followed.contains(e->window))
            refreshSoon();
        break;
    }
    case XCB_MAP_NOTIFY: {
        const auto *e = reinterpret_cast<const xcb_map_notify_event_t *>(event);
        if (e->event == e->window && m_followed.contains(e->window))
            refreshSoon();
        break;
    }
    case XCB_UNMAP_NOTIFY: {
        const auto *e = reinterpret_cast<const xcb_unmap_notify_event_t *>(event);
        if (e->event == e->window && m_followed.contains(e->window))
            refreshSoon();
        break;
    }
    case XCB_DESTROY_NOTIFY: {
        const auto *e = reinterpret_cast<const xcb_destroy_notify_event_t *>(event);
        if (e->event == e->window && m_followed.erase(e->window)) {
            m_connection->forgetWindow(e->window);
            refreshSoon();
        }
        break;
    }
    default:
        break;
    }
}

void X11FullScreenProbe::refreshSoon()
{
    // One reading per burst of notices (a state change and a restack come together).
    if (m_refreshQueued || !m_running)
        return;
    m_refreshQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_refreshQueued = false;
            if (m_running)
                refresh();
        },
        Qt::QueuedConnection);
}

void X11FullScreenProbe::refresh()
{
    FullScreenSnapshot snapshot;
    snapshot.screen = m_screen;
    snapshot.windowManager = m_connection->isValid() && m_windowManager && m_windowManager->isPresent();
    const std::vector<xcb_window_t> clients = snapshot.windowManager ? stackingOrder() : std::vector<xcb_window_t>{};
    follow(clients);
    snapshot.clients = describe(clients);
    m_snapshot = std::move(snapshot);

    const bool fullScreen = showsFullScreen(m_snapshot);
    if (std::exchange(m_fullScreen, fullScreen) != fullScreen)
        Q_EMIT fullScreenChanged(fullScreen);
}

std::vector<xcb_window_t> X11FullScreenProbe::stackingOrder()
{
    xcb_connection_t *c = m_connection->get();
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, m_connection->root(), m_stackingAtom, XCB_ATOM_WINDOW, 0, maxClients), nullptr));
    if (!reply || reply->type != XCB_ATOM_WINDOW || reply->format != 32)
        return {};
    const auto *windows = static_cast<const xcb_window_t *>(xcb_get_property_value(reply.get()));
    return {windows, windows + xcb_get_property_value_length(reply.get()) / 4};
}

void X11FullScreenProbe::follow(const std::vector<xcb_window_t> &clients)
{
    const std::set<xcb_window_t> wanted(clients.begin(), clients.end());
    for (auto it = m_followed.begin(); it != m_followed.end();) {
        if (!wanted.contains(*it)) {
            m_connection->deselectEvents(*it, clientEvents);
            it = m_followed.erase(it);
        } else {
            ++it;
        }
    }
    for (xcb_window_t window : wanted) {
        if (m_followed.insert(window).second)
            m_connection->selectEvents(window, clientEvents);
    }
}

std::vector<ClientWindow> X11FullScreenProbe::describe(const std::vector<xcb_window_t> &clients)
{
    xcb_connection_t *c = m_connection->get();
    struct Cookies {
        xcb_get_property_cookie_t state;
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_geometry_cookie_t geometry;
        xcb_translate_coordinates_cookie_t origin;
    };
    // All questions first, then all answers: one round trip for the whole list.
    std::vector<Cookies> cookies;
    cookies.reserve(clients.size());
    for (xcb_window_t window : clients) {
        cookies.push_back({xcb_get_property(c, 0, window, m_stateAtom, XCB_ATOM_ATOM, 0, 64),
                           xcb_get_window_attributes(c, window), xcb_get_geometry(c, window),
                           xcb_translate_coordinates(c, window, m_connection->root(), 0, 0)});
    }
    const NativeMapping mapping = qGuiApp ? NativeMapping::current() : NativeMapping();
    std::vector<ClientWindow> described;
    described.reserve(clients.size());
    for (const Cookies &cookie : cookies) {
        Reply<xcb_get_property_reply_t> state(xcb_get_property_reply(c, cookie.state, nullptr));
        Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(c, cookie.attributes, nullptr));
        Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, cookie.geometry, nullptr));
        Reply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(c, cookie.origin, nullptr));
        if (!attributes || !geometry || !origin)
            continue; // gone meanwhile
        ClientWindow client;
        client.viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        client.frame = mapping.toLogical(QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height)).toRect();
        if (state && state->type == XCB_ATOM_ATOM && state->format == 32) {
            const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(state.get()));
            const int count = xcb_get_property_value_length(state.get()) / 4;
            client.fullScreen = std::find(atoms, atoms + count, m_fullScreenAtom) != atoms + count;
            client.hidden = std::find(atoms, atoms + count, m_hiddenAtom) != atoms + count;
        }
        described.push_back(client);
    }
    return described;
}

} // namespace tavrenhold::platform::x11

namespace tavrenhold::platform {

std::unique_ptr<FullScreenProbe> FullScreenProbe::create(QObject *parent)
{
    return std::make_unique<x11::X11FullScreenProbe>(parent);
}

} // namespace tavrenhold::platform
