#include "WindowTitle.h"

#include <QGuiApplication>
#include <QWindow>

#if QT_CONFIG(xcb)
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#endif

namespace tavrenhold::platform {

#if QT_CONFIG(xcb)
namespace {
xcb_atom_t internAtom(xcb_connection_t *c, const char *name)
{
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

void setText(xcb_connection_t *c, xcb_window_t window, xcb_atom_t property, xcb_atom_t type, const QByteArray &text)
{
    if (property != XCB_ATOM_NONE && type != XCB_ATOM_NONE)
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, property, type, 8, uint32_t(text.size()), text.constData());
}
} // namespace
#endif

void showPlainTitle(QWindow &window)
{
#if QT_CONFIG(xcb)
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *c = x11 ? x11->connection() : nullptr;
    if (!c)
        return;
    const auto id = xcb_window_t(window.winId());
    const QString title = window.title();
    const xcb_atom_t utf8 = internAtom(c, "UTF8_STRING");
    setText(c, id, internAtom(c, "_NET_WM_NAME"), utf8, title.toUtf8());
    // WM_NAME is Latin-1 text (STRING) when the title fits it; otherwise UTF-8, as other programs do.
    const bool latin1 = std::all_of(title.cbegin(), title.cend(), [](QChar ch) { return ch.unicode() < 0x100; });
    if (latin1)
        setText(c, id, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, title.toLatin1());
    else
        setText(c, id, XCB_ATOM_WM_NAME, utf8, title.toUtf8());
    xcb_flush(c);
#else
    Q_UNUSED(window);
#endif
}

} // namespace tavrenhold::platform
