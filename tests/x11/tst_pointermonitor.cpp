// labels: x11
#include "X11TestSupport.h"
#include "platform/x11/X11PointerMonitor.h"

#include <QSignalSpy>
#include <QWindow>

using namespace tavrenhold::platform;
using namespace tavrenhold::platform::x11;
using tavrenhold::test::XDriver;

namespace QTest {
template <>
char *toString(const PointerState &state)
{
    return qstrdup(QStringLiteral("(%1, %2) buttons %3")
                       .arg(state.position.x())
                       .arg(state.position.y())
                       .arg(int(state.buttons))
                       .toUtf8()
                       .constData());
}
} // namespace QTest

namespace {
PointerState lastReport(const QSignalSpy &spy)
{
    return spy.isEmpty() ? PointerState{} : spy.last().at(0).value<PointerState>();
}
} // namespace

class PointerMonitorTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        // Every case starts with the pointer at rest, away from where it goes next.
        m_driver.moveTo(10, 10);
    }

    void motionFromDevicesIsReported()
    {
        X11PointerMonitor monitor;
        QVERIFY(monitor.start());
        QSignalSpy spy(&monitor, &PointerMonitor::changed);

        m_driver.moveTo(300, 200);
        QTRY_COMPARE(lastReport(spy).position, QPointF(300, 200));
        for (int i = 0; i < 20; ++i)
            m_driver.moveBy(5, 3);
        QTRY_COMPARE(lastReport(spy).position, QPointF(400, 260));
        // Bursts may be merged, but every report is a new state.
        for (qsizetype i = 1; i < spy.size(); ++i)
            QVERIFY(spy.at(i).at(0).value<PointerState>() != spy.at(i - 1).at(0).value<PointerState>());
        QCOMPARE(monitor.current(), (PointerState{QPointF(400, 260), Qt::NoButton}));
    }

    // Far from where the pointer matters it is looked at a few times a second, yet where it comes
    // to rest is always reported, and so is its way back into the area.
    void farMotionIsFollowedLoosely()
    {
        X11PointerMonitor monitor;
        monitor.setAttentionArea(QRectF(600, 0, 300, 120));
        QVERIFY(monitor.start());
        QSignalSpy spy(&monitor, &PointerMonitor::changed);
        const auto sweep = [&](QPoint from) -> qsizetype {
            spy.clear();
            m_driver.moveTo(from.x(), from.y());
            for (int i = 1; i <= 40; ++i) {
                m_driver.moveTo(from.x() + 2 * i, from.y());
                QTest::qWait(25);
            }
            const QPointF end(from.x() + 80, from.y());
            if (!QTest::qWaitFor([&] { return lastReport(spy).position == end; }, 10000))
                return -1; // the resting place was never reported
            return spy.size();
        };
        const qsizetype inside = sweep(QPoint(650, 40));
        const qsizetype far = sweep(QPoint(100, 700));
        QVERIFY(inside > 0 && far > 0);
        QVERIFY2(far < inside, qPrintable(QStringLiteral("%1 reports far away, %2 inside").arg(far).arg(inside)));

        // Back into the area, and held buttons far away are followed as closely as inside.
        m_driver.moveTo(700, 60);
        QTRY_COMPARE(lastReport(spy).position, QPointF(700, 60));
        m_driver.press(1);
        m_driver.moveTo(120, 650);
        QTRY_COMPARE(lastReport(spy), (PointerState{QPointF(120, 650), Qt::LeftButton}));
        m_driver.release(1);
        monitor.stop();
    }

    // Over a window of ours the pointer is told by the window's own events; however it leaves the
    // window, it is followed on the display again, and coming back it is followed over the window.
    void ownWindowHandsThePointerBack_data()
    {
        QTest::addColumn<QString>("exit");
        QTest::newRow("moved out") << QStringLiteral("move");
        QTest::newRow("dragged out") << QStringLiteral("drag");
        QTest::newRow("window hidden") << QStringLiteral("hide");
        QTest::newRow("window handed back") << QStringLiteral("forget");
        QTest::newRow("window closed") << QStringLiteral("destroy");
    }

    void ownWindowHandsThePointerBack()
    {
        QFETCH(QString, exit);
        auto window = std::make_unique<QWindow>();
        window->setFlags(Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
        window->setGeometry(400, 300, 300, 200);
        X11PointerMonitor monitor;
        monitor.setAttentionArea(QRectF(300, 200, 500, 400));
        monitor.setOwnWindow(window.get());
        QVERIFY(monitor.start());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QSignalSpy spy(&monitor, &PointerMonitor::changed);

        m_driver.moveTo(450, 350);
        QTRY_COMPARE(lastReport(spy), (PointerState{QPointF(450, 350), Qt::NoButton}));
        for (int i = 1; i <= 10; ++i)
            m_driver.moveTo(450 + 10 * i, 350 + 5 * i);
        QTRY_COMPARE(lastReport(spy).position, QPointF(550, 400));
        QCOMPARE(monitor.current(), (PointerState{QPointF(550, 400), Qt::NoButton}));

        Qt::MouseButtons held = Qt::NoButton;
        if (exit == QLatin1String("drag")) {
            m_driver.press(1);
            held = Qt::LeftButton;
            QTRY_COMPARE(lastReport(spy), (PointerState{QPointF(550, 400), held}));
        } else if (exit == QLatin1String("hide")) {
            window->hide();
        } else if (exit == QLatin1String("forget")) {
            monitor.setOwnWindow(nullptr);
        } else if (exit == QLatin1String("destroy")) {
            window.reset();
        }
        m_driver.moveTo(560, 410); // still over the window, unless it is gone
        m_driver.moveTo(900, 700);
        QTRY_COMPARE(lastReport(spy), (PointerState{QPointF(900, 700), held}));
        QCOMPARE(monitor.current(), (PointerState{QPointF(900, 700), held}));
        if (held != Qt::NoButton) {
            m_driver.release(1);
            QTRY_COMPARE(lastReport(spy), (PointerState{QPointF(900, 700), Qt::NoButton}));
        }

        m_driver.moveTo(600, 450);
        QTRY_COMPARE(lastReport(spy).position, QPointF(600, 450));
        m_driver.moveTo(620, 460);
        QTRY_COMPARE(lastReport(spy).position, QPointF(620, 460));
        QCOMPARE(monitor.current().position, QPointF(620, 460));
    }

    void buttonsAreReported_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<Qt::MouseButtons>("held");
        QTest::newRow("left") << 1 << Qt::MouseButtons(Qt::LeftButton);
        QTest::newRow("middle") << 2 << Qt::MouseButtons(Qt::MiddleButton);
        QTest::newRow("right") << 3 << Qt::MouseButtons(Qt::RightButton);
    }

    void buttonsAreReported()
    {
        QFETCH(int, button);
        QFETCH(Qt::MouseButtons, held);
        X11PointerMonitor monitor;
        QVERIFY(monitor.start());
        QSignalSpy spy(&monitor, &PointerMonitor::changed);

        m_driver.press(button);
        QTRY_COMPARE(lastReport(spy), (PointerState{QPointF(10, 10), held}));
        QCOMPARE(monitor.current().buttons, held);
        m_driver.release(button);
        QTRY_COMPARE(lastReport(spy), (PointerState{QPointF(10, 10), Qt::NoButton}));
    }

    void stillPointerReportsNothing()
    {
        X11PointerMonitor monitor;
        QVERIFY(monitor.start());
        QSignalSpy spy(&monitor, &PointerMonitor::changed);
        m_driver.moveBy(40, 40);
        QTRY_COMPARE(spy.size(), 1);

        spy.clear();
        QTest::qWait(300);
        QCOMPARE(spy.size(), 0);
    }

    void otherClientsGrabDoesNotHideMotion()
    {
        // A drag in another program grabs the pointer; the notch must still see it move.
        X11PointerMonitor monitor;
        QVERIFY(monitor.start());
        QSignalSpy spy(&monitor, &PointerMonitor::changed);
        const xcb_window_t source = m_driver.createWindow(QRect(0, 0, 200, 200));
        Reply<xcb_grab_pointer_reply_t> grab(xcb_grab_pointer_reply(
            m_driver.c(),
            xcb_grab_pointer(m_driver.c(), 0, source, XCB_EVENT_MASK_POINTER_MOTION | XCB_EVENT_MASK_BUTTON_RELEASE,
                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_WINDOW_NONE, XCB_CURSOR_NONE,
                             XCB_CURRENT_TIME),
            nullptr));
        QVERIFY(grab && grab->status == XCB_GRAB_STATUS_SUCCESS);

        m_driver.moveTo(700, 500);
        QTRY_COMPARE(lastReport(spy).position, QPointF(700, 500));

        xcb_ungrab_pointer(m_driver.c(), XCB_CURRENT_TIME);
        m_driver.destroyWindow(source);
    }

    void warpsAreNotReportedButReadable()
    {
        // The display makes no raw event for a warp: the monitor cannot see it, a query can.
        X11PointerMonitor monitor;
        QVERIFY(monitor.start());
        QSignalSpy spy(&monitor, &PointerMonitor::changed);
        m_driver.warpTo(640, 320);
        QTest::qWait(200);
        QCOMPARE(spy.size(), 0);
        QCOMPARE(monitor.current().position, QPointF(640, 320));
    }

    void stopEndsReports()
    {
        X11PointerMonitor monitor;
        QVERIFY(monitor.start());
        QVERIFY(monitor.start()); // twice is harmless
        QSignalSpy spy(&monitor, &PointerMonitor::changed);

        monitor.stop();
        monitor.stop();
        QVERIFY(!monitor.isRunning());
        m_driver.moveBy(30, 0);
        QTest::qWait(200);
        QCOMPARE(spy.size(), 0);

        QVERIFY(monitor.start());
        m_driver.moveBy(30, 0);
        QTRY_COMPARE(lastReport(spy).position, QPointF(70, 10));
    }

    void twoMonitorsShareTheConnection()
    {
        // Stopping one leaves the other reporting.
        X11PointerMonitor first;
        X11PointerMonitor second;
        QVERIFY(first.start());
        QVERIFY(second.start());
        QSignalSpy spy(&second, &PointerMonitor::changed);
        first.stop();
        m_driver.moveBy(25, 25);
        QTRY_COMPARE(lastReport(spy).position, QPointF(35, 35));
    }

private:
    XDriver m_driver;
};

int main(int argc, char **argv)
{
    return tavrenhold::test::runOnPrivateDisplay<PointerMonitorTest>(argc, argv);
}

#include "tst_pointermonitor.moc"
