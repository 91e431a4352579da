#pragma once

#include <QObject>
#include <QPointF>
#include <QtQml/qqmlregistration.h>

namespace tavrenhold {

// A containmentMask answered in C++. Hover delivery asks every item under the pointer on each move;
// a mask written as a QML function would run script (and make garbage) every time.
//     containmentMask: HitCircle { width: root.width; height: root.height }
class HitMask : public QObject {
    Q_OBJECT
    QML_ANONYMOUS
    Q_PROPERTY(double width READ width WRITE setWidth NOTIFY widthChanged)
    Q_PROPERTY(double height READ height WRITE setHeight NOTIFY heightChanged)

public:
    using QObject::QObject;

    [[nodiscard]] double width() const { return m_width; }
    void setWidth(double width);
    [[nodiscard]] double height() const { return m_height; }
    void setHeight(double height);

    // Whether a point of the item (its own coordinates) lies in the shape.
    Q_INVOKABLE virtual bool contains(const QPointF &point) const = 0;

Q_SIGNALS:
    void widthChanged();
    void heightChanged();

private:
    double m_width = 0;
    double m_height = 0;
};

// The circle of diameter min(width, height) centred in the item.
class HitCircle : public HitMask {
    Q_OBJECT
    QML_ELEMENT

public:
    using HitMask::HitMask;
    Q_INVOKABLE bool contains(const QPointF &point) const override;
};

// The capsule filling the item: a rectangle with fully rounded ends.
class HitCapsule : public HitMask {
    Q_OBJECT
    QML_ELEMENT

public:
    using HitMask::HitMask;
    Q_INVOKABLE bool contains(const QPointF &point) const override;
};

} // namespace tavrenhold
