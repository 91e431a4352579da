#pragma once

// An X client that claims the CLIPBOARD selection and never reads its connection again, so no
// request for the clipboard's content is ever answered (a Tk owner would still answer while its
// claim is being flushed). It runs python3 over libX11 through ctypes and ends with the test.
// Header-only.

#include <QProcess>
#include <QString>

#include <csignal>
#include <sys/prctl.h>

namespace tavrenhold::test {

class SilentClipboardOwner {
public:
    SilentClipboardOwner() = default;
    SilentClipboardOwner(const SilentClipboardOwner &) = delete;
    SilentClipboardOwner &operator=(const SilentClipboardOwner &) = delete;
    ~SilentClipboardOwner() { stop(); }

    // Claims the clipboard on $DISPLAY and holds it for `seconds`; false when python3 did not start.
    bool start(int seconds = 600)
    {
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.start(QStringLiteral("python3"), {QStringLiteral("-c"), script(seconds)});
        return m_process.waitForStarted(5000);
    }

    // Ends the owner at once; its claim goes with its connection.
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(3000);
    }

    [[nodiscard]] bool running() const { return m_process.state() == QProcess::Running; }

    static QString script(int seconds)
    {
        return QStringLiteral(
                   "import ctypes, time\n"
                   "from ctypes import c_void_p, c_char_p, c_ulong, c_int, c_uint\n"
                   "x = ctypes.CDLL('libX11.so.6')\n"
                   "x.XOpenDisplay.restype = c_void_p; x.XOpenDisplay.argtypes = [c_char_p]\n"
                   "x.XDefaultRootWindow.restype = c_ulong; x.XDefaultRootWindow.argtypes = [c_void_p]\n"
                   "x.XCreateSimpleWindow.restype = c_ulong\n"
                   "x.XCreateSimpleWindow.argtypes = [c_void_p, c_ulong, c_int, c_int, c_uint, c_uint, c_uint, "
                   "c_ulong, c_ulong]\n"
                   "x.XInternAtom.restype = c_ulong; x.XInternAtom.argtypes = [c_void_p, c_char_p, c_int]\n"
                   "x.XSetSelectionOwner.argtypes = [c_void_p, c_ulong, c_ulong, c_ulong]\n"
                   "x.XFlush.argtypes = [c_void_p]\n"
                   "d = x.XOpenDisplay(None)\n"
                   "w = x.XCreateSimpleWindow(d, x.XDefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0)\n"
                   "x.XSetSelectionOwner(d, x.XInternAtom(d, b'CLIPBOARD', 0), w, 0)\n"
                   "x.XFlush(d)\n"
                   "time.sleep(%1)\n")
            .arg(seconds);
    }

private:
    QProcess m_process;
};

} // namespace tavrenhold::test
