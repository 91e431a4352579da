#pragma once

#include "Style.h"

#include <QColor>
#include <QObject>
#include <QPointF>
#include <QtQml/qqmlregistration.h>

namespace tavrenhold {

// The numbers and colours of the shared controls (NotchButton, NotchTile, NotchProgress,
// NotchWaveform, NotchRing). The QML controls only lay out and bind; what they show is computed
// here.
namespace controls {

// The state flags below (`selection`, `hover`) are numbers as the controls draw them: 0 off, 1 on,
// in between while a Motion.tap spring carries them (a spring may overshoot; the looks clamp).

struct ButtonLook {
    QColor foreground; // the symbol
    QColor background; // the circle behind it
    bool operator==(const ButtonLook &) const = default;
};

// NotchButton: `Style.onActive` on `Style.fillActive` when selected; otherwise `Style.ink` at 0.86
// (1 while hovered) on `Style.fill` shown only while hovered.
[[nodiscard]] ButtonLook buttonLook(double selection, double hover, ColorScheme scheme);
inline constexpr double buttonPressedScale = 0.86;
inline constexpr double buttonFramePadding = 14; // the frame is the symbol size + this
// Whether a point of a `width` × `height` button frame lies in its hit circle.
[[nodiscard]] bool buttonHit(QPointF point, double width, double height);
// Whether a point of a `width` × `height` item lies in the capsule that fills it.
[[nodiscard]] bool capsuleHit(QPointF point, double width, double height);

// NotchTile: `Style.fill`, or `Style.fillHover` while an interactive tile is hovered.
[[nodiscard]] QColor tileFill(double hover, ColorScheme scheme);
inline constexpr double tileCornerRadius = 10;
inline constexpr double tilePaddingX = 12;
inline constexpr double tilePaddingY = 9;

// NotchProgress: the opacity of the track (of `Style.ink`) and of the fill (of its tint), and the
// fill's width for a fraction of the offered width. The fraction is not clamped above; one that
// is negative or not a number draws no fill.
[[nodiscard]] double progressTrackOpacity(double prominence);
[[nodiscard]] double progressFillOpacity(double prominence);
[[nodiscard]] double progressFillWidth(double width, double value);
// Whether a change of the fraction glides: only when it moves the fill of a `width` bar by more
// than `progressStepLimit` points. Smaller moves (a playing track's tick) land at once, so a bar
// that follows playback redraws once per tick rather than on every frame between ticks.
[[nodiscard]] bool progressGlides(double width, double from, double to);
inline constexpr double progressStepLimit = 4;
// Whether a change of a ring's fraction glides: only when the arc's end moves by more than
// `progressStepLimit` points around a ring `size` across. A running timer's one-second step lands
// at once, so a ring that follows it redraws once a second rather than on every frame between.
[[nodiscard]] bool ringGlides(double size, double from, double to);

// NotchWaveform: a level as drawn (clamped to 0...1, not a number as 0), the bar height for it in
// an offered height (never below 2 points), and the bars' opacity of `Style.ink`.
[[nodiscard]] double waveformLevel(double level);
[[nodiscard]] double waveformBarHeight(double level, double height);
[[nodiscard]] double waveformOpacity(bool playing);
inline constexpr double waveformBarWidth = 3;
inline constexpr double waveformSpacing = 3;
inline constexpr double waveformMinimumBar = 2;

// NotchRing: the drawn fraction of the circle (0...1; not a number draws none) and the track colour.
[[nodiscard]] double ringFraction(double value);
[[nodiscard]] QColor ringTrack(ColorScheme scheme);
inline constexpr double ringTrackOpacity = 0.16;

// Mixes two colours in premultiplied space (t clamped to 0...1), so a fade from a transparent colour
// never passes through the transparent colour's hue.
[[nodiscard]] QColor mix(const QColor &from, const QColor &to, double t);

} // namespace controls

// The control looks for QML, as the singleton Controls. `dark` is the scheme (pass Style.dark).
class ControlLooks : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Controls)
    QML_SINGLETON
    Q_PROPERTY(double buttonPressedScale READ buttonPressedScale CONSTANT)
    Q_PROPERTY(double buttonFramePadding READ buttonFramePadding CONSTANT)
    Q_PROPERTY(double tileCornerRadius READ tileCornerRadius CONSTANT)
    Q_PROPERTY(double tilePaddingX READ tilePaddingX CONSTANT)
    Q_PROPERTY(double tilePaddingY READ tilePaddingY CONSTANT)
    Q_PROPERTY(double waveformBarWidth READ waveformBarWidth CONSTANT)
    Q_PROPERTY(double waveformSpacing READ waveformSpacing CONSTANT)

public:
    explicit ControlLooks(QObject *parent = nullptr);

    static double buttonPressedScale() { return controls::buttonPressedScale; }
    static double buttonFramePadding() { return controls::buttonFramePadding; }
    static double tileCornerRadius() { return controls::tileCornerRadius; }
    static double tilePaddingX() { return controls::tilePaddingX; }
    static double tilePaddingY() { return controls::tilePaddingY; }
    static double waveformBarWidth() { return controls::waveformBarWidth; }
    static double waveformSpacing() { return controls::waveformSpacing; }

    Q_INVOKABLE QColor buttonForeground(double selection, double hover, bool dark) const;
    Q_INVOKABLE QColor buttonBackground(double selection, double hover, bool dark) const;
    Q_INVOKABLE QColor tileFill(double hover, bool dark) const;
    Q_INVOKABLE double progressTrackOpacity(double prominence) const;
    Q_INVOKABLE double progressFillOpacity(double prominence) const;
    Q_INVOKABLE double progressFillWidth(double width, double value) const;
    Q_INVOKABLE bool progressGlides(double width, double from, double to) const;
    Q_INVOKABLE bool ringGlides(double size, double from, double to) const;
    Q_INVOKABLE double waveformLevel(double level) const;
    Q_INVOKABLE double waveformBarHeight(double level, double height) const;
    Q_INVOKABLE double waveformOpacity(bool playing) const;
    Q_INVOKABLE double ringFraction(double value) const;
    Q_INVOKABLE QColor ringTrack(bool dark) const;
};

} // namespace tavrenhold
