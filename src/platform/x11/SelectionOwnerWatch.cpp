#include "SelectionOwnerWatch.h"

#include <xcb/xfixes.h>

namespace tavrenhold::platform::x11 {

namespace {
constexpr uint32_t ownerEvents = XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER
    | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE;
}

SelectionOwnerWatch::SelectionOwnerWatch(std::shared_ptr<XcbConnection> connection, xcb_atom_t selection,
                                         QObject *parent)
    : QObject(parent)
    , m_connection(std::move(connection))
    , m_selection(selection)
{
    if (!m_connection->isValid() || selection == XCB_ATOM_NONE)
        return;
    m_firstEvent = m_connection->xfixesFirstEvent();
    if (m_firstEvent < 0)
        return;
    m_window = m_connection->createHelperWindow(XCB_EVENT_MASK_PROPERTY_CHANGE);
    m_listener = m_connection->addListener([this](const xcb_generic_event_t *event) { onEvent(event); });
    xcb_connection_t *c = m_connection->get();
    // Select first, then read: a change in between is seen as an event.
    xcb_xfixes_select_selection_input(c, m_window, m_selection, ownerEvents);
    Reply<xcb_get_selection_owner_reply_t> reply(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, m_selection), nullptr));
    m_owner = reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
}

SelectionOwnerWatch::~SelectionOwnerWatch()
{
    if (m_listener)
        m_connection->removeListener(m_listener);
    if (m_window != XCB_WINDOW_NONE && m_connection->isValid()) {
        xcb_xfixes_select_selection_input(m_connection->get(), m_window, m_selection, 0);
        m_connection->destroyWindow(m_window);
    }
}

void SelectionOwnerWatch::onEvent(const xcb_generic_event_t *event)
{
    if ((event->response_type & 0x7f) != m_firstEvent + XCB_XFIXES_SELECTION_NOTIFY)
        return;
    const auto *notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t *>(event);
    if (notify->window != m_window || notify->selection != m_selection)
        return;
    m_owner = notify->subtype == XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER ? notify->owner : xcb_window_t(XCB_WINDOW_NONE);
    Q_EMIT ownerChanged(m_owner, notify->selection_timestamp);
}

} // namespace tavrenhold::platform::x11
