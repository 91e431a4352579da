#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace tavrenhold {

// The numbers of the Music pane's own controls: the clickable bar under the scrubber and the volume
// slider, and the one-line title that sweeps when it does not fit. The QML views lay out and
// animate; what they show is computed here.
namespace musiccontrols {

// InteractiveBar.
inline constexpr double barHeight = 18;
inline constexpr double knobSize = 13;
inline constexpr double knobRestScale = 0.55;
// The fraction under a pointer at `x` in a bar `width` wide: 0 for a width of 0 or less, and for a
// width or position that is not a number; otherwise x / width within 0 … 1.
[[nodiscard]] double barFraction(double x, double width);
// A value as the bar shows it: within 0 … 1, not a number as 0.
[[nodiscard]] double barValue(double value);
// How far right the knob's leading edge sits: from 0 at value 0 to width − 13 at value 1.
[[nodiscard]] double knobOffset(double value, double width);
// The bar is 5 points thick while hovered or dragged, else 3; the knob shows only then.
[[nodiscard]] double barThickness(bool active);
[[nodiscard]] double knobOpacity(bool active);
[[nodiscard]] double knobScale(bool active);

// MarqueeText.
inline constexpr int leadInMs = 550;
inline constexpr double sweepMargin = 16; // the end of the text stops this far inside the right edge
inline constexpr double sweepSpeed = 26;  // points per second
[[nodiscard]] double overflow(double textWidth, double containerWidth);
// Sweeping is allowed while hovered, when the text is more than 1 point too wide, and motion is not
// reduced.
[[nodiscard]] bool canScroll(bool hovering, double textWidth, double containerWidth, bool reduceMotion);
// One sweep's length in points and its duration in milliseconds.
[[nodiscard]] double sweepDistance(double textWidth, double containerWidth);
[[nodiscard]] int sweepDuration(double distance);
// The whole text as a tooltip when it does not fit, else none.
[[nodiscard]] QString marqueeTooltip(const QString &text, double textWidth, double containerWidth);
// Exactly one of the two drawn copies shows: the scrolling one while sweeping may run or while the
// text is still away from its rest position.
[[nodiscard]] double restingOpacity(double offset, bool canScroll);
[[nodiscard]] double scrollingOpacity(double offset, bool canScroll);

} // namespace musiccontrols

// The same numbers for QML, as the singleton MusicControls.
class MusicControlLooks : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(MusicControls)
    QML_SINGLETON
    Q_PROPERTY(double barHeight READ barHeight CONSTANT)
    Q_PROPERTY(double knobSize READ knobSize CONSTANT)
    Q_PROPERTY(int leadInMs READ leadInMs CONSTANT)

public:
    explicit MusicControlLooks(QObject *parent = nullptr);

    static double barHeight() { return musiccontrols::barHeight; }
    static double knobSize() { return musiccontrols::knobSize; }
    static int leadInMs() { return musiccontrols::leadInMs; }

    Q_INVOKABLE double barFraction(double x, double width) const;
    Q_INVOKABLE double barValue(double value) const;
    Q_INVOKABLE double knobOffset(double value, double width) const;
    Q_INVOKABLE double barThickness(bool active) const;
    Q_INVOKABLE double knobOpacity(bool active) const;
    Q_INVOKABLE double knobScale(bool active) const;
    Q_INVOKABLE bool canScroll(bool hovering, double textWidth, double containerWidth, bool reduceMotion) const;
    Q_INVOKABLE double sweepDistance(double textWidth, double containerWidth) const;
    Q_INVOKABLE int sweepDuration(double distance) const;
    Q_INVOKABLE QString marqueeTooltip(const QString &text, double textWidth, double containerWidth) const;
    Q_INVOKABLE double restingOpacity(double offset, bool canScroll) const;
    Q_INVOKABLE double scrollingOpacity(double offset, bool canScroll) const;
};

} // namespace tavrenhold
