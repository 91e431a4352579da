#include "FakePanelWindowSystem.h"

namespace tavrenhold::test {

bool FakePanelWindowSystem::prepare(QWindow *window)
{
    // Like the real one: too late once the native window exists.
    if (!window || window->handle())
        return false;
    prepared.append(window);
    return true;
}

void FakePanelWindowSystem::setInputShape(QWindow *window, const QList<QRectF> &rects)
{
    ++inputShapeCalls;
    inputShapes[window] = rects;
}

void FakePanelWindowSystem::raise(QWindow *window)
{
    raised.append(window);
}

void FakePanelWindowSystem::takeFocus(QWindow *window)
{
    ++takeFocusCalls;
    focused = window;
}

void FakePanelWindowSystem::releaseFocus(QWindow *window)
{
    ++releaseFocusCalls;
    if (focused == window)
        focused = nullptr;
}

void FakePanelWindowSystem::setCompositing(bool compositing)
{
    if (std::exchange(m_compositing, compositing) != compositing)
        Q_EMIT compositingChanged(compositing);
}

} // namespace tavrenhold::test
