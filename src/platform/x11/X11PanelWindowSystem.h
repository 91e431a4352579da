#pragma once

#include "platform/PanelWindowSystem.h"
#include "XcbConnection.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QWindow>

#include <memory>
#include <unordered_map>
#include <vector>

namespace tavrenhold::platform {
class Compositor;
}

namespace tavrenhold::platform::x11 {

class WindowManagerCheck;

// The panel on X11: an override-redirect window (a managed or dock window loses clicks to the
// window manager's frame, which copies only the bounding shape), click-through by its X input shape
// in native pixels, cut by its bounding shape (QWindow::setMask) where no compositor runs, and
// raised again over windows mapped later when no window manager keeps it on top. Requests about our
// own windows go through Qt's connection, in order with Qt's own (so they never precede the
// window's creation); what we follow of other clients comes through our own connection.
//
// Never use Qt::WindowTransparentForInput with it: setting that flag empties the input shape and
// clearing it makes it the whole window.
class X11PanelWindowSystem final : public PanelWindowSystem {
    Q_OBJECT

public:
    // Without an X11 platform (offscreen, say) everything is kept but nothing reaches a server.
    // `compositor` defaults to the process's shared one.
    explicit X11PanelWindowSystem(QObject *parent = nullptr);
    X11PanelWindowSystem(std::shared_ptr<XcbConnection> connection, Compositor *compositor, QObject *parent);
    ~X11PanelWindowSystem() override;

    bool prepare(QWindow *window) override;
    void setInputShape(QWindow *window, const QList<QRectF> &rects) override;
    void setOutline(QWindow *window, const QRegion &outline) override;
    void raise(QWindow *window) override;
    void takeFocus(QWindow *window) override;
    void releaseFocus(QWindow *window) override;
    bool hasFocus(QWindow *window) const override;
    bool compositing() const override;

    // Native pixels of logical window rectangles at `ratio`, each rounded outwards so no logical
    // point is lost; empty and non-finite rectangles are left out.
    [[nodiscard]] static std::vector<xcb_rectangle_t> nativeRects(const QList<QRectF> &rects, qreal ratio);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Panel {
        QPointer<QWindow> window;
        bool inputShapeSet = false;
        QList<QRectF> inputRects;
        QRegion outline;
        xcb_window_t previousFocus = XCB_WINDOW_NONE;
    };

    Panel &panel(QWindow *window);
    void applyInputShape(const Panel &panel) const;
    void applyOutline(const Panel &panel) const;
    void onEvent(const xcb_generic_event_t *event);
    void checkStacking();
    void restack(xcb_window_t window);
    [[nodiscard]] xcb_window_t focusNow() const;

    xcb_connection_t *m_qt = nullptr; // Qt's connection
    std::shared_ptr<XcbConnection> m_connection;
    QPointer<Compositor> m_compositor;
    std::unique_ptr<WindowManagerCheck> m_windowManager;
    int m_listener = 0;
    bool m_stackingCheckQueued = false;
    QElapsedTimer m_raiseWindow;
    int m_raisesInWindow = 0;
    std::unordered_map<QWindow *, Panel> m_panels;
};

} // namespace tavrenhold::platform::x11
