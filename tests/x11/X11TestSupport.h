#pragma once

// What the X11 tests share: a private X server per test binary (pointer position, focus, selections
// and window managers are global to a display, and tests run in parallel), a window manager on it,
// and a driver connection that moves the pointer through XTEST and makes plain windows.

#include "platform/x11/WindowManagerCheck.h"
#include "platform/x11/XcbConnection.h"

#include <QGuiApplication>
#include <QProcess>
#include <QRect>
#include <QTemporaryDir>
#include <QTest>

#include <xcb/xtest.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <sys/prctl.h>
#include <vector>

namespace tavrenhold::test {

// Children end with the test, even when it crashes.
inline void dieWithParent(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

// An Xvfb of our own; it picks a free display number itself (-displayfd).
class XvfbServer {
public:
    XvfbServer() = default;
    XvfbServer(const XvfbServer &) = delete;
    ~XvfbServer() { stop(); }

    bool start(const QString &screen = QStringLiteral("1512x982x24"))
    {
        dieWithParent(m_process);
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                                QStringLiteral("-screen"), QStringLiteral("0"), screen,
                                                QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!m_process.waitForStarted(5000))
            return false;
        QByteArray out;
        while (!out.contains('\n')) {
            if (!m_process.waitForReadyRead(15000))
                return false;
            out += m_process.readAllStandardOutput();
        }
        m_display = ':' + out.trimmed();
        return true;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }

    [[nodiscard]] QByteArray display() const { return m_display; }

private:
    QProcess m_process;
    QByteArray m_display;
};

// Whether a live EWMH window manager runs (its check window names itself).
inline bool windowManagerRuns(platform::x11::XcbConnection &connection)
{
    const xcb_atom_t check = connection.atom("_NET_SUPPORTING_WM_CHECK");
    const xcb_window_t named = platform::x11::readWindowProperty(connection, connection.root(), check);
    return named != XCB_WINDOW_NONE && platform::x11::readWindowProperty(connection, named, check) == named;
}

// openbox on $DISPLAY, with its files in a folder of its own.
class Openbox {
public:
    Openbox(const Openbox &) = delete;
    Openbox() = default;
    ~Openbox() { stop(); }

    bool start(platform::x11::XcbConnection &connection)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
            env.insert(QLatin1String(name), m_home.path());
        m_process.setProcessEnvironment(env);
        dieWithParent(m_process);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        return m_process.waitForStarted(5000) && QTest::qWaitFor([&] { return windowManagerRuns(connection); }, 15000);
    }

    // Ends it at once, as a crash would: its root properties stay behind.
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished(3000);
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            kill();
    }

private:
    QTemporaryDir m_home;
    QProcess m_process;
};

// Another client of the display: moves the pointer and clicks through XTEST (as real devices do;
// warps make no raw events), makes plain windows, reads the server's state.
class XDriver {
public:
    XDriver() : m_connection(std::make_unique<platform::x11::XcbConnection>()) {}

    [[nodiscard]] platform::x11::XcbConnection &connection() { return *m_connection; }
    [[nodiscard]] xcb_connection_t *c() const { return m_connection->get(); }
    [[nodiscard]] xcb_window_t root() const { return m_connection->root(); }

    // A round trip: everything sent before has been carried out.
    void sync() const { std::free(xcb_get_input_focus_reply(c(), xcb_get_input_focus(c()), nullptr)); }

    void moveTo(int x, int y)
    {
        xcb_test_fake_input(c(), XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root(), int16_t(x), int16_t(y), 0);
        sync();
    }
    void moveBy(int dx, int dy)
    {
        xcb_test_fake_input(c(), XCB_MOTION_NOTIFY, 1, XCB_CURRENT_TIME, XCB_WINDOW_NONE, int16_t(dx), int16_t(dy), 0);
        sync();
    }
    void press(int button)
    {
        xcb_test_fake_input(c(), XCB_BUTTON_PRESS, uint8_t(button), XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
        sync();
    }
    void release(int button)
    {
        xcb_test_fake_input(c(), XCB_BUTTON_RELEASE, uint8_t(button), XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
        sync();
    }
    void click(int x, int y, int button = 1)
    {
        moveTo(x, y);
        press(button);
        release(button);
    }
    // A jump of the pointer that no device made.
    void warpTo(int x, int y)
    {
        xcb_warp_pointer(c(), XCB_WINDOW_NONE, root(), 0, 0, 0, 0, int16_t(x), int16_t(y));
        sync();
    }

    [[nodiscard]] QPoint pointer() const
    {
        platform::x11::Reply<xcb_query_pointer_reply_t> reply(
            xcb_query_pointer_reply(c(), xcb_query_pointer(c(), root()), nullptr));
        return reply ? QPoint(reply->root_x, reply->root_y) : QPoint();
    }

    // A plain window of this client, mapped, selecting `eventMask`.
    xcb_window_t createWindow(const QRect &r, bool overrideRedirect = false, uint32_t eventMask = 0)
    {
        const xcb_window_t window = xcb_generate_id(c());
        const uint32_t values[] = {m_connection->screen()->white_pixel, overrideRedirect ? 1u : 0u, eventMask};
        xcb_create_window(c(), XCB_COPY_FROM_PARENT, window, root(), int16_t(r.x()), int16_t(r.y()),
                          uint16_t(r.width()), uint16_t(r.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK,
                          values);
        xcb_map_window(c(), window);
        sync();
        return window;
    }

    void destroyWindow(xcb_window_t window)
    {
        xcb_destroy_window(c(), window);
        sync();
    }

    [[nodiscard]] xcb_window_t focus() const
    {
        platform::x11::Reply<xcb_get_input_focus_reply_t> reply(
            xcb_get_input_focus_reply(c(), xcb_get_input_focus(c()), nullptr));
        return reply ? reply->focus : xcb_window_t(XCB_WINDOW_NONE);
    }

    void setFocus(xcb_window_t window)
    {
        xcb_set_input_focus(c(), XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
        sync();
    }

    // The root's children, bottom to top.
    [[nodiscard]] std::vector<xcb_window_t> stacking() const
    {
        platform::x11::Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c(), xcb_query_tree(c(), root()), nullptr));
        if (!tree)
            return {};
        const xcb_window_t *children = xcb_query_tree_children(tree.get());
        return {children, children + xcb_query_tree_children_length(tree.get())};
    }

    // Whether `window` is the topmost mapped child of the root.
    [[nodiscard]] bool isTopmostMapped(xcb_window_t window) const
    {
        const std::vector<xcb_window_t> order = stacking();
        for (auto it = order.rbegin(); it != order.rend(); ++it) {
            platform::x11::Reply<xcb_get_window_attributes_reply_t> attributes(
                xcb_get_window_attributes_reply(c(), xcb_get_window_attributes(c(), *it), nullptr));
            if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
                return *it == window;
        }
        return false;
    }

private:
    std::unique_ptr<platform::x11::XcbConnection> m_connection;
};

// Runs a QtTest object inside a QGuiApplication on a private Xvfb. `beforeApp` runs after the
// server is up and before the application exists (for environment such as QT_SCALE_FACTOR).
template <typename TestObject>
int runOnPrivateDisplay(int argc, char **argv, const std::function<void()> &beforeApp = {})
{
    XvfbServer server;
    if (!server.start()) {
        std::fprintf(stderr, "could not start Xvfb\n");
        return 1;
    }
    qputenv("DISPLAY", server.display());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qunsetenv("XAUTHORITY");
    if (beforeApp)
        beforeApp();
    QGuiApplication app(argc, argv);
    TestObject test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace tavrenhold::test
