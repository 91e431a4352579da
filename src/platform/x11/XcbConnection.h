#pragma once

#include <QByteArray>
#include <QObject>

#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class QSocketNotifier;

namespace tavrenhold::platform::x11 {

// Frees an xcb reply when it goes out of scope.
struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// Our own connection to the X server, beside Qt's, for what Qt does not hand out: XInput2 raw
// events on the root window, selection-owner changes, property and structure changes of other
// clients' windows. Read on the main thread through a socket notifier, so nothing runs while the
// server sends nothing. Replies read on the main thread can queue events; those are handed out
// right after (a posted call) and before the event loop next sleeps.
class XcbConnection : public QObject {
    Q_OBJECT

public:
    // Connects to `displayName`, or to $DISPLAY when empty.
    explicit XcbConnection(const QByteArray &displayName = {});
    ~XcbConnection() override;
    XcbConnection(const XcbConnection &) = delete;
    XcbConnection &operator=(const XcbConnection &) = delete;

    // The process's connection to $DISPLAY, opened on first use and kept while anyone holds it.
    // Never null; check isValid().
    [[nodiscard]] static std::shared_ptr<XcbConnection> shared();
    // Whether the application runs on Qt's X11 platform (not offscreen or another one).
    [[nodiscard]] static bool appIsOnX11();

    [[nodiscard]] bool isValid() const;
    // The raw connection. Whoever takes it may read replies, which can pull events into xcb's queue
    // where the socket notifier no longer sees them: those are handed out from a posted call.
    [[nodiscard]] xcb_connection_t *get() const;
    [[nodiscard]] int screenNumber() const { return m_screenNumber; }
    [[nodiscard]] xcb_screen_t *screen() const { return m_screen; }
    [[nodiscard]] xcb_window_t root() const { return m_screen ? m_screen->root : xcb_window_t(XCB_WINDOW_NONE); }

    // The atom for `name`, interned on first use and cached.
    [[nodiscard]] xcb_atom_t atom(const char *name);
    // Interns several names with one round trip.
    void internAtoms(std::initializer_list<const char *> names);

    // The first event code of XFixes after its version handshake, or -1 when the server lacks it.
    [[nodiscard]] int xfixesFirstEvent();
    // The major opcode of XInput (the extension field of its generic events), or -1 without XI 2.2.
    [[nodiscard]] int xinputOpcode();

    // A new unmapped 1x1 window of ours (the requestor of selection conversions, say), selecting
    // `eventMask`; destroy it with destroyWindow().
    [[nodiscard]] xcb_window_t createHelperWindow(uint32_t eventMask);
    void destroyWindow(xcb_window_t window);

    // Core event masks are one value per client and window; these count every bit so several users
    // can share a window and give their part back.
    void selectEvents(xcb_window_t window, uint32_t mask);
    void deselectEvents(xcb_window_t window, uint32_t mask);
    // The same for XInput2 event masks of all master devices (one value per client and window too).
    void selectXInputEvents(xcb_window_t window, uint32_t mask);
    void deselectXInputEvents(xcb_window_t window, uint32_t mask);
    // Forgets a window that is gone (no request is sent).
    void forgetWindow(xcb_window_t window);

    // Every event read is handed to every listener; listeners are removed by their id.
    using Listener = std::function<void(const xcb_generic_event_t *)>;
    [[nodiscard]] int addListener(Listener listener);
    void removeListener(int id);

    void flush();
    // A round trip: the server has carried out everything sent before it returns.
    void sync();
    // Hands out events already read from the socket (after reading a reply).
    void dispatchQueued();

Q_SIGNALS:
    // The server went away; nothing more will arrive.
    void lost();

private:
    void readSocket();
    void dispatch(const xcb_generic_event_t *event);
    void checkBroken();
    void applyMask(xcb_window_t window);
    void applyXInputMask(xcb_window_t window);

    xcb_connection_t *m_c = nullptr;
    xcb_screen_t *m_screen = nullptr;
    int m_screenNumber = 0;
    QSocketNotifier *m_notifier = nullptr;
    bool m_lost = false;
    mutable bool m_queuedDispatchPosted = false;

    std::unordered_map<std::string, xcb_atom_t> m_atoms;
    int m_xfixesFirstEvent = -2;
    int m_xinputOpcode = -2;

    std::unordered_map<xcb_window_t, std::array<int, 32>> m_masks;
    std::unordered_map<xcb_window_t, std::array<int, 32>> m_xinputMasks;
    std::map<int, Listener> m_listeners;
    int m_nextListener = 1;
};

} // namespace tavrenhold::platform::x11
