#pragma once

#include "platform/PanelWindowSystem.h"

#include <QHash>
#include <QPointer>
#include <QWindow>

namespace tavrenhold::test {

// Records what the panel asked of the window system.
class FakePanelWindowSystem final : public platform::PanelWindowSystem {
    Q_OBJECT

public:
    using PanelWindowSystem::PanelWindowSystem;

    bool prepare(QWindow *window) override;
    void setInputShape(QWindow *window, const QList<QRectF> &rects) override;
    void setOutline(QWindow *window, const QRegion &outline) override { outlines[window] = outline; }
    void raise(QWindow *window) override;
    void takeFocus(QWindow *window) override;
    void releaseFocus(QWindow *window) override;
    bool hasFocus(QWindow *window) const override { return window && focused == window; }
    bool compositing() const override { return m_compositing; }

    // Notifies only on change, as the real one does.
    void setCompositing(bool compositing);

    QList<QWindow *> prepared;
    QHash<QWindow *, QList<QRectF>> inputShapes; // the last shape set per window
    int inputShapeCalls = 0;
    QHash<QWindow *, QRegion> outlines;
    QList<QWindow *> raised;
    QPointer<QWindow> focused;
    int takeFocusCalls = 0;
    int releaseFocusCalls = 0;

private:
    bool m_compositing = true;
};

} // namespace tavrenhold::test
