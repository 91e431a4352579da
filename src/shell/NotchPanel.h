#pragma once

#include "design/Style.h"
#include "drop/DropWellView.h"

#include <QPointer>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegion>

#include <functional>
#include <memory>

class QQmlEngine;

namespace tavrenhold {

class NotchHitBox;
class NotchSettings;
class NotchShellModel;

namespace platform {
class PanelWindowSystem;
}

// One wheel or trackpad scroll over the panel, as the controller reads it. Deltas are in the wheel's
// own sense: positive y scrolls up (towards the top of the content), positive x towards the left.
//
// X11 gives touchpad scrolls no phases. Under libinput they come as angle deltas only (eight per
// point of travel), under synaptics with pixel deltas too; wheel notches come as whole multiples of
// 120 in angle. So a scroll counts as a trackpad's when it has pixel deltas, when its device is a
// touchpad, or when its angle deltas are not whole notches.
struct ScrollEvent {
    double dx = 0;
    double dy = 0;
    bool precise = false;  // from a trackpad, rather than wheel notches
    bool inverted = false; // the device reports "natural" scrolling
    bool began = false;    // the first event of a trackpad gesture, where the system tells
    bool ended = false;    // the last event of a trackpad gesture, where the system tells
    bool momentum = false; // sent after the fingers left the pad

    bool operator==(const ScrollEvent &) const = default;

    [[nodiscard]] static ScrollEvent from(const class QWheelEvent &event);
};

// The window the notch surface lives in: borderless, above all other windows on every desktop, left
// alone by the window manager, transparent where nothing is drawn. It is much larger than the
// surface; clicks reach it only inside the hit box (and nowhere while it ignores the mouse), and it
// takes the keyboard only while the controller wants it to. The controller drives every property.
class NotchPanel final : public QQuickWindow {
    Q_OBJECT
    Q_PROPERTY(int level READ level NOTIFY levelChanged)
    Q_PROPERTY(bool wantsKey READ wantsKey NOTIFY wantsKeyChanged)
    Q_PROPERTY(bool ignoresMouseEvents READ ignoresMouseEvents NOTIFY ignoresMouseEventsChanged)
    Q_PROPERTY(tavrenhold::ColorSchemes::ColorScheme scheme READ scheme NOTIFY schemeChanged)

public:
    // Window levels: above normal windows while collapsed, above everything while expanded.
    static constexpr int collapsedLevel = 26;
    static constexpr int expandedLevel = 102;

    using ScrollHandler = std::function<bool(const ScrollEvent &)>;
    using HoverHandler = std::function<void(bool)>;

    // Made as a collapsed panel: level 26, dark, ignoring the mouse, not shown. The window system
    // and the hit box must outlive the panel.
    NotchPanel(platform::PanelWindowSystem &windows, NotchHitBox &hitBox, const QSize &size);
    ~NotchPanel() override;

    // Places the panel (Qt's global coordinates) and re-applies its input shape.
    void setFrame(const QRect &frame);
    // Shows it and puts it above all other windows.
    void orderFront();
    // Hides it, handing the keyboard away first.
    void orderOut();

    [[nodiscard]] int level() const { return m_level; }
    // Going up to the expanded level puts the panel above all windows.
    void setLevel(int level);

    [[nodiscard]] bool wantsKey() const { return m_wantsKey; }
    void setWantsKey(bool wants);
    // Whether the panel has the keyboard.
    [[nodiscard]] bool isKey() const;
    // Takes the keyboard; only while wantsKey.
    void makeKey();
    // Hands the keyboard back to whoever had it before (the key relay of other desktops).
    void handKeyAway();

    [[nodiscard]] bool ignoresMouseEvents() const { return m_ignoresMouse; }
    // Ignoring: no click reaches the panel. Otherwise the hit box's regions do.
    void setIgnoresMouseEvents(bool ignores);

    [[nodiscard]] ColorScheme scheme() const { return m_scheme; }
    // Light or dark for the views; nothing happens when it already is that scheme.
    void applyScheme(ColorScheme scheme);

    // The outline of the drawn surface; where no compositor runs, the window is cut to it.
    void setOutline(const QRegion &outline);
    [[nodiscard]] QRegion outline() const { return m_outline; }

    // The input shape last handed to the window system.
    [[nodiscard]] QList<QRectF> inputShape() const { return m_inputShape; }

    // Hosts `view` filling the panel (the panel takes ownership), below the drag catcher.
    void setRootView(QQuickItem *view);
    [[nodiscard]] QQuickItem *rootView() const { return m_rootView; }
    // Lays the catcher, a bare drop well, above everything else, disarmed (transparent); the
    // panel takes ownership.
    void setDragCatcher(DropWellView *catcher);
    [[nodiscard]] DropWellView *dragCatcher() const { return m_dragCatcher; }

    // Wheel and trackpad scrolls go to `handler` first; it returns whether it swallowed the event.
    void setScrollHandler(ScrollHandler handler) { m_scrollHandler = std::move(handler); }

    // The engine the panel's views are made in (made on first use, with our QML modules).
    [[nodiscard]] QQmlEngine &engine();

    // The notch views' root, NotchRootView, over the model, the hit box and the settings; `hover` is
    // called with true when the pointer enters the surface and false when it leaves. Null when the
    // view cannot be made.
    [[nodiscard]] static QQuickItem *makeRootView(NotchPanel &panel, NotchShellModel &model, NotchHitBox &hitBox,
                                                  NotchSettings &settings, HoverHandler hover);

Q_SIGNALS:
    void levelChanged();
    void wantsKeyChanged();
    void ignoresMouseEventsChanged();
    void schemeChanged();

private Q_SLOTS:
    void releaseClosedViewsLater();

protected:
    void wheelEvent(QWheelEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void applyInputShape();
    void layoutRootView();
    void watchOpenLayer();
    void releaseClosedViews();

    platform::PanelWindowSystem &m_windows;
    NotchHitBox &m_hitBox;
    int m_level = collapsedLevel;
    bool m_wantsKey = false;
    bool m_ignoresMouse = true;
    ColorScheme m_scheme = ColorScheme::dark;
    QRegion m_outline;
    QList<QRectF> m_inputShape;
    bool m_inputShapeSet = false;
    QPointer<QQuickItem> m_rootView;
    QPointer<QQuickItem> m_openLayer;
    QMetaObject::Connection m_openLayerWatch;
    QPointer<DropWellView> m_dragCatcher;
    ScrollHandler m_scrollHandler;
    std::unique_ptr<QQmlEngine> m_engine;
};

} // namespace tavrenhold
