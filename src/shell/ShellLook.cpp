#include "ShellLook.h"

#include "design/Controls.h"

#include <algorithm>
#include <cmath>

namespace tavrenhold {

namespace pills {

PillLook look(double selection, double hover, ColorScheme scheme)
{
    const QColor idleBackground = controls::mix(Style::color(ColorToken::fill, scheme),
                                                Style::color(ColorToken::fillHover, scheme), hover);
    return {controls::mix(Style::color(ColorToken::inkFaint, scheme), Style::color(ColorToken::onActive, scheme),
                          selection),
            controls::mix(idleBackground, Style::color(ColorToken::fillActive, scheme), selection)};
}

QFont captionFont()
{
    QFont font = Style::font(FontToken::label);
    font.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    return font;
}

bool capsuleHit(QPointF point, double width, double height)
{
    if (!(width > 0) || !(height > 0))
        return false;
    const double r = std::min(width, height) / 2;
    // The nearest point of the capsule's spine (the segment between the two end centres).
    const double cx = std::clamp(point.x(), r, std::max(r, width - r));
    const double cy = std::clamp(point.y(), r, std::max(r, height - r));
    return std::hypot(point.x() - cx, point.y() - cy) <= r;
}

} // namespace pills

ShellLook::ShellLook(QObject *parent) : QObject(parent) {}

QColor ShellLook::pillForeground(double selection, double hover, bool dark) const
{
    return pills::look(selection, hover, dark ? ColorScheme::dark : ColorScheme::light).foreground;
}

QColor ShellLook::pillBackground(double selection, double hover, bool dark) const
{
    return pills::look(selection, hover, dark ? ColorScheme::dark : ColorScheme::light).background;
}

bool ShellLook::pillHit(QPointF point, double width, double height) const
{
    return pills::capsuleHit(point, width, height);
}

} // namespace tavrenhold
