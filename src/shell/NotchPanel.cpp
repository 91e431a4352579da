#include "NotchPanel.h"

#include "NotchHitBox.h"
#include "NotchShellModel.h"
#include "app/NotchSettings.h"
#include "drop/DropPane.h"
#include "platform/PanelWindowSystem.h"

#include <QFile>
#include <QJSEngine>
#include <QMetaMethod>
#include <QPointingDevice>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QResizeEvent>
#include <QUrl>
#include <QWheelEvent>

#include <malloc.h>

namespace tavrenhold {

// ---- ScrollEvent

ScrollEvent ScrollEvent::from(const QWheelEvent &event)
{
    ScrollEvent e;
    const QPoint pixels = event.pixelDelta();
    const QPoint angle = event.angleDelta();
    const QPointingDevice *device = event.pointingDevice();
    const bool touchpad = device && device->type() == QInputDevice::DeviceType::TouchPad;
    const bool partNotch = angle.x() % QWheelEvent::DefaultDeltasPerStep != 0
        || angle.y() % QWheelEvent::DefaultDeltasPerStep != 0;
    e.precise = !pixels.isNull() || touchpad || partNotch;
    // Angles come in eighths of a degree: 15 per wheel notch, and about one per point of travel from
    // a touchpad under libinput.
    const QPointF delta = !pixels.isNull() ? QPointF(pixels) : QPointF(angle) / 8.0;
    e.dx = delta.x();
    e.dy = delta.y();
    e.inverted = event.inverted();
    e.began = event.phase() == Qt::ScrollBegin;
    e.ended = event.phase() == Qt::ScrollEnd;
    e.momentum = event.phase() == Qt::ScrollMomentum;
    return e;
}

// ---- NotchPanel

NotchPanel::NotchPanel(platform::PanelWindowSystem &windows, NotchHitBox &hitBox, const QSize &size)
    : m_windows(windows)
    , m_hitBox(hitBox)
{
    setTitle(QStringLiteral("Tavrenhold"));
    setFlags(flags() | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    // Frameless, on top, left alone by the window manager, transparent: all before the native
    // window exists.
    [[maybe_unused]] const bool prepared = m_windows.prepare(this);
    resize(size);
    connect(&m_hitBox, &NotchHitBox::changed, this, &NotchPanel::applyInputShape);
    applyInputShape();
}

NotchPanel::~NotchPanel()
{
    m_scrollHandler = nullptr;
    // The views go before the engine that made them.
    delete m_dragCatcher.data();
    delete m_rootView.data();
}

void NotchPanel::setFrame(const QRect &frame)
{
    if (geometry() == frame)
        return;
    setGeometry(frame);
    // A resize arrives as an event; a move alone keeps the shape, which is in window coordinates.
    applyInputShape();
}

void NotchPanel::orderFront()
{
    if (!isVisible())
        show();
    m_windows.raise(this);
}

void NotchPanel::orderOut()
{
    if (isKey())
        handKeyAway();
    hide();
}

void NotchPanel::setLevel(int level)
{
    if (level == m_level)
        return;
    m_level = level;
    if (m_level > collapsedLevel && isVisible())
        m_windows.raise(this);
    Q_EMIT levelChanged();
}

void NotchPanel::setWantsKey(bool wants)
{
    if (wants == m_wantsKey)
        return;
    m_wantsKey = wants;
    Q_EMIT wantsKeyChanged();
}

bool NotchPanel::isKey() const
{
    return m_windows.hasFocus(const_cast<NotchPanel *>(this));
}

void NotchPanel::makeKey()
{
    if (m_wantsKey)
        m_windows.takeFocus(this);
}

void NotchPanel::handKeyAway()
{
    m_windows.releaseFocus(this);
}

void NotchPanel::setIgnoresMouseEvents(bool ignores)
{
    if (ignores == m_ignoresMouse)
        return;
    m_ignoresMouse = ignores;
    applyInputShape();
    Q_EMIT ignoresMouseEventsChanged();
}

void NotchPanel::applyScheme(ColorScheme scheme)
{
    if (scheme == m_scheme)
        return;
    m_scheme = scheme;
    Q_EMIT schemeChanged();
}

void NotchPanel::setOutline(const QRegion &outline)
{
    if (outline == m_outline)
        return;
    m_outline = outline;
    m_windows.setOutline(this, outline);
}

void NotchPanel::applyInputShape()
{
    QList<QRectF> shape;
    if (!m_ignoresMouse)
        shape = m_hitBox.regions(QRectF(QPointF(0, 0), QSizeF(size())));
    if (m_inputShapeSet && shape == m_inputShape)
        return;
    m_inputShapeSet = true;
    m_inputShape = shape;
    m_windows.setInputShape(this, shape);
}

void NotchPanel::setRootView(QQuickItem *view)
{
    if (view == m_rootView)
        return;
    delete m_rootView.data();
    m_rootView = view;
    if (!view)
        return;
    view->setParentItem(contentItem());
    view->setParent(this);
    view->setZ(0);
    layoutRootView();
    watchOpenLayer();
}

void NotchPanel::watchOpenLayer()
{
    QObject::disconnect(m_openLayerWatch);
    m_openLayer = m_rootView ? m_rootView->findChild<QQuickItem *>(QStringLiteral("expandedLayer")) : nullptr;
    if (!m_openLayer)
        return;
    const QMetaObject *meta = m_openLayer->metaObject();
    const int active = meta->indexOfProperty("active");
    if (active < 0 || !meta->property(active).hasNotifySignal())
        return;
    const QMetaMethod changed = meta->property(active).notifySignal();
    const QMetaMethod release = metaObject()->method(metaObject()->indexOfSlot("releaseClosedViewsLater()"));
    m_openLayerWatch = QObject::connect(m_openLayer, changed, this, release);
}

void NotchPanel::releaseClosedViewsLater()
{
    // The layer deletes its views later; the release follows them through the event queue.
    if (m_openLayer && !m_openLayer->property("active").toBool())
        QMetaObject::invokeMethod(this, &NotchPanel::releaseClosedViews, Qt::QueuedConnection);
}

void NotchPanel::releaseClosedViews()
{
    if (!m_engine || !m_openLayer || m_openLayer->property("active").toBool())
        return;
    // The open panel's views are gone: their script objects become garbage, the compiled components
    // only they used are dropped (the next opening makes them again from the built-in cache), and the
    // heap hands the pages freed by both back to the system.
    m_engine->collectGarbage();
    m_engine->trimComponentCache();
    malloc_trim(0);
}

void NotchPanel::setDragCatcher(DropWellView *catcher)
{
    if (catcher == m_dragCatcher)
        return;
    delete m_dragCatcher.data();
    m_dragCatcher = catcher;
    if (!catcher)
        return;
    catcher->setParentItem(contentItem());
    catcher->setParent(this);
    catcher->setZ(1); // above the views
    catcher->setOpacity(0);
}

void NotchPanel::layoutRootView()
{
    if (m_rootView)
        m_rootView->setSize(QSizeF(size()));
}

void NotchPanel::resizeEvent(QResizeEvent *event)
{
    QQuickWindow::resizeEvent(event);
    layoutRootView();
    applyInputShape();
}

void NotchPanel::wheelEvent(QWheelEvent *event)
{
    if (m_scrollHandler && m_scrollHandler(ScrollEvent::from(*event))) {
        event->accept();
        return;
    }
    QQuickWindow::wheelEvent(event);
}

QQmlEngine &NotchPanel::engine()
{
    if (!m_engine) {
        m_engine = std::make_unique<QQmlEngine>();
        m_engine->addImportPath(QStringLiteral("qrc:/")); // our modules' QML files are built in
    }
    return *m_engine;
}

// ---- The root view

namespace {

const char *const rootViewPath = ":/Tavrenhold/Shell/qml/NotchRootView.qml";

// Hands the view's hover reports to the controller.
class HoverRelay final : public QObject {
    Q_OBJECT

public:
    HoverRelay(NotchPanel::HoverHandler handler, QObject *parent)
        : QObject(parent)
        , m_handler(std::move(handler))
    {
    }

    Q_INVOKABLE void hoverChange(bool hovering)
    {
        if (m_handler)
            m_handler(hovering);
    }

private:
    NotchPanel::HoverHandler m_handler;
};

} // namespace

QQuickItem *NotchPanel::makeRootView(NotchPanel &panel, NotchShellModel &model, NotchHitBox &hitBox,
                                     NotchSettings &settings, HoverHandler hover)
{
    if (!QFile::exists(QLatin1String(rootViewPath)))
        return nullptr;
    QQmlEngine &engine = panel.engine();
    QQmlComponent component(&engine, QUrl(QStringLiteral("qrc") + QLatin1String(rootViewPath)));
    if (!component.isReady())
        return nullptr;

    auto *relay = new HoverRelay(std::move(hover), &panel);
    QObject *made = component.beginCreate(engine.rootContext());
    if (!made) {
        delete relay;
        return nullptr;
    }
    // Only what the view declares: the model, the hit box, the settings and the hover callback.
    const QVariantMap offered{
        {QStringLiteral("model"), QVariant::fromValue<QObject *>(&model)},
        {QStringLiteral("hitBox"), QVariant::fromValue<QObject *>(&hitBox)},
        {QStringLiteral("settings"), QVariant::fromValue<QObject *>(&settings)},
        {QStringLiteral("onHoverChange"),
         QVariant::fromValue(engine.newQObject(relay).property(QStringLiteral("hoverChange")))},
    };
    QVariantMap initial;
    const QMetaObject *meta = made->metaObject();
    for (auto it = offered.cbegin(); it != offered.cend(); ++it) {
        if (meta->indexOfProperty(it.key().toUtf8().constData()) >= 0)
            initial.insert(it.key(), it.value());
    }
    component.setInitialProperties(made, initial);
    // A view that reports hovering by a signal instead: hoverChange(bool).
    const int signal = meta->indexOfSignal("hoverChange(bool)");
    if (signal >= 0) {
        QObject::connect(made, meta->method(signal), relay,
                         relay->metaObject()->method(relay->metaObject()->indexOfMethod("hoverChange(bool)")));
    }
    component.completeCreate();
    auto *item = qobject_cast<QQuickItem *>(made);
    if (!item || component.isError()) {
        delete made;
        delete relay;
        return nullptr;
    }
    return item;
}

} // namespace tavrenhold

#include "NotchPanel.moc"
