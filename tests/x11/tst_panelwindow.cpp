// labels: x11
// The panel window on a private display without a window manager, scaled by 1.5 so that logical
// and native pixels differ.
#include "X11TestSupport.h"
#include "platform/x11/X11PanelWindowSystem.h"

#include <QMouseEvent>
#include <QPainter>
#include <QQuickWindow>
#include <QRasterWindow>
#include <QSignalSpy>

#include <xcb/shape.h>

using namespace tavrenhold::platform;
using namespace tavrenhold::platform::x11;
using tavrenhold::test::XDriver;

namespace {
constexpr qreal scale = 1.5;

// Records where it was pressed (global, logical).
template <typename Base>
class PressLog : public Base {
public:
    QList<QPointF> presses;

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        presses.append(event->globalPosition());
        Base::mousePressEvent(event);
    }
};

class Backdrop : public PressLog<QRasterWindow> {
protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(QRect(QPoint(), size()), Qt::darkCyan); }
};

using Panel = PressLog<QQuickWindow>;

xcb_window_t idOf(const QWindow &window)
{
    return xcb_window_t(window.winId());
}

struct NativeRect {
    int x, y, width, height;
    bool operator==(const NativeRect &) const = default;
};

std::vector<NativeRect> inputShape(XDriver &driver, xcb_window_t window)
{
    Reply<xcb_shape_get_rectangles_reply_t> reply(xcb_shape_get_rectangles_reply(
        driver.c(), xcb_shape_get_rectangles(driver.c(), window, XCB_SHAPE_SK_INPUT), nullptr));
    std::vector<NativeRect> rects;
    if (!reply)
        return rects;
    const xcb_rectangle_t *r = xcb_shape_get_rectangles_rectangles(reply.get());
    for (int i = 0; i < xcb_shape_get_rectangles_rectangles_length(reply.get()); ++i)
        rects.push_back({r[i].x, r[i].y, r[i].width, r[i].height});
    return rects;
}

bool boundingShaped(XDriver &driver, xcb_window_t window)
{
    Reply<xcb_shape_query_extents_reply_t> reply(
        xcb_shape_query_extents_reply(driver.c(), xcb_shape_query_extents(driver.c(), window), nullptr));
    return reply && reply->bounding_shaped;
}
} // namespace

Q_DECLARE_METATYPE(std::vector<NativeRect>)

namespace QTest {
template <>
char *toString(const std::vector<NativeRect> &rects)
{
    QStringList parts;
    for (const NativeRect &r : rects)
        parts << QStringLiteral("%1,%2 %3x%4").arg(r.x).arg(r.y).arg(r.width).arg(r.height);
    return qstrdup(('[' + parts.join(QStringLiteral("; ")) + ']').toUtf8().constData());
}
} // namespace QTest

class PanelWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QCOMPARE(qGuiApp->devicePixelRatio(), scale);
        m_backdrop.setGeometry(0, 0, 1008, 654);
        m_backdrop.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_backdrop));
    }

    void init()
    {
        m_system = std::make_unique<X11PanelWindowSystem>();
        m_panel = std::make_unique<Panel>();
        QVERIFY(m_system->prepare(m_panel.get()));
        // Native (300, 0) 600 × 300.
        m_panel->setGeometry(200, 0, 400, 200);
        m_panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_panel.get()));
        m_backdrop.presses.clear();
    }

    void cleanup()
    {
        m_panel.reset();
        m_system.reset();
    }

    void preparedWindowBypassesTheWindowManagerWithAlpha()
    {
        Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
            m_driver.c(), xcb_get_window_attributes(m_driver.c(), idOf(*m_panel)), nullptr));
        QVERIFY(attributes);
        QVERIFY(attributes->override_redirect);
        Reply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(m_driver.c(), xcb_get_geometry(m_driver.c(), idOf(*m_panel)), nullptr));
        QVERIFY(geometry);
        QCOMPARE(int(geometry->depth), 32);
        QCOMPARE(m_panel->color(), QColor(Qt::transparent));

        // Too late once the native window exists: nothing changes.
        QQuickWindow late;
        late.create();
        const Qt::WindowFlags before = late.flags();
        QVERIFY(!m_system->prepare(&late));
        QCOMPARE(late.flags(), before);
    }

    void clicksReachThePanelOnlyInsideItsInputShape()
    {
        m_system->setInputShape(m_panel.get(), {QRectF(150, 0, 100, 32)});
        QTRY_COMPARE(inputShape(m_driver, idOf(*m_panel)), (std::vector<NativeRect>{{225, 0, 150, 48}}));

        m_driver.click(600, 24); // on the shape
        QTRY_COMPARE(m_panel->presses.size(), 1);
        QCOMPARE(m_panel->presses.first(), QPointF(400, 16));

        m_driver.click(330, 150); // inside the panel window, off the shape
        QTRY_COMPARE(m_backdrop.presses.size(), 1);
        QCOMPARE(m_backdrop.presses.first(), QPointF(220, 100));
        QCOMPARE(m_panel->presses.size(), 1);
    }

    void emptyShapeLetsEveryClickThrough()
    {
        m_system->setInputShape(m_panel.get(), {QRectF(150, 0, 100, 32)});
        m_system->setInputShape(m_panel.get(), {});
        QTRY_VERIFY(inputShape(m_driver, idOf(*m_panel)).empty());

        m_driver.click(600, 24);
        QTRY_COMPARE(m_backdrop.presses.size(), 1);
        QVERIFY(m_panel->presses.isEmpty());
    }

    void shapeRectanglesRoundOutwards_data()
    {
        QTest::addColumn<QList<QRectF>>("logical");
        QTest::addColumn<std::vector<NativeRect>>("native");
        QTest::newRow("fractions grow to whole pixels")
            << QList<QRectF>{QRectF(10.2, 0.5, 20.5, 10)} << std::vector<NativeRect>{{15, 0, 32, 16}};
        QTest::newRow("hit box and drag band")
            << QList<QRectF>{QRectF(148, -2, 104, 36), QRectF(50, 40, 300, 94)}
            << std::vector<NativeRect>{{222, -3, 156, 54}, {75, 60, 450, 141}};
        QTest::newRow("empty and non-finite rectangles are left out")
            << QList<QRectF>{QRectF(0, 0, 0, 10), QRectF(qQNaN(), 0, 10, 10), QRectF(0, 0, qInf(), 4),
                             QRectF(2, 2, 2, 2)}
            << std::vector<NativeRect>{{3, 3, 3, 3}};
    }

    void shapeRectanglesRoundOutwards()
    {
        QFETCH(QList<QRectF>, logical);
        QFETCH(std::vector<NativeRect>, native);
        m_system->setInputShape(m_panel.get(), logical);
        QTRY_COMPARE(inputShape(m_driver, idOf(*m_panel)), native);
    }

    void shapeIsSetAgainOnANewNativeWindow()
    {
        m_system->setInputShape(m_panel.get(), {QRectF(150, 0, 100, 32)});
        const xcb_window_t old = idOf(*m_panel);
        m_panel->destroy();
        m_panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_panel.get()));
        QVERIFY(idOf(*m_panel) != old);
        QTRY_COMPARE(inputShape(m_driver, idOf(*m_panel)), (std::vector<NativeRect>{{225, 0, 150, 48}}));

        m_driver.click(330, 150);
        QTRY_COMPARE(m_backdrop.presses.size(), 1);
    }

    void outlineCutsTheWindowOnlyWithoutCompositor()
    {
        QSignalSpy spy(m_system.get(), &PanelWindowSystem::compositingChanged);
        QVERIFY(!m_system->compositing());
        const QRegion outline(150, 0, 100, 32, QRegion::Ellipse);
        m_system->setOutline(m_panel.get(), outline);
        QCOMPARE(m_panel->mask(), outline);
        QTRY_VERIFY(boundingShaped(m_driver, idOf(*m_panel)));

        // A compositing manager starts: transparent pixels blend now, the window stays whole.
        const xcb_window_t manager = m_driver.createWindow(QRect(0, 0, 1, 1), true);
        xcb_set_selection_owner(m_driver.c(), manager, m_driver.connection().atom("_NET_WM_CM_S0"), XCB_CURRENT_TIME);
        m_driver.sync();
        QTRY_COMPARE(spy.size(), 1);
        QCOMPARE(spy.last().at(0).toBool(), true);
        QVERIFY(m_system->compositing());
        QTRY_VERIFY(!boundingShaped(m_driver, idOf(*m_panel)));

        // It ends: cut again.
        m_driver.destroyWindow(manager);
        QTRY_COMPARE(spy.size(), 2);
        QCOMPARE(spy.last().at(0).toBool(), false);
        QCOMPARE(m_panel->mask(), outline);
        QTRY_VERIFY(boundingShaped(m_driver, idOf(*m_panel)));
    }

    void staysAboveWindowsMappedLater()
    {
        // No window manager keeps it on top: a window mapped later would cover it.
        const xcb_window_t later = m_driver.createWindow(QRect(0, 0, 800, 400));
        QTRY_VERIFY(m_driver.isTopmostMapped(idOf(*m_panel)));
        const xcb_window_t menu = m_driver.createWindow(QRect(300, 0, 200, 200), true);
        QTRY_VERIFY(m_driver.isTopmostMapped(idOf(*m_panel)));
        m_driver.destroyWindow(menu);
        m_driver.destroyWindow(later);
    }

    void keyboardIsTakenAndGivenBack()
    {
        const xcb_window_t editor = m_driver.createWindow(QRect(0, 500, 300, 100));
        m_driver.setFocus(editor);

        m_system->takeFocus(m_panel.get());
        QTRY_COMPARE(m_driver.focus(), idOf(*m_panel));
        QTRY_COMPARE(QGuiApplication::focusWindow(), m_panel.get());
        QVERIFY(m_system->hasFocus(m_panel.get()));
        // Taking it again does not forget who had it first.
        m_system->takeFocus(m_panel.get());

        m_system->releaseFocus(m_panel.get());
        QTRY_COMPARE(m_driver.focus(), editor);
        QTRY_VERIFY(QGuiApplication::focusWindow() != m_panel.get());
        QVERIFY(!m_system->hasFocus(m_panel.get()));
        m_driver.destroyWindow(editor);
    }

    void keyboardTakenByAnotherWindowStaysThere()
    {
        const xcb_window_t editor = m_driver.createWindow(QRect(0, 500, 300, 100));
        const xcb_window_t other = m_driver.createWindow(QRect(400, 500, 300, 100));
        m_driver.setFocus(editor);
        m_system->takeFocus(m_panel.get());
        QTRY_COMPARE(m_driver.focus(), idOf(*m_panel));

        m_driver.setFocus(other);
        m_system->releaseFocus(m_panel.get());
        m_driver.sync();
        QCOMPARE(m_driver.focus(), other);
        m_driver.destroyWindow(other);
        m_driver.destroyWindow(editor);
    }

    void keyboardGoesToThePointerWhenTheOldOwnerIsGone()
    {
        const xcb_window_t editor = m_driver.createWindow(QRect(0, 500, 300, 100));
        m_driver.setFocus(editor);
        m_system->takeFocus(m_panel.get());
        QTRY_COMPARE(m_driver.focus(), idOf(*m_panel));
        m_driver.destroyWindow(editor);

        m_system->releaseFocus(m_panel.get());
        QTRY_COMPARE(m_driver.focus(), xcb_window_t(XCB_INPUT_FOCUS_POINTER_ROOT));
    }

private:
    XDriver m_driver;
    Backdrop m_backdrop;
    std::unique_ptr<X11PanelWindowSystem> m_system;
    std::unique_ptr<Panel> m_panel;
};

int main(int argc, char **argv)
{
    return tavrenhold::test::runOnPrivateDisplay<PanelWindowTest>(argc, argv, [] {
        qputenv("QT_SCALE_FACTOR", "1.5");
        qputenv("QT_QUICK_BACKEND", "software");
    });
}

#include "tst_panelwindow.moc"
