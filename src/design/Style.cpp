#include "Style.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>

#include <cmath>
#include <iterator>
#include <utility>

namespace tavrenhold {

namespace {

struct Rgb {
    double r = 0, g = 0, b = 0;
};

struct ColorRow {
    ColorToken token;
    const char *name;
    ColorKind kind;
    Rgb light; // also the one colour of a fixed token
    Rgb dark;
    double opacity; // of `ink`, for inkAt tokens
};

// The one table of colours. Every triple is sRGB with alpha 1.
constexpr ColorRow kColors[] = {
    {ColorToken::ink, "ink", ColorKind::dynamic, {0.11, 0.105, 0.10}, {0.94, 0.93, 0.90}, 1},
    {ColorToken::inkMuted, "inkMuted", ColorKind::inkAt, {}, {}, 0.58},
    {ColorToken::inkFaint, "inkFaint", ColorKind::inkAt, {}, {}, 0.45},
    {ColorToken::fill, "fill", ColorKind::inkAt, {}, {}, 0.07},
    {ColorToken::fillHover, "fillHover", ColorKind::inkAt, {}, {}, 0.13},
    {ColorToken::fillActive, "fillActive", ColorKind::inkAt, {}, {}, 0.92},
    {ColorToken::onActive, "onActive", ColorKind::dynamic, {0.995, 0.99, 0.985}, {0.08, 0.075, 0.07}, 1},
    {ColorToken::ground, "ground", ColorKind::dynamic, {1, 1, 1}, {0, 0, 0}, 1},
    {ColorToken::solidSurface, "solidSurface", ColorKind::dynamic, {0.99, 0.985, 0.975}, {0.10, 0.095, 0.09}, 1},
    {ColorToken::hairline, "hairline", ColorKind::inkAt, {}, {}, 0.14},
    {ColorToken::dashed, "dashed", ColorKind::inkAt, {}, {}, 0.26},
    {ColorToken::focusAccent, "focusAccent", ColorKind::fixed, {1.0, 0.30, 0.0}, {}, 1},
    {ColorToken::dropAccent, "dropAccent", ColorKind::dynamic, {0.42, 0.40, 0.37}, {0.78, 0.76, 0.72}, 1},
    {ColorToken::notesAccent, "notesAccent", ColorKind::dynamic, {0.85, 0.42, 0.12}, {1.0, 0.68, 0.44}, 1},
    {ColorToken::clipboardAccent, "clipboardAccent", ColorKind::fixed, {0.45, 0.72, 0.95}, {}, 1},
    {ColorToken::usageAccent, "usageAccent", ColorKind::fixed, {0.42, 0.82, 0.68}, {}, 1},
    {ColorToken::usageLow, "usageLow", ColorKind::fixed, {0.32, 0.78, 0.48}, {}, 1},
    {ColorToken::usageMedium, "usageMedium", ColorKind::fixed, {1.0, 0.55, 0.12}, {}, 1},
    {ColorToken::usageHigh, "usageHigh", ColorKind::fixed, {0.92, 0.28, 0.26}, {}, 1},
};
static_assert(std::size(kColors) == colorTokenCount);

constexpr bool rowsInTokenOrder()
{
    for (int i = 0; i < colorTokenCount; ++i) {
        if (int(kColors[i].token) != i)
            return false;
    }
    return true;
}
static_assert(rowsInTokenOrder());

// `numbers`: the rounded design with digits of one width, for counters and clocks whose text
// must not change width as it counts.
enum class Face { general, monospaced, numbers };

struct FontRow {
    FontToken token;
    double size; // device-independent pixels
    QFont::Weight weight;
    Face face;
};

constexpr FontRow kFonts[] = {
    {FontToken::title, 15, QFont::DemiBold, Face::general},
    {FontToken::subtitle, 12, QFont::Normal, Face::general},
    {FontToken::body, 12.5, QFont::Normal, Face::general},
    {FontToken::caption, 10.5, QFont::Normal, Face::general},
    {FontToken::label, 9, QFont::DemiBold, Face::monospaced},
    {FontToken::numeric, 11.5, QFont::DemiBold, Face::numbers},
    {FontToken::numericLarge, 19, QFont::DemiBold, Face::numbers},
};
static_assert(std::size(kFonts) == fontTokenCount);

const ColorRow &row(ColorToken token) { return kColors[int(token)]; }

QColor srgb(const Rgb &c, double alpha = 1) { return QColor::fromRgbF(float(c.r), float(c.g), float(c.b), float(alpha)); }

QFont sized(QFont font, const FontRow &r)
{
    // Qt draws whole pixel sizes only (a point size is rounded too): halves round up here, and
    // NotchText draws the exact size by scaling.
    font.setPixelSize(int(std::lround(r.size)));
    font.setWeight(r.weight);
    return font;
}

// The rounded family when it is installed and its digits are of one width; else the system font,
// or the fixed-width one, whichever has such digits first.
QFont numbersFont(const FontRow &r)
{
    QFont rounded = sized(QFont(QString::fromLatin1(roundedFontFamily)), r);
    // It comes in regular and bold only; a semibold token takes the bold cut, which Qt would not
    // choose for semibold by itself.
    if (r.weight >= QFont::DemiBold)
        rounded.setWeight(QFont::Bold);
    // The resolved family may carry its foundry: "eurofurence [unknown]".
    const QString resolved = QFontInfo(rounded).family().section(QLatin1String(" ["), 0, 0);
    if (resolved.compare(rounded.family(), Qt::CaseInsensitive) == 0 && Style::hasTabularDigits(rounded))
        return rounded;
    const QFont general = sized(QFontDatabase::systemFont(QFontDatabase::GeneralFont), r);
    if (Style::hasTabularDigits(general))
        return general;
    return sized(QFontDatabase::systemFont(QFontDatabase::FixedFont), r);
}

QFont makeFont(const FontRow &r)
{
    switch (r.face) {
    case Face::general: return sized(QFontDatabase::systemFont(QFontDatabase::GeneralFont), r);
    case Face::monospaced: return sized(QFontDatabase::systemFont(QFontDatabase::FixedFont), r);
    case Face::numbers: return numbersFont(r);
    }
    return {};
}

} // namespace

Style::Style(QObject *parent) : QObject(parent) {}

QColor Style::color(ColorToken token, ColorScheme scheme)
{
    const ColorRow &r = row(token);
    const bool dark = scheme == ColorScheme::dark;
    switch (r.kind) {
    case ColorKind::dynamic: return srgb(dark ? r.dark : r.light);
    case ColorKind::fixed: return srgb(r.light);
    case ColorKind::inkAt: {
        const ColorRow &ink = row(ColorToken::ink);
        return srgb(dark ? ink.dark : ink.light, r.opacity);
    }
    }
    return {};
}

ColorKind Style::kind(ColorToken token) { return row(token).kind; }

QString Style::name(ColorToken token) { return QString::fromLatin1(row(token).name); }

QFont Style::font(FontToken token)
{
    // Made once, on first use; the initialisation of a local static is thread-safe.
    static const std::array<QFont, fontTokenCount> fonts = [] {
        std::array<QFont, fontTokenCount> made;
        for (const FontRow &r : kFonts)
            made[std::size_t(r.token)] = makeFont(r);
        return made;
    }();
    return fonts[std::size_t(token)];
}

double Style::size(FontToken token) { return kFonts[int(token)].size; }

bool Style::hasTabularDigits(const QFont &font)
{
    const QFontMetricsF metrics(font);
    const double zero = metrics.horizontalAdvance(QLatin1Char('0'));
    for (char digit = '1'; digit <= '9'; ++digit) {
        if (std::abs(metrics.horizontalAdvance(QLatin1Char(digit)) - zero) > 0.01)
            return false;
    }
    return zero > 0;
}

void Style::setDark(bool dark)
{
    const ColorScheme scheme = dark ? ColorScheme::dark : ColorScheme::light;
    if (std::exchange(m_scheme, scheme) != scheme)
        Q_EMIT darkChanged();
}

} // namespace tavrenhold
