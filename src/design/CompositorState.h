#pragma once

#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

class QQmlEngine;
class QJSEngine;

namespace tavrenhold {

namespace platform {
class Compositor;
}

// Whether a compositing manager runs, for QML as the singleton Compositor (read by NotchMaterial's
// `composited`). Follows a platform::Compositor live.
class CompositorState : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Compositor)
    QML_SINGLETON
    Q_PROPERTY(bool composited READ composited NOTIFY compositedChanged)

public:
    // No default constructor: the QML engine then calls create().
    explicit CompositorState(platform::Compositor &compositor, QObject *parent = nullptr);
    // The QML singleton: a new instance over the process's compositor watch.
    static CompositorState *create(QQmlEngine *, QJSEngine *);

    [[nodiscard]] bool composited() const;

Q_SIGNALS:
    void compositedChanged();

private:
    QPointer<platform::Compositor> m_compositor;
};

} // namespace tavrenhold
