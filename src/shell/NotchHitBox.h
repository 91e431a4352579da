#pragma once

#include <QList>
#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QtQml/qqmlregistration.h>

namespace tavrenhold {

// How much of the notch panel takes the pointer: a surface of `size` hanging from the middle of the
// panel's top edge, and, while a file drag is armed, the drop band. Everything else lets clicks
// through to the windows below. The notch controller writes it; the panel turns it into the
// window's input shape; the root view receives the same instance.
//
// All rectangles are in the panel's own coordinates (logical pixels, origin top left, y down).
class NotchHitBox : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The notch controller makes the hit box.")
    Q_PROPERTY(QSizeF size READ size NOTIFY changed)
    Q_PROPERTY(QRectF dragBand READ dragBand NOTIFY changed)
    Q_PROPERTY(bool dragArmed READ dragArmed NOTIFY changed)

public:
    // Points of slack round the surface on every side.
    static constexpr double slack = 2;

    using QObject::QObject;

    [[nodiscard]] QSizeF size() const { return m_size; }
    [[nodiscard]] QRectF dragBand() const { return m_dragBand; }
    [[nodiscard]] bool dragArmed() const { return m_dragArmed; }
    // A pane's open popover in panel coordinates (the output picker's), empty when none.
    [[nodiscard]] QRectF popover() const { return m_popover; }

    // Each notifies only on a change.
    void setSize(const QSizeF &size);
    void setDragBand(const QRectF &band);
    void setDragArmed(bool armed);
    void setPopover(const QRectF &rect);

    // The surface in a panel of `bounds`: `size`, centred on the top edge, grown by the slack.
    [[nodiscard]] QRectF surfaceRect(const QRectF &bounds) const;
    // Whether a point of the panel takes the pointer: the surface, the drop band while armed, an
    // open popover. Edges count as inside.
    [[nodiscard]] bool hitTest(const QPointF &point, const QRectF &bounds) const;
    // The rectangles that take the pointer: the surface, the drop band while armed, and an open
    // popover.
    [[nodiscard]] QList<QRectF> regions(const QRectF &bounds) const;

Q_SIGNALS:
    void changed();

private:
    QSizeF m_size;
    QRectF m_dragBand;
    bool m_dragArmed = false;
    QRectF m_popover;
};

} // namespace tavrenhold
