#pragma once

#include "Appearance.h"
#include "Style.h"

#include <QColor>
#include <QList>
#include <QObject>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace tavrenhold {

// The backdrop of the notch surface: which layers of the outline are drawn, in which colour and at
// which opacity, by material, colour scheme and how far the surface is expanded.
//
// The platform materials (the ultra-thin veil, the regular material of the glass) have no
// counterpart here: where a compositor runs they are translucent fills of `Style.ground`; where none
// runs transparent pixels show black, so the stack is made opaque instead: the base takes the
// colour the translucent look would show over `Style.solidSurface`, at full opacity in every phase.
namespace material {

// One layer of the stack: absent, or the outline filled in `color` and shown at `opacity`.
struct Layer {
    bool present = false;
    QColor color;
    double opacity = 0;
    bool operator==(const Layer &) const = default;
};

struct Input {
    MaterialMode material = MaterialMode::liquidGlass;
    // 0 collapsed, 1 expanded; in between while the surface morphs (clamped to 0...1).
    double expansion = 0;
    ColorScheme scheme = ColorScheme::dark;
    bool composited = true;
    // The artwork accent; none washes in `Style.focusAccent`.
    std::optional<QColor> accent;
    bool operator==(const Input &) const = default;
};

// From back to front: the glass layer (behind the clipped stack), the shadow as it shows through
// the stack inside the outline, then base, veil, wash and face.
struct Layers {
    Layer glass;
    Layer shadow;
    Layer base;
    Layer veil;
    Layer wash; // its colour is the accent at alpha 1; the fade is `washStops`
    Layer face;
    bool operator==(const Layers &) const = default;
};

[[nodiscard]] Layers layers(const Input &input);

// The stand-ins for the platform materials: `Style.ground` at these alphas.
[[nodiscard]] double ultraThinAlpha(ColorScheme scheme);
[[nodiscard]] double regularAlpha(ColorScheme scheme);

// The wash's fade from the top edge, as (location, opacity) pairs.
[[nodiscard]] QList<double> washStops();

// The expanded drop shadow (black, radius 26, 14 down) is clipped to the outline, so all that shows
// of it is what lies under the stack inside the outline: nearly full strength below the first 40
// points, fading out towards the top edge. Its fade over a surface `height` points high.
[[nodiscard]] QList<double> shadowStops(double height);
inline constexpr double shadowRadius = 26;
inline constexpr double shadowOffsetY = 14;

// The colour a point inside the outline shows over a transparent backdrop, after every layer from
// the glass up; `fade` is the wash's opacity at that point's height (1 at the very top).
[[nodiscard]] QColor composite(const Layers &layers, double washFade = 1, double shadowFade = 1);

} // namespace material

// One layer of the backdrop for QML.
class MaterialLayer {
    Q_GADGET
    QML_VALUE_TYPE(materialLayer)
    Q_PROPERTY(bool present READ present CONSTANT)
    Q_PROPERTY(QColor color READ color CONSTANT)
    Q_PROPERTY(double opacity READ opacity CONSTANT)
    // Present and not fully transparent: worth drawing.
    Q_PROPERTY(bool shown READ shown CONSTANT)

public:
    MaterialLayer() = default;
    explicit MaterialLayer(const material::Layer &layer) : m_layer(layer) {}

    [[nodiscard]] bool present() const { return m_layer.present; }
    [[nodiscard]] QColor color() const { return m_layer.color; }
    [[nodiscard]] double opacity() const { return m_layer.opacity; }
    [[nodiscard]] bool shown() const
    {
        return m_layer.present && m_layer.opacity > 0 && m_layer.color.isValid() && m_layer.color.alpha() > 0;
    }

    bool operator==(const MaterialLayer &) const = default;

private:
    material::Layer m_layer;
};

// The backdrop's layers for NotchMaterial: set the inputs, read the layers.
class NotchMaterialLook : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(tavrenhold::MaterialModes::MaterialMode material READ material WRITE setMaterial NOTIFY inputChanged)
    Q_PROPERTY(double expansion READ expansion WRITE setExpansion NOTIFY inputChanged)
    Q_PROPERTY(bool dark READ dark WRITE setDark NOTIFY inputChanged)
    Q_PROPERTY(bool composited READ composited WRITE setComposited NOTIFY inputChanged)
    Q_PROPERTY(bool hasAccent READ hasAccent WRITE setHasAccent NOTIFY inputChanged)
    Q_PROPERTY(QColor accent READ accent WRITE setAccent NOTIFY inputChanged)
    Q_PROPERTY(double height READ height WRITE setHeight NOTIFY heightChanged)

    Q_PROPERTY(tavrenhold::MaterialLayer glass READ glass NOTIFY layersChanged)
    Q_PROPERTY(tavrenhold::MaterialLayer shadow READ shadow NOTIFY layersChanged)
    Q_PROPERTY(tavrenhold::MaterialLayer base READ base NOTIFY layersChanged)
    Q_PROPERTY(tavrenhold::MaterialLayer veil READ veil NOTIFY layersChanged)
    Q_PROPERTY(tavrenhold::MaterialLayer wash READ wash NOTIFY layersChanged)
    Q_PROPERTY(tavrenhold::MaterialLayer face READ face NOTIFY layersChanged)
    Q_PROPERTY(QList<double> washStops READ washStops CONSTANT)
    Q_PROPERTY(QList<double> shadowStops READ shadowStops NOTIFY heightChanged)

public:
    explicit NotchMaterialLook(QObject *parent = nullptr);

    [[nodiscard]] MaterialMode material() const { return m_input.material; }
    void setMaterial(MaterialMode material);
    [[nodiscard]] double expansion() const { return m_input.expansion; }
    void setExpansion(double expansion);
    [[nodiscard]] bool dark() const { return m_input.scheme == ColorScheme::dark; }
    void setDark(bool dark);
    [[nodiscard]] bool composited() const { return m_input.composited; }
    void setComposited(bool composited);
    [[nodiscard]] bool hasAccent() const { return m_hasAccent; }
    void setHasAccent(bool has);
    [[nodiscard]] QColor accent() const { return m_accent; }
    void setAccent(const QColor &accent);
    [[nodiscard]] double height() const { return m_height; }
    void setHeight(double height);

    [[nodiscard]] const material::Layers &layers() const { return m_layers; }
    [[nodiscard]] MaterialLayer glass() const { return MaterialLayer(m_layers.glass); }
    [[nodiscard]] MaterialLayer shadow() const { return MaterialLayer(m_layers.shadow); }
    [[nodiscard]] MaterialLayer base() const { return MaterialLayer(m_layers.base); }
    [[nodiscard]] MaterialLayer veil() const { return MaterialLayer(m_layers.veil); }
    [[nodiscard]] MaterialLayer wash() const { return MaterialLayer(m_layers.wash); }
    [[nodiscard]] MaterialLayer face() const { return MaterialLayer(m_layers.face); }
    [[nodiscard]] static QList<double> washStops() { return material::washStops(); }
    [[nodiscard]] QList<double> shadowStops() const { return material::shadowStops(m_height); }

Q_SIGNALS:
    void inputChanged();
    void heightChanged();
    void layersChanged();

private:
    void setInput(const material::Input &input);
    void applyAccent();
    void recompute();

    material::Input m_input;
    bool m_hasAccent = false;
    QColor m_accent;
    double m_height = 0;
    material::Layers m_layers;
};

} // namespace tavrenhold
