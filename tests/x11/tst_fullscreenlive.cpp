// labels: x11
// The full-screen probe on a private display, first without a window manager, then under openbox
// driven by wmctrl, then after openbox died. The cases run in order on one display.
#include "X11TestSupport.h"
#include "platform/x11/X11FullScreenProbe.h"

#include <QSignalSpy>

using namespace tavrenhold::platform;
using namespace tavrenhold::platform::x11;
using tavrenhold::test::Openbox;
using tavrenhold::test::XDriver;

namespace {
bool wmctrl(const QStringList &arguments)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(QStringLiteral("wmctrl"), arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool setFullScreen(const QString &title, bool on)
{
    return wmctrl({QStringLiteral("-r"), title, QStringLiteral("-b"),
                   (on ? QStringLiteral("add") : QStringLiteral("remove")) + QStringLiteral(",fullscreen")});
}

bool activate(const QString &title)
{
    return wmctrl({QStringLiteral("-a"), title});
}

// How long the window manager and the probe may take to follow, on a loaded machine.
constexpr int patience = 15000;

// wmctrl now and then fails on a busy machine, silently: a command is run until it succeeds once, and
// not again after (a macro that retries a condition runs it once more to check it, and that run may
// be the one that fails).
[[nodiscard]] bool carriedOut(const std::function<bool()> &command)
{
    return QTest::qWaitFor(command, patience);
}

const QString videoTitle = QStringLiteral("tavrenhold-test-video");
const QString editorTitle = QStringLiteral("tavrenhold-test-editor");
} // namespace

class FullScreenLiveTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        m_screen = qGuiApp->primaryScreen()->geometry();
        m_probe.setScreen(m_screen);
        QVERIFY(m_probe.start());
        QVERIFY(m_probe.start()); // twice is harmless
    }

    void nothingIsFullScreenWithoutWindowManager()
    {
        m_video = client(videoTitle);
        QVERIFY(!m_probe.snapshot().windowManager);
        QVERIFY(!m_probe.isFullScreen());
        QVERIFY(!setFullScreen(videoTitle, true)); // nobody to ask
    }

    void followsTheWindowManagersFullScreenState()
    {
        QVERIFY(m_openbox.start(m_driver.connection()));
        QTRY_VERIFY_WITH_TIMEOUT(m_probe.snapshot().windowManager, patience);
        QTRY_VERIFY_WITH_TIMEOUT(isListed(m_video), patience);
        QSignalSpy spy(&m_probe, &FullScreenProbe::fullScreenChanged);

        QVERIFY(carriedOut([] { return setFullScreen(videoTitle, true); }));
        QTRY_VERIFY_WITH_TIMEOUT(m_probe.isFullScreen(), patience);
        QVERIFY(carriedOut([] { return setFullScreen(videoTitle, false); }));
        QTRY_VERIFY_WITH_TIMEOUT(!m_probe.isFullScreen(), patience);
        QVERIFY(carriedOut([] { return setFullScreen(videoTitle, true); }));
        QTRY_VERIFY_WITH_TIMEOUT(m_probe.isFullScreen(), patience);
        QCOMPARE(spy.size(), 3); // once per change
    }

    void anotherWindowActivatedAboveEndsIt()
    {
        m_editor = client(editorTitle);
        QTRY_VERIFY_WITH_TIMEOUT(isListed(m_editor), patience);
        QVERIFY(carriedOut([] { return activate(editorTitle); }));
        QTRY_VERIFY_WITH_TIMEOUT(!m_probe.isFullScreen(), patience);
        QVERIFY(carriedOut([] { return activate(videoTitle); }));
        QTRY_VERIFY_WITH_TIMEOUT(m_probe.isFullScreen(), patience);
    }

    void minimisedFullScreenWindowDoesNotCount()
    {
        QCOMPARE(QProcess::execute(QStringLiteral("xdotool"),
                                   {QStringLiteral("windowminimize"), QString::number(m_video)}),
                 0);
        QTRY_VERIFY_WITH_TIMEOUT(!m_probe.isFullScreen(), patience);
        QVERIFY(carriedOut([] { return activate(videoTitle); })); // restores it, still full screen
        QTRY_VERIFY_WITH_TIMEOUT(m_probe.isFullScreen(), patience);
    }

    void onlyTheNotchScreenCounts()
    {
        m_probe.setScreen(QRect(m_screen.right() + 1, 0, 800, 600));
        QVERIFY(!m_probe.isFullScreen());
        m_probe.setScreen(QRect());
        QVERIFY(!m_probe.isFullScreen());
        m_probe.setScreen(m_screen);
        QVERIFY(m_probe.isFullScreen());
    }

    void windowManagerDyingEndsIt()
    {
        // Its root properties stay behind, naming a check window that is gone.
        m_openbox.kill();
        QTRY_VERIFY_WITH_TIMEOUT(!m_probe.snapshot().windowManager, patience);
        QVERIFY(!m_probe.isFullScreen());
        const xcb_atom_t check = m_driver.connection().atom("_NET_SUPPORTING_WM_CHECK");
        QVERIFY(readWindowProperty(m_driver.connection(), m_driver.root(), check) != XCB_WINDOW_NONE);
    }

    void stoppedProbeIsSilent()
    {
        QSignalSpy spy(&m_probe, &FullScreenProbe::fullScreenChanged);
        m_probe.stop();
        m_probe.stop();
        QVERIFY(m_openbox.start(m_driver.connection()));
        QTRY_VERIFY_WITH_TIMEOUT(isListed(m_video) && isListed(m_editor), patience);
        QVERIFY(carriedOut([] { return setFullScreen(videoTitle, true); }));
        QVERIFY(carriedOut([] { return activate(videoTitle); }));
        QTest::qWait(200);
        QCOMPARE(spy.size(), 0);
        // Started again, it decides at once.
        QVERIFY(m_probe.start());
        QTRY_VERIFY_WITH_TIMEOUT(m_probe.isFullScreen(), patience);
        m_openbox.stop();
    }

private:
    // A plain client window with a title, mapped.
    xcb_window_t client(const QString &title)
    {
        const xcb_window_t window = m_driver.createWindow(QRect(100, 100, 400, 300));
        const QByteArray name = title.toUtf8();
        xcb_change_property(m_driver.c(), XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            uint32_t(name.size()), name.constData());
        m_driver.sync();
        return window;
    }

    // Whether the window manager lists the window as its client.
    bool isListed(xcb_window_t window)
    {
        const std::vector<xcb_window_t> listed = clients();
        return std::find(listed.begin(), listed.end(), window) != listed.end();
    }

    std::vector<xcb_window_t> clients()
    {
        xcb_connection_t *c = m_driver.c();
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            c,
            xcb_get_property(c, 0, m_driver.root(), m_driver.connection().atom("_NET_CLIENT_LIST_STACKING"),
                             XCB_ATOM_WINDOW, 0, 1024),
            nullptr));
        if (!reply || reply->format != 32)
            return {};
        const auto *windows = static_cast<const xcb_window_t *>(xcb_get_property_value(reply.get()));
        return {windows, windows + xcb_get_property_value_length(reply.get()) / 4};
    }

    XDriver m_driver;
    Openbox m_openbox;
    X11FullScreenProbe m_probe;
    QRect m_screen;
    xcb_window_t m_video = XCB_WINDOW_NONE;
    xcb_window_t m_editor = XCB_WINDOW_NONE;
};

int main(int argc, char **argv)
{
    return tavrenhold::test::runOnPrivateDisplay<FullScreenLiveTest>(argc, argv);
}

#include "tst_fullscreenlive.moc"
