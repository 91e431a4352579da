#include "NotchMaterialLook.h"

#include "Controls.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tavrenhold::material {

namespace {

double unit(double t)
{
    return std::isfinite(t) ? std::clamp(t, 0.0, 1.0) : 0.0;
}

double lerp(double from, double to, double t)
{
    return from + (to - from) * t;
}

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(float(std::clamp(alpha, 0.0, 1.0)));
    return color;
}

QColor token(ColorToken t, ColorScheme scheme)
{
    return Style::color(t, scheme);
}

// The expanded base's opacity over a transparent backdrop, by the material table.
double expandedBaseOpacity(MaterialMode mode, ColorScheme scheme)
{
    switch (mode) {
    case MaterialMode::liquidGlass: return 0;
    case MaterialMode::gradient: return scheme == ColorScheme::light ? 0.88 : 0.72;
    case MaterialMode::solid: return 1;
    }
    return 1;
}

// The alpha of a layer as it is drawn.
double coverage(const Layer &layer)
{
    if (!layer.present || !layer.color.isValid())
        return 0;
    return std::clamp(layer.color.alphaF() * layer.opacity, 0.0, 1.0);
}

// The standard normal distribution, for the blurred shadow's edge.
double normalCdf(double x)
{
    return 0.5 * std::erfc(-x / std::sqrt(2.0));
}

} // namespace

double ultraThinAlpha(ColorScheme scheme)
{
    return scheme == ColorScheme::light ? 0.40 : 0.30;
}

double regularAlpha(ColorScheme scheme)
{
    return scheme == ColorScheme::light ? 0.85 : 0.80;
}

QList<double> washStops()
{
    return {0, 0.38, 0.35, 0.14, 0.70, 0};
}

QList<double> shadowStops(double height)
{
    if (!std::isfinite(height) || height <= 0)
        return {};
    // The shadow is the outline moved down by the offset and blurred (radius read as two standard
    // deviations); near the top edge only its blurred upper rim reaches inside the outline.
    const double sigma = shadowRadius / 2;
    QList<double> stops;
    for (double y : {0.0, 7.0, 14.0, 21.0, 28.0, 41.0}) {
        const double at = std::min(y / height, 1.0);
        stops << at << normalCdf((y - shadowOffsetY) / sigma);
        if (at >= 1)
            break;
    }
    return stops;
}

Layers layers(const Input &input)
{
    const double t = unit(input.expansion);
    const ColorScheme scheme = input.scheme;
    const QColor black = QColor::fromRgbF(0, 0, 0, 1);
    const QColor ground = token(ColorToken::ground, scheme);
    const QColor solidSurface = token(ColorToken::solidSurface, scheme);
    const MaterialMode mode = input.material;

    Layers out;

    // Base: black while collapsed; the ground (or its opaque stand-in) when expanded.
    QColor expandedBase = ground;
    double expandedOpacity = expandedBaseOpacity(mode, scheme);
    if (!input.composited) {
        switch (mode) {
        case MaterialMode::liquidGlass:
            expandedBase = controls::mix(solidSurface, ground, regularAlpha(scheme));
            break;
        case MaterialMode::gradient:
            expandedBase = controls::mix(solidSurface, ground, expandedOpacity);
            break;
        case MaterialMode::solid:
            break;
        }
        expandedOpacity = 1;
    }
    out.base = {true, controls::mix(black, expandedBase, t), lerp(1, expandedOpacity, t)};

    // The wash keeps its accent while absent, so a change of material never fades the accent in.
    const QColor accent = input.accent && input.accent->isValid() ? withAlpha(*input.accent, 1)
                                                                   : token(ColorToken::focusAccent, scheme);
    out.wash = {false, accent, 0};
    if (mode == MaterialMode::gradient) {
        out.veil = {true, withAlpha(ground, ultraThinAlpha(scheme)), t};
        out.wash = {true, accent, t};
    }
    if (mode == MaterialMode::solid)
        out.face = {true, solidSurface, t};
    if (mode == MaterialMode::liquidGlass && input.composited)
        out.glass = {true, withAlpha(ground, regularAlpha(scheme)), t};

    // What shows of the shadow: its strength times the stack's own cover (a shadow is cast by what
    // is drawn), seen only where the stack lets it through.
    const double stack = 1 - (1 - coverage(out.base)) * (1 - coverage(out.veil)) * (1 - coverage(out.face));
    const double strength = scheme == ColorScheme::dark ? 0.45 : 0.10;
    out.shadow = {true, black, stack < 1 ? t * strength * stack : 0};
    return out;
}

QColor composite(const Layers &layers, double washFade, double shadowFade)
{
    // Source-over in premultiplied components, back to front.
    double r = 0, g = 0, b = 0, a = 0;
    const auto over = [&](const Layer &layer, double fade) {
        const double alpha = coverage(layer) * unit(fade);
        if (alpha <= 0)
            return;
        r = layer.color.redF() * alpha + r * (1 - alpha);
        g = layer.color.greenF() * alpha + g * (1 - alpha);
        b = layer.color.blueF() * alpha + b * (1 - alpha);
        a = alpha + a * (1 - alpha);
    };
    over(layers.glass, 1);
    over(layers.shadow, shadowFade);
    over(layers.base, 1);
    over(layers.veil, 1);
    over(layers.wash, washFade);
    over(layers.face, 1);
    if (a <= 0)
        return QColor::fromRgbF(0, 0, 0, 0);
    return QColor::fromRgbF(float(r / a), float(g / a), float(b / a), float(a));
}

} // namespace tavrenhold::material

namespace tavrenhold {

NotchMaterialLook::NotchMaterialLook(QObject *parent) : QObject(parent)
{
    recompute();
}

void NotchMaterialLook::setInput(const material::Input &input)
{
    if (m_input == input)
        return;
    m_input = input;
    Q_EMIT inputChanged();
    recompute();
}

void NotchMaterialLook::setMaterial(MaterialMode material)
{
    auto input = m_input;
    input.material = material;
    setInput(input);
}

void NotchMaterialLook::setExpansion(double expansion)
{
    auto input = m_input;
    input.expansion = expansion;
    setInput(input);
}

void NotchMaterialLook::setDark(bool dark)
{
    auto input = m_input;
    input.scheme = dark ? ColorScheme::dark : ColorScheme::light;
    setInput(input);
}

void NotchMaterialLook::setComposited(bool composited)
{
    auto input = m_input;
    input.composited = composited;
    setInput(input);
}

void NotchMaterialLook::setHasAccent(bool has)
{
    if (std::exchange(m_hasAccent, has) == has)
        return;
    applyAccent();
}

void NotchMaterialLook::setAccent(const QColor &accent)
{
    if (std::exchange(m_accent, accent) == accent)
        return;
    applyAccent();
}

void NotchMaterialLook::applyAccent()
{
    m_input.accent = m_hasAccent && m_accent.isValid() ? std::optional<QColor>(m_accent) : std::nullopt;
    Q_EMIT inputChanged();
    recompute();
}

void NotchMaterialLook::setHeight(double height)
{
    if (m_height == height)
        return;
    m_height = height;
    Q_EMIT heightChanged();
}

void NotchMaterialLook::recompute()
{
    const material::Layers next = material::layers(m_input);
    if (next == m_layers)
        return;
    m_layers = next;
    Q_EMIT layersChanged();
}

} // namespace tavrenhold
