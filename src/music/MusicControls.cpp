#include "MusicControls.h"

#include <algorithm>
#include <cmath>

namespace tavrenhold {

namespace musiccontrols {

namespace {
double finiteOrZero(double v) { return std::isfinite(v) ? v : 0; }
} // namespace

double barFraction(double x, double width)
{
    if (!std::isfinite(width) || !std::isfinite(x) || width <= 0)
        return 0;
    return std::clamp(x / width, 0.0, 1.0);
}

double barValue(double value) { return std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0; }

double knobOffset(double value, double width) { return barValue(value) * std::max(finiteOrZero(width) - knobSize, 0.0); }

double barThickness(bool active) { return active ? 5 : 3; }
double knobOpacity(bool active) { return active ? 1 : 0; }
double knobScale(bool active) { return active ? 1 : knobRestScale; }

double overflow(double textWidth, double containerWidth)
{
    return finiteOrZero(textWidth) - finiteOrZero(containerWidth);
}

bool canScroll(bool hovering, double textWidth, double containerWidth, bool reduceMotion)
{
    return hovering && overflow(textWidth, containerWidth) > 1 && !reduceMotion;
}

double sweepDistance(double textWidth, double containerWidth)
{
    return std::max(overflow(textWidth, containerWidth), 0.0) + sweepMargin;
}

int sweepDuration(double distance) { return int(std::lround(finiteOrZero(distance) / sweepSpeed * 1000)); }

QString marqueeTooltip(const QString &text, double textWidth, double containerWidth)
{
    return overflow(textWidth, containerWidth) > 1 ? text : QString();
}

double restingOpacity(double offset, bool canScroll) { return offset > 0.5 || canScroll ? 0 : 1; }
double scrollingOpacity(double offset, bool canScroll) { return offset > 0.5 || canScroll ? 1 : 0; }

} // namespace musiccontrols

MusicControlLooks::MusicControlLooks(QObject *parent) : QObject(parent) {}

double MusicControlLooks::barFraction(double x, double width) const { return musiccontrols::barFraction(x, width); }
double MusicControlLooks::barValue(double value) const { return musiccontrols::barValue(value); }
double MusicControlLooks::knobOffset(double value, double width) const
{
    return musiccontrols::knobOffset(value, width);
}
double MusicControlLooks::barThickness(bool active) const { return musiccontrols::barThickness(active); }
double MusicControlLooks::knobOpacity(bool active) const { return musiccontrols::knobOpacity(active); }
double MusicControlLooks::knobScale(bool active) const { return musiccontrols::knobScale(active); }
bool MusicControlLooks::canScroll(bool hovering, double textWidth, double containerWidth, bool reduceMotion) const
{
    return musiccontrols::canScroll(hovering, textWidth, containerWidth, reduceMotion);
}
double MusicControlLooks::sweepDistance(double textWidth, double containerWidth) const
{
    return musiccontrols::sweepDistance(textWidth, containerWidth);
}
int MusicControlLooks::sweepDuration(double distance) const { return musiccontrols::sweepDuration(distance); }
QString MusicControlLooks::marqueeTooltip(const QString &text, double textWidth, double containerWidth) const
{
    return musiccontrols::marqueeTooltip(text, textWidth, containerWidth);
}
double MusicControlLooks::restingOpacity(double offset, bool canScroll) const
{
    return musiccontrols::restingOpacity(offset, canScroll);
}
double MusicControlLooks::scrollingOpacity(double offset, bool canScroll) const
{
    return musiccontrols::scrollingOpacity(offset, canScroll);
}

} // namespace tavrenhold
