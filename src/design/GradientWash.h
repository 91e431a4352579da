#pragma once

#include "ArtworkPalette.h"

#include <QColor>
#include <QObject>
#include <QtQml/qqmlregistration.h>

#include <optional>

class QQmlEngine;
class QJSEngine;

namespace tavrenhold {

// The accent colour of the current artwork, which the surface's gradient material washes with.
// Written on the main thread by the Music pane only; a write notifies only when the value changes.
// In QML it is the singleton GradientWash, read as `hasAccent` and `color`.
class GradientWash : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool hasAccent READ hasAccent NOTIFY accentChanged)
    Q_PROPERTY(QColor color READ color NOTIFY accentChanged)

public:
    // Takes its parent explicitly: a default-constructible type would make the QML engine build a
    // wash of its own instead of calling create().
    explicit GradientWash(QObject *parent);

    // The wash of the run, created on first use with no accent.
    static GradientWash &shared();
    // The QML singleton is the shared wash.
    static GradientWash *create(QQmlEngine *, QJSEngine *);

    [[nodiscard]] std::optional<ArtworkAccent> accent() const { return m_accent; }
    void setAccent(std::optional<ArtworkAccent> accent);

    [[nodiscard]] bool hasAccent() const { return m_accent.has_value(); }
    // The accent as an opaque colour; an invalid colour when there is none.
    [[nodiscard]] QColor color() const;

Q_SIGNALS:
    void accentChanged();

private:
    std::optional<ArtworkAccent> m_accent;
};

} // namespace tavrenhold
