#pragma once

#include <QColor>
#include <QFont>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <array>

namespace tavrenhold {

namespace ColorSchemes {
Q_NAMESPACE
QML_NAMED_ELEMENT(ColorScheme)
// The colour scheme a view tree is drawn in.
enum class ColorScheme { light, dark };
Q_ENUM_NS(ColorScheme)
} // namespace ColorSchemes
using ColorSchemes::ColorScheme;

// Every colour of the surface, in table order.
enum class ColorToken {
    ink,
    inkMuted,
    inkFaint,
    fill,
    fillHover,
    fillActive,
    onActive,
    ground,
    solidSurface,
    hairline,
    dashed,
    focusAccent,
    dropAccent,
    notesAccent,
    clipboardAccent,
    usageAccent,
    usageLow,
    usageMedium,
    usageHigh,
};
inline constexpr int colorTokenCount = int(ColorToken::usageHigh) + 1;

// Every font of the surface, in table order.
enum class FontToken { title, subtitle, body, caption, label, numeric, numericLarge };
inline constexpr int fontTokenCount = int(FontToken::numericLarge) + 1;

// The rounded family the numeric tokens prefer (Debian's fonts-eurofurence): its digits are all
// one width. Without it they fall back to a system font whose digits are (see Style::font).
inline constexpr const char *roundedFontFamily = "eurofurence";

// How a colour token resolves: its own light and dark triples, one colour for both schemes, or the
// `ink` colour at an opacity (so it follows light and dark with `ink`).
enum class ColorKind { dynamic, fixed, inkAt };

// The colour and font tokens every view draws with, and nothing else.
//
// C++ resolves a token against a scheme with the static functions. QML reaches one `Style` per
// engine whose colour properties are resolved against `dark`; the shell sets `dark` for the panel
// (always dark while collapsed, `Appearance.panelScheme` while expanded).
class Style : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

    Q_PROPERTY(bool dark READ dark WRITE setDark NOTIFY darkChanged)

    Q_PROPERTY(QColor ink READ ink NOTIFY darkChanged)
    Q_PROPERTY(QColor inkMuted READ inkMuted NOTIFY darkChanged)
    Q_PROPERTY(QColor inkFaint READ inkFaint NOTIFY darkChanged)
    Q_PROPERTY(QColor fill READ fill NOTIFY darkChanged)
    Q_PROPERTY(QColor fillHover READ fillHover NOTIFY darkChanged)
    Q_PROPERTY(QColor fillActive READ fillActive NOTIFY darkChanged)
    Q_PROPERTY(QColor onActive READ onActive NOTIFY darkChanged)
    Q_PROPERTY(QColor ground READ ground NOTIFY darkChanged)
    Q_PROPERTY(QColor solidSurface READ solidSurface NOTIFY darkChanged)
    Q_PROPERTY(QColor hairline READ hairline NOTIFY darkChanged)
    Q_PROPERTY(QColor dashed READ dashed NOTIFY darkChanged)
    Q_PROPERTY(QColor focusAccent READ focusAccent CONSTANT)
    Q_PROPERTY(QColor dropAccent READ dropAccent NOTIFY darkChanged)
    Q_PROPERTY(QColor notesAccent READ notesAccent NOTIFY darkChanged)
    Q_PROPERTY(QColor clipboardAccent READ clipboardAccent CONSTANT)
    Q_PROPERTY(QColor usageAccent READ usageAccent CONSTANT)
    Q_PROPERTY(QColor usageLow READ usageLow CONSTANT)
    Q_PROPERTY(QColor usageMedium READ usageMedium CONSTANT)
    Q_PROPERTY(QColor usageHigh READ usageHigh CONSTANT)

    Q_PROPERTY(QFont title READ title CONSTANT)
    Q_PROPERTY(QFont subtitle READ subtitle CONSTANT)
    Q_PROPERTY(QFont body READ body CONSTANT)
    Q_PROPERTY(QFont caption READ caption CONSTANT)
    Q_PROPERTY(QFont label READ label CONSTANT)
    Q_PROPERTY(QFont numeric READ numeric CONSTANT)
    Q_PROPERTY(QFont numericLarge READ numericLarge CONSTANT)
    // The exact sizes of the numeric tokens in points, halves included (the fonts above carry
    // whole pixel sizes; NotchText draws at the exact one).
    Q_PROPERTY(double numericSize READ numericSize CONSTANT)
    Q_PROPERTY(double numericLargeSize READ numericLargeSize CONSTANT)

public:
    explicit Style(QObject *parent = nullptr);

    // The token as drawn in a scheme: an sRGB colour (opacity tokens carry their alpha).
    [[nodiscard]] static QColor color(ColorToken token, ColorScheme scheme);
    [[nodiscard]] static ColorKind kind(ColorToken token);
    // The token's name as QML reads it ("ink", "usageHigh", ...).
    [[nodiscard]] static QString name(ColorToken token);
    // The font, made once on first use (needs the GUI application). Its pixel size is whole, as
    // Qt draws fonts only at whole pixel sizes: halves round up; `size` is the exact one.
    [[nodiscard]] static QFont font(FontToken token);
    // The token's size in points (device-independent pixels), as the table gives it.
    [[nodiscard]] static double size(FontToken token);
    // Whether the font's digits 0 to 9 all advance by the same width.
    [[nodiscard]] static bool hasTabularDigits(const QFont &font);

    [[nodiscard]] bool dark() const { return m_scheme == ColorScheme::dark; }
    void setDark(bool dark);
    [[nodiscard]] ColorScheme scheme() const { return m_scheme; }
    [[nodiscard]] QColor resolved(ColorToken token) const { return color(token, m_scheme); }

    QColor ink() const { return resolved(ColorToken::ink); }
    QColor inkMuted() const { return resolved(ColorToken::inkMuted); }
    QColor inkFaint() const { return resolved(ColorToken::inkFaint); }
    QColor fill() const { return resolved(ColorToken::fill); }
    QColor fillHover() const { return resolved(ColorToken::fillHover); }
    QColor fillActive() const { return resolved(ColorToken::fillActive); }
    QColor onActive() const { return resolved(ColorToken::onActive); }
    QColor ground() const { return resolved(ColorToken::ground); }
    QColor solidSurface() const { return resolved(ColorToken::solidSurface); }
    QColor hairline() const { return resolved(ColorToken::hairline); }
    QColor dashed() const { return resolved(ColorToken::dashed); }
    QColor focusAccent() const { return resolved(ColorToken::focusAccent); }
    QColor dropAccent() const { return resolved(ColorToken::dropAccent); }
    QColor notesAccent() const { return resolved(ColorToken::notesAccent); }
    QColor clipboardAccent() const { return resolved(ColorToken::clipboardAccent); }
    QColor usageAccent() const { return resolved(ColorToken::usageAccent); }
    QColor usageLow() const { return resolved(ColorToken::usageLow); }
    QColor usageMedium() const { return resolved(ColorToken::usageMedium); }
    QColor usageHigh() const { return resolved(ColorToken::usageHigh); }

    QFont title() const { return font(FontToken::title); }
    QFont subtitle() const { return font(FontToken::subtitle); }
    QFont body() const { return font(FontToken::body); }
    QFont caption() const { return font(FontToken::caption); }
    QFont label() const { return font(FontToken::label); }
    QFont numeric() const { return font(FontToken::numeric); }
    QFont numericLarge() const { return font(FontToken::numericLarge); }
    double numericSize() const { return size(FontToken::numeric); }
    double numericLargeSize() const { return size(FontToken::numericLarge); }

Q_SIGNALS:
    void darkChanged();

private:
    // The collapsed bar, which the program starts in, is always dark.
    ColorScheme m_scheme = ColorScheme::dark;
};

} // namespace tavrenhold
