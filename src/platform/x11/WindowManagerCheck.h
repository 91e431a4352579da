#pragma once

#include "XcbConnection.h"

#include <QObject>

#include <memory>

namespace tavrenhold::platform::x11 {

// Follows whether an EWMH window manager runs. One counts only while the root's
// _NET_SUPPORTING_WM_CHECK names a window that exists and names itself in the same property: a
// window manager that died leaves the root's properties behind.
class WindowManagerCheck : public QObject {
    Q_OBJECT

public:
    explicit WindowManagerCheck(std::shared_ptr<XcbConnection> connection, QObject *parent = nullptr);
    ~WindowManagerCheck() override;

    [[nodiscard]] bool isPresent() const { return m_checkWindow != XCB_WINDOW_NONE; }
    // Reads the properties again; follows by itself otherwise.
    void recheck();

Q_SIGNALS:
    void presenceChanged(bool present);

private:
    void onEvent(const xcb_generic_event_t *event);
    void follow(xcb_window_t window);

    std::shared_ptr<XcbConnection> m_connection;
    int m_listener = 0;
    xcb_atom_t m_checkAtom = XCB_ATOM_NONE;
    xcb_window_t m_checkWindow = XCB_WINDOW_NONE; // valid check window
    xcb_window_t m_followed = XCB_WINDOW_NONE;    // the one we watch for destruction
};

// The window a window property names (type WINDOW, one value), if any.
[[nodiscard]] xcb_window_t readWindowProperty(XcbConnection &connection, xcb_window_t window, xcb_atom_t property);

} // namespace tavrenhold::platform::x11
