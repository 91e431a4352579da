#include "X11DirectSave.h"
#include "XcbConnection.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <cstring>

namespace tavrenhold::platform::x11 {

namespace {
// A suggested name longer than this is not a name.
constexpr uint32_t maxNameBytes = 4096;
} // namespace

X11DirectSave::X11DirectSave(xcb_connection_t *connection) : m_connection(connection) {}

xcb_atom_t X11DirectSave::atom(const char *name) const
{
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(m_connection, xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_window_t X11DirectSave::source() const
{
    const xcb_atom_t selection = atom("XdndSelection");
    if (selection == XCB_ATOM_NONE)
        return XCB_WINDOW_NONE;
    Reply<xcb_get_selection_owner_reply_t> reply(
        xcb_get_selection_owner_reply(m_connection, xcb_get_selection_owner(m_connection, selection), nullptr));
    return reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
}

std::optional<QByteArray> X11DirectSave::suggestedName()
{
    const xcb_window_t window = source();
    const xcb_atom_t property = atom("XdndDirectSave0");
    if (window == XCB_WINDOW_NONE || property == XCB_ATOM_NONE)
        return std::nullopt;
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, maxNameBytes / 4),
        nullptr));
    if (!reply || reply->format != 8 || reply->type == XCB_ATOM_NONE)
        return std::nullopt;
    return QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

bool X11DirectSave::setTarget(const QByteArray &uri)
{
    const xcb_window_t window = source();
    const xcb_atom_t property = atom("XdndDirectSave0");
    const xcb_atom_t textPlain = atom("text/plain");
    if (window == XCB_WINDOW_NONE || property == XCB_ATOM_NONE || textPlain == XCB_ATOM_NONE)
        return false;
    const xcb_void_cookie_t written = xcb_change_property_checked(m_connection, XCB_PROP_MODE_REPLACE, window, property,
                                                                 textPlain, 8, uint32_t(uri.size()), uri.constData());
    // The checked request's answer is the round trip: the property is there (or the window is gone).
    xcb_generic_error_t *error = xcb_request_check(m_connection, written);
    const bool ok = error == nullptr;
    std::free(error);
    return ok;
}

} // namespace tavrenhold::platform::x11

namespace tavrenhold::platform {

std::unique_ptr<DirectSave> DirectSave::create()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return nullptr;
    return std::make_unique<x11::X11DirectSave>(connection);
}

} // namespace tavrenhold::platform
