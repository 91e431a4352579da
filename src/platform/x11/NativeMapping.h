#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QRectF>

#include <vector>

namespace tavrenhold::platform::x11 {

// One screen as Qt scales it: its logical geometry and its device-pixel ratio. Qt keeps a screen's
// top-left corner the same in native pixels and in logical coordinates and scales from there, so
// the screen covers (topLeft, size × ratio) in native pixels.
struct ScreenScale {
    QRect logical;
    qreal ratio = 1;
    bool operator==(const ScreenScale &) const = default;

    [[nodiscard]] QRect native() const;
};

// The X server speaks native pixels; the rest of the program speaks Qt's logical coordinates.
// Points outside every screen are taken with the first screen's scale.
class NativeMapping {
public:
    NativeMapping() = default;
    explicit NativeMapping(std::vector<ScreenScale> screens) : m_screens(std::move(screens)) {}

    // QGuiApplication's screens now, the primary first.
    [[nodiscard]] static NativeMapping current();

    [[nodiscard]] QPointF toLogical(QPoint native) const;
    // A rectangle goes with the screen that holds its centre.
    [[nodiscard]] QRectF toLogical(const QRect &native) const;

private:
    [[nodiscard]] const ScreenScale *screenAt(QPoint native) const;

    std::vector<ScreenScale> m_screens;
};

} // namespace tavrenhold::platform::x11
