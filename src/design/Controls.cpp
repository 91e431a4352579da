#include "Controls.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tavrenhold::controls {

namespace {

double unit(double t)
{
    return std::isfinite(t) ? std::clamp(t, 0.0, 1.0) : 0.0;
}

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(float(std::clamp(alpha, 0.0, 1.0)));
    return color;
}

ColorScheme schemeOf(bool dark)
{
    return dark ? ColorScheme::dark : ColorScheme::light;
}

} // namespace

QColor mix(const QColor &from, const QColor &to, double t)
{
    t = unit(t);
    const double a0 = from.alphaF();
    const double a1 = to.alphaF();
    const double a = a0 + (a1 - a0) * t;
    if (a <= 0)
        return withAlpha(to, 0);
    const auto channel = [&](double c0, double c1) {
        return std::clamp((c0 * a0 + (c1 * a1 - c0 * a0) * t) / a, 0.0, 1.0);
    };
    return QColor::fromRgbF(float(channel(from.redF(), to.redF())), float(channel(from.greenF(), to.greenF())),
                            float(channel(from.blueF(), to.blueF())), float(a));
}

ButtonLook buttonLook(double selection, double hover, ColorScheme scheme)
{
    const double h = unit(hover);
    const QColor ink = Style::color(ColorToken::ink, scheme);
    const QColor fill = Style::color(ColorToken::fill, scheme);
    const QColor idleForeground = withAlpha(ink, ink.alphaF() * (0.86 + 0.14 * h));
    const QColor idleBackground = withAlpha(fill, fill.alphaF() * h);
    return {mix(idleForeground, Style::color(ColorToken::onActive, scheme), selection),
            mix(idleBackground, Style::color(ColorToken::fillActive, scheme), selection)};
}

bool buttonHit(QPointF point, double width, double height)
{
    const double r = std::min(width, height) / 2;
    if (!(r > 0))
        return false;
    const double dx = point.x() - width / 2;
    const double dy = point.y() - height / 2;
    return dx * dx + dy * dy <= r * r;
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

QColor tileFill(double hover, ColorScheme scheme)
{
    return mix(Style::color(ColorToken::fill, scheme), Style::color(ColorToken::fillHover, scheme), hover);
}

double progressTrackOpacity(double prominence)
{
    return std::isfinite(prominence) ? std::clamp(0.1 + 0.1 * prominence, 0.0, 1.0) : 0.1;
}

double progressFillOpacity(double prominence)
{
    return std::isfinite(prominence) ? std::clamp(0.55 + 0.45 * prominence, 0.0, 1.0) : 0.55;
}

double progressFillWidth(double width, double value)
{
    if (!std::isfinite(width) || !std::isfinite(value) || width <= 0 || value <= 0)
        return 0;
    return width * value;
}

bool progressGlides(double width, double from, double to)
{
    const double moved = progressFillWidth(width, to) - progressFillWidth(width, from);
    return std::abs(moved) > progressStepLimit;
}

bool ringGlides(double size, double from, double to)
{
    const double span = unit(to) - unit(from);
    const double across = std::isfinite(size) ? std::max(size, 0.0) : 0.0;
    return std::abs(span) * std::numbers::pi * across > progressStepLimit;
}

double waveformLevel(double level)
{
    return unit(level);
}

double waveformBarHeight(double level, double height)
{
    const double offered = std::isfinite(height) ? std::max(height, 0.0) : 0.0;
    return std::max(offered * waveformLevel(level), waveformMinimumBar);
}

double waveformOpacity(bool playing)
{
    return playing ? 0.85 : 0.35;
}

double ringFraction(double value)
{
    return unit(value);
}

QColor ringTrack(ColorScheme scheme)
{
    const QColor ink = Style::color(ColorToken::ink, scheme);
    return withAlpha(ink, ink.alphaF() * ringTrackOpacity);
}

} // namespace tavrenhold::controls

namespace tavrenhold {

using namespace controls;

ControlLooks::ControlLooks(QObject *parent) : QObject(parent) {}

QColor ControlLooks::buttonForeground(double selection, double hover, bool dark) const
{
    return buttonLook(selection, hover, schemeOf(dark)).foreground;
}

QColor ControlLooks::buttonBackground(double selection, double hover, bool dark) const
{
    return buttonLook(selection, hover, schemeOf(dark)).background;
}

QColor ControlLooks::tileFill(double hover, bool dark) const
{
    return controls::tileFill(hover, schemeOf(dark));
}

double ControlLooks::progressTrackOpacity(double prominence) const
{
    return controls::progressTrackOpacity(prominence);
}

double ControlLooks::progressFillOpacity(double prominence) const
{
    return controls::progressFillOpacity(prominence);
}

double ControlLooks::progressFillWidth(double width, double value) const
{
    return controls::progressFillWidth(width, value);
}

bool ControlLooks::progressGlides(double width, double from, double to) const
{
    return controls::progressGlides(width, from, to);
}

bool ControlLooks::ringGlides(double size, double from, double to) const
{
    return controls::ringGlides(size, from, to);
}

double ControlLooks::waveformLevel(double level) const
{
    return controls::waveformLevel(level);
}

double ControlLooks::waveformBarHeight(double level, double height) const
{
    return controls::waveformBarHeight(level, height);
}

double ControlLooks::waveformOpacity(bool playing) const
{
    return controls::waveformOpacity(playing);
}

double ControlLooks::ringFraction(double value) const
{
    return controls::ringFraction(value);
}

QColor ControlLooks::ringTrack(bool dark) const
{
    return controls::ringTrack(schemeOf(dark));
}

} // namespace tavrenhold
