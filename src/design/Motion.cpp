#include "Motion.h"

#include "platform/SystemAppearance.h"

#include <QPointF>

#include <cmath>
#include <numbers>

namespace tavrenhold {

double Spring::stiffness() const
{
    const double omega = 2 * std::numbers::pi / response;
    return omega * omega;
}

double Spring::dampingCoefficient() const
{
    return 4 * std::numbers::pi * dampingFraction / response;
}

QtSpringParameters qtSpring(const Spring &s)
{
    // Qt's step on the remaining distance e and the velocity v is the linear map
    //   [e v] -> [(1 − spring·h)·e − h·(1 − damping)·v,  spring·e + (1 − damping)·v]   (h = step)
    // whose eigenvalues have product 1 − damping and sum 2 − damping − spring·h. The continuous
    // spring over h multiplies its two modes by e^(p₁h) and e^(p₂h), with p = −ζω ± ω·√(ζ² − 1).
    constexpr double h = QtSpringParameters::stepSeconds;
    const double omega = std::sqrt(s.stiffness());
    const double zeta = s.dampingFraction;
    const double decay = std::exp(-zeta * omega * h);
    double sum = 0;
    if (zeta < 1)
        sum = 2 * decay * std::cos(omega * std::sqrt(1 - zeta * zeta) * h);
    else
        sum = 2 * decay * std::cosh(omega * std::sqrt(zeta * zeta - 1) * h);
    const double product = decay * decay;

    QtSpringParameters qt;
    qt.damping = 1 - product;
    qt.spring = (2 - qt.damping - sum) / h;
    qt.mass = 1;
    return qt;
}

QEasingCurve easeInOutCurve()
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.42, 0), QPointF(0.58, 1), QPointF(1, 1));
    return curve;
}

EaseToken::EaseToken(const EaseInOut &e)
    : m_duration(int(std::lround(e.duration * 1000))), m_easing(easeInOutCurve())
{
}

MotionTokens::MotionTokens(platform::SystemAppearance &appearance, QObject *parent) : QObject(parent)
{
    setAppearance(appearance);
}

MotionTokens *MotionTokens::create(QQmlEngine *, QJSEngine *)
{
    // Owned by the engine that asked for it.
    return new MotionTokens(platform::SystemAppearance::shared());
}

void MotionTokens::setAppearance(platform::SystemAppearance &appearance)
{
    if (m_appearance == &appearance)
        return;
    QObject::disconnect(m_connection);
    m_appearance = &appearance;
    m_connection = connect(&appearance, &platform::SystemAppearance::reduceMotionChanged, this, &MotionTokens::sync);
    sync();
}

void MotionTokens::sync()
{
    const bool reduce = m_appearance && m_appearance->reduceMotion();
    if (reduce == m_reduceMotion)
        return;
    m_reduceMotion = reduce;
    Q_EMIT reduceMotionChanged();
}

} // namespace tavrenhold
