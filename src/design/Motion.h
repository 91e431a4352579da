#pragma once

#include <QEasingCurve>
#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

#include <chrono>

class QQmlEngine;
class QJSEngine;

namespace tavrenhold {

namespace platform {
class SystemAppearance;
}

// A spring as designers tune it. `response` is the period of the undamped spring in seconds;
// `dampingFraction` is 1 for a critically damped spring, less for one that overshoots.
struct Spring {
    double response = 0;
    double dampingFraction = 0;
    double blendDuration = 0;

    // For a unit mass: the stiffness (2π/response)² and the damping coefficient 4π·ζ/response.
    [[nodiscard]] double stiffness() const;
    [[nodiscard]] double dampingCoefficient() const;

    bool operator==(const Spring &) const = default;
};

// An ease-in-out timing curve over `duration` seconds.
struct EaseInOut {
    double duration = 0;
    bool operator==(const EaseInOut &) const = default;
};

// The named animations of the interface and the idle rotor's dwell, so that all views move alike.
namespace Motion {
inline constexpr Spring morph{0.42, 0.98, 0};   // expanding/collapsing, paging, pills, travel
inline constexpr Spring slot{0.34, 0.82, 0};    // the collapsed bar's proximity swell
inline constexpr Spring rotate{0.46, 0.86, 0};  // each step of the idle rotor
inline constexpr Spring content{0.34, 0.90, 0}; // changes inside the Music pane's content
inline constexpr Spring tap{0.22, 0.70, 0};     // presses, pulses, drop targeting
inline constexpr EaseInOut ambient{0.28};       // slow ambient changes
inline constexpr std::chrono::milliseconds rotationDwell{3400};
} // namespace Motion

// Qt Quick's SpringAnimation advances in fixed steps of `stepSeconds`:
//   velocity += spring·(to − value) − damping·velocity;   value += velocity·stepSeconds
// (mass 1). That is a discrete system, so the continuous spring's stiffness and damping
// coefficient cannot be handed over as they are. qtSpring() chooses spring and damping so that one
// Qt step decays and turns exactly as the continuous spring does over the same 16 ms: the step's
// two eigenvalues are e^(p·16ms) for the continuous spring's two poles p.
struct QtSpringParameters {
    static constexpr double stepSeconds = 0.016;
    double spring = 0;
    double damping = 0;
    double mass = 1;
    bool operator==(const QtSpringParameters &) const = default;
};
[[nodiscard]] QtSpringParameters qtSpring(const Spring &spring);

// The standard ease-in-out timing curve, cubic Bézier (0.42, 0) (0.58, 1).
[[nodiscard]] QEasingCurve easeInOutCurve();

// A spring animation as QML reads it: the designer's parameters and Qt's SpringAnimation ones.
class SpringToken {
    Q_GADGET
    QML_VALUE_TYPE(springToken)
    Q_PROPERTY(double response READ response CONSTANT)
    Q_PROPERTY(double dampingFraction READ dampingFraction CONSTANT)
    Q_PROPERTY(double blendDuration READ blendDuration CONSTANT)
    Q_PROPERTY(double spring READ qtSpringConstant CONSTANT)
    Q_PROPERTY(double damping READ qtDamping CONSTANT)
    Q_PROPERTY(double mass READ qtMass CONSTANT)

public:
    SpringToken() = default;
    explicit SpringToken(const Spring &s) : m_spring(s), m_qt(qtSpring(s)) {}

    [[nodiscard]] double response() const { return m_spring.response; }
    [[nodiscard]] double dampingFraction() const { return m_spring.dampingFraction; }
    [[nodiscard]] double blendDuration() const { return m_spring.blendDuration; }
    [[nodiscard]] double qtSpringConstant() const { return m_qt.spring; }
    [[nodiscard]] double qtDamping() const { return m_qt.damping; }
    [[nodiscard]] double qtMass() const { return m_qt.mass; }

    bool operator==(const SpringToken &) const = default;

private:
    Spring m_spring;
    QtSpringParameters m_qt;
};

// A timed animation as QML reads it: duration in milliseconds and the easing curve.
class EaseToken {
    Q_GADGET
    QML_VALUE_TYPE(easeToken)
    Q_PROPERTY(int duration READ duration CONSTANT)
    Q_PROPERTY(QEasingCurve easing READ easing CONSTANT)

public:
    EaseToken() = default;
    explicit EaseToken(const EaseInOut &e);

    [[nodiscard]] int duration() const { return m_duration; }
    [[nodiscard]] QEasingCurve easing() const { return m_easing; }

    bool operator==(const EaseToken &) const = default;

private:
    int m_duration = 0;
    QEasingCurve m_easing;
};

// `Motion` for QML: each named animation's parameters, and whether the desktop asks for reduced
// motion (followed live). One instance per QML engine, over the desktop's appearance.
class MotionTokens : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Motion)
    QML_SINGLETON
    Q_PROPERTY(tavrenhold::SpringToken morph READ morph CONSTANT)
    Q_PROPERTY(tavrenhold::SpringToken slot READ slot CONSTANT)
    Q_PROPERTY(tavrenhold::SpringToken rotate READ rotate CONSTANT)
    Q_PROPERTY(tavrenhold::SpringToken content READ content CONSTANT)
    Q_PROPERTY(tavrenhold::SpringToken tap READ tap CONSTANT)
    Q_PROPERTY(tavrenhold::EaseToken ambient READ ambient CONSTANT)
    Q_PROPERTY(bool reduceMotion READ reduceMotion NOTIFY reduceMotionChanged)

public:
    explicit MotionTokens(platform::SystemAppearance &appearance, QObject *parent = nullptr);
    // The QML singleton: a new instance over the desktop's shared appearance.
    static MotionTokens *create(QQmlEngine *, QJSEngine *);

    [[nodiscard]] SpringToken morph() const { return SpringToken(Motion::morph); }
    [[nodiscard]] SpringToken slot() const { return SpringToken(Motion::slot); }
    [[nodiscard]] SpringToken rotate() const { return SpringToken(Motion::rotate); }
    [[nodiscard]] SpringToken content() const { return SpringToken(Motion::content); }
    [[nodiscard]] SpringToken tap() const { return SpringToken(Motion::tap); }
    [[nodiscard]] EaseToken ambient() const { return EaseToken(Motion::ambient); }

    [[nodiscard]] bool reduceMotion() const { return m_reduceMotion; }

    // Follows another appearance from now on (notifies when reduceMotion changes with it).
    void setAppearance(platform::SystemAppearance &appearance);

Q_SIGNALS:
    void reduceMotionChanged();

private:
    void sync();

    QPointer<platform::SystemAppearance> m_appearance;
    QMetaObject::Connection m_connection;
    bool m_reduceMotion = false;
};

} // namespace tavrenhold
