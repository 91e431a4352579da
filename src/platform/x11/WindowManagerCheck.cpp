#include "WindowManagerCheck.h"

namespace tavrenhold::platform::x11 {

xcb_window_t readWindowProperty(XcbConnection &connection, xcb_window_t window, xcb_atom_t property)
{
    if (!connection.isValid() || window == XCB_WINDOW_NONE)
        return XCB_WINDOW_NONE;
    xcb_connection_t *c = connection.get();
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, XCB_ATOM_WINDOW, 0, 1), nullptr));
    if (!reply || reply->type != XCB_ATOM_WINDOW || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
        return XCB_WINDOW_NONE;
    return *static_cast<const xcb_window_t *>(xcb_get_property_value(reply.get()));
}

WindowManagerCheck::WindowManagerCheck(std::shared_ptr<XcbConnection> connection, QObject *parent)
    : QObject(parent)
    , m_connection(std::move(connection))
{
    if (!m_connection->isValid())
        return;
    m_checkAtom = m_connection->atom("_NET_SUPPORTING_WM_CHECK");
    m_listener = m_connection->addListener([this](const xcb_generic_event_t *event) { onEvent(event); });
    m_connection->selectEvents(m_connection->root(), XCB_EVENT_MASK_PROPERTY_CHANGE);
    recheck();
}

WindowManagerCheck::~WindowManagerCheck()
{
    if (!m_listener)
        return;
    m_connection->removeListener(m_listener);
    m_connection->deselectEvents(m_connection->root(), XCB_EVENT_MASK_PROPERTY_CHANGE);
    follow(XCB_WINDOW_NONE);
}

void WindowManagerCheck::follow(xcb_window_t window)
{
    if (window == m_followed)
        return;
    if (m_followed != XCB_WINDOW_NONE)
        m_connection->deselectEvents(m_followed, XCB_EVENT_MASK_STRUCTURE_NOTIFY);
    m_followed = window;
    if (m_followed != XCB_WINDOW_NONE)
        m_connection->selectEvents(m_followed, XCB_EVENT_MASK_STRUCTURE_NOTIFY);
}

void WindowManagerCheck::recheck()
{
    if (!m_connection->isValid())
        return;
    const xcb_window_t named = readWindowProperty(*m_connection, m_connection->root(), m_checkAtom);
    // Watch it for destruction before asking it, so a death in between is still seen.
    follow(named);
    const bool valid = named != XCB_WINDOW_NONE && readWindowProperty(*m_connection, named, m_checkAtom) == named;
    const xcb_window_t checkWindow = valid ? named : xcb_window_t(XCB_WINDOW_NONE);
    const bool was = isPresent();
    m_checkWindow = checkWindow;
    if (was != isPresent())
        Q_EMIT presenceChanged(isPresent());
}

void WindowManagerCheck::onEvent(const xcb_generic_event_t *event)
{
    switch (event->response_type & 0x7f) {
    case XCB_PROPERTY_NOTIFY: {
        const auto *e = reinterpret_cast<const xcb_property_notify_event_t *>(event);
        if (e->window == m_connection->root() && e->atom == m_checkAtom)
            recheck();
        break;
    }
    case XCB_DESTROY_NOTIFY: {
        const auto *e = reinterpret_cast<const xcb_destroy_notify_event_t *>(event);
        if (e->window == m_followed) {
            m_connection->forgetWindow(m_followed);
            m_followed = XCB_WINDOW_NONE;
            recheck();
        }
        break;
    }
    default:
        break;
    }
}

} // namespace tavrenhold::platform::x11
