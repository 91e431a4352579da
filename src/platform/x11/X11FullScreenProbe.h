#pragma once

#include "platform/FullScreenProbe.h"
#include "XcbConnection.h"

#include <memory>
#include <set>
#include <vector>

namespace tavrenhold::platform::x11 {

class WindowManagerCheck;

// Full screen by EWMH: the clients of _NET_CLIENT_LIST_STACKING with their _NET_WM_STATE
// (_NET_WM_STATE_FULLSCREEN, _NET_WM_STATE_HIDDEN), map state and geometry. Followed through
// property changes of the root (stacking, active window, desktop) and of every client (its state),
// the clients' structure changes, and the window manager coming or going.
class X11FullScreenProbe final : public FullScreenProbe {
    Q_OBJECT

public:
    explicit X11FullScreenProbe(QObject *parent = nullptr);
    X11FullScreenProbe(std::shared_ptr<XcbConnection> connection, QObject *parent);
    ~X11FullScreenProbe() override;

    bool start() override;
    void stop() override;
    void setScreen(const QRect &screen) override;
    bool isFullScreen() const override { return m_fullScreen; }

    // What the last decision looked at.
    [[nodiscard]] const FullScreenSnapshot &snapshot() const { return m_snapshot; }

private:
    void onEvent(const xcb_generic_event_t *event);
    void refreshSoon();
    void refresh();
    [[nodiscard]] std::vector<xcb_window_t> stackingOrder();
    void follow(const std::vector<xcb_window_t> &clients);
    [[nodiscard]] std::vector<ClientWindow> describe(const std::vector<xcb_window_t> &clients);

    std::shared_ptr<XcbConnection> m_connection;
    std::unique_ptr<WindowManagerCheck> m_windowManager;
    int m_listener = 0;
    bool m_running = false;
    bool m_refreshQueued = false;
    QRect m_screen;
    bool m_fullScreen = false;
    FullScreenSnapshot m_snapshot;
    std::set<xcb_window_t> m_followed;
    xcb_atom_t m_stackingAtom = XCB_ATOM_NONE;
    xcb_atom_t m_activeAtom = XCB_ATOM_NONE;
    xcb_atom_t m_desktopAtom = XCB_ATOM_NONE;
    xcb_atom_t m_stateAtom = XCB_ATOM_NONE;
    xcb_atom_t m_windowDesktopAtom = XCB_ATOM_NONE;
    xcb_atom_t m_fullScreenAtom = XCB_ATOM_NONE;
    xcb_atom_t m_hiddenAtom = XCB_ATOM_NONE;
};

} // namespace tavrenhold::platform::x11
