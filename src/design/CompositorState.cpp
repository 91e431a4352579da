#include "CompositorState.h"

#include "platform/Compositor.h"

namespace tavrenhold {

CompositorState::CompositorState(platform::Compositor &compositor, QObject *parent)
    : QObject(parent), m_compositor(&compositor)
{
    connect(&compositor, &platform::Compositor::compositedChanged, this, &CompositorState::compositedChanged);
}

CompositorState *CompositorState::create(QQmlEngine *, QJSEngine *)
{
    // Owned by the engine that asked for it.
    return new CompositorState(platform::Compositor::shared());
}

bool CompositorState::composited() const
{
    return m_compositor && m_compositor->composited();
}

} // namespace tavrenhold
