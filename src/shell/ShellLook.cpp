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

} // namespace tavrenhold
