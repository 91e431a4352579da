// labels: x11
#include "design/CompositorState.h"
#include "platform/Compositor.h"

#include <QGuiApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <sys/prctl.h>

using tavrenhold::CompositorState;
using tavrenhold::platform::Compositor;

namespace {

// An X server of the test's own: a compositor selection taken here must not disturb other tests.
class PrivateXServer {
public:
    ~PrivateXServer()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(3000))
                m_process.kill();
        }
    }

    // Starts Xvfb on a free display (it picks the number itself) and returns its name, or nothing.
    QByteArray start()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            return {};
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                                QStringLiteral("-screen"), QStringLiteral("0"),
                                                QStringLiteral("320x200x24"), QStringLiteral("-nolisten"),
                                                QStringLiteral("tcp")});
        if (!m_process.waitForStarted(5000))
            return {};
        QByteArray out;
        while (!out.contains('\n')) {
            if (!m_process.waitForReadyRead(15000))
                return {};
            out += m_process.readAllStandardOutput();
        }
        return ':' + out.trimmed();
    }

private:
    QProcess m_process;
};

// Another client of the display, standing in for a compositing manager.
class FakeCompositingManager {
public:
    FakeCompositingManager() : m_c(xcb_connect(nullptr, &m_screen)) {}
    ~FakeCompositingManager()
    {
        if (m_c)
            xcb_disconnect(m_c);
    }

    bool valid() const { return m_c && !xcb_connection_has_error(m_c); }

    xcb_atom_t selection()
    {
        const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(m_screen);
        auto *reply =
            xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, uint16_t(name.size()), name.constData()), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : XCB_ATOM_NONE;
        std::free(reply);
        return atom;
    }

    xcb_window_t owner()
    {
        auto *reply = xcb_get_selection_owner_reply(m_c, xcb_get_selection_owner(m_c, selection()), nullptr);
        const xcb_window_t window = reply ? reply->owner : XCB_WINDOW_NONE;
        std::free(reply);
        return window;
    }

    // Takes the selection with a window of its own.
    void take()
    {
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_c));
        for (int i = 0; i < m_screen; ++i)
            xcb_screen_next(&it);
        m_window = xcb_generate_id(m_c);
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, m_window, it.data->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_set_selection_owner(m_c, m_window, selection(), XCB_CURRENT_TIME);
        xcb_flush(m_c);
    }

    void destroyWindow()
    {
        xcb_destroy_window(m_c, m_window);
        xcb_flush(m_c);
    }

    void disconnect()
    {
        xcb_disconnect(m_c);
        m_c = nullptr;
    }

private:
    int m_screen = 0;
    xcb_connection_t *m_c = nullptr;
    xcb_window_t m_window = XCB_WINDOW_NONE;
};

} // namespace

class CompositorTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void screenNumber_data()
    {
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<int>("screen");
        QTest::newRow("plain") << QByteArray(":0") << 0;
        QTest::newRow("screen") << QByteArray(":1.2") << 2;
        QTest::newRow("host") << QByteArray("box.local:0.1") << 1;
        QTest::newRow("none") << QByteArray() << 0;
        QTest::newRow("malformed screen") << QByteArray(":0.x") << 0;
        QTest::newRow("negative screen") << QByteArray(":0.-1") << 0;
    }
    void screenNumber()
    {
        QFETCH(QByteArray, display);
        QFETCH(int, screen);
        QCOMPARE(Compositor::screenNumber(display), screen);
    }

    // A compositing manager coming and going is seen as it happens, by the watch and by QML's
    // singleton, with one notification per change: when it takes the selection, when its window
    // goes, when its client goes.
    void followsTheSelectionOwner()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X server (Xvfb)");
        FakeCompositingManager manager;
        QVERIFY(manager.valid());
        QCOMPARE(manager.owner(), xcb_window_t(XCB_WINDOW_NONE));

        Compositor compositor;
        CompositorState state(compositor);
        QSignalSpy changes(&compositor, &Compositor::compositedChanged);
        QSignalSpy stateChanges(&state, &CompositorState::compositedChanged);
        QVERIFY(!compositor.composited());
        QVERIFY(!state.composited());

        manager.take();
        QTRY_VERIFY(compositor.composited());
        QVERIFY(state.composited());
        QCOMPARE(changes.size(), 1);
        QCOMPARE(stateChanges.size(), 1);
        // A new watch reads the owner at once.
        QVERIFY(Compositor().composited());

        manager.destroyWindow();
        QTRY_VERIFY(!compositor.composited());
        QCOMPARE(changes.size(), 2);

        manager.take();
        QTRY_VERIFY(compositor.composited());
        manager.disconnect();
        QTRY_VERIFY(!compositor.composited());
        QCOMPARE(changes.size(), 4);
        compositor.refresh();
        QCOMPARE(changes.size(), 4);
    }
};

int main(int argc, char **argv)
{
    PrivateXServer server;
    const QByteArray display = server.start();
    if (!display.isEmpty()) {
        qputenv("DISPLAY", display);
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QGuiApplication app(argc, argv);
    CompositorTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_materialcompositor.moc"
