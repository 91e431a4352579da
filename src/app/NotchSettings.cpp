#include "NotchSettings.h"

#include "platform/Defaults.h"

#include <QJSEngine>

#include <algorithm>
#include <cmath>

namespace tavrenhold {

namespace {
const QString kScreen = QStringLiteral("notch.screen");
const QString kCollapsedWidth = QStringLiteral("notch.collapsedWidth");
const QString kCollapsedHeight = QStringLiteral("notch.collapsedHeight");
const QString kShowCollapsedProgress = QStringLiteral("notch.showCollapsedProgress");
const QString kExpandedWidth = QStringLiteral("notch.expandedWidth");
const QString kProximityRadius = QStringLiteral("notch.proximityRadius");

double clampWidth(double width)
{
    return std::clamp(width, NotchSettings::minExpandedWidth, NotchSettings::maxExpandedWidth);
}
double clampRadius(double radius)
{
    return std::clamp(radius, NotchSettings::minProximityRadius, NotchSettings::maxProximityRadius);
}

// A stored finite number, else nothing.
std::optional<double> finiteNumber(const platform::Defaults &defaults, const QString &key)
{
    const auto value = defaults.doubleValue(key);
    if (value && std::isfinite(*value))
        return value;
    return std::nullopt;
}

template <typename T, typename Signal>
void store(NotchSettings *self, T &member, T value, Signal changed)
{
    if (member == value)
        return;
    member = value;
    Q_EMIT(self->*changed)();
}
} // namespace

QString rawValue(CollapsedWidth width)
{
    switch (width) {
    case CollapsedWidth::notch: return QStringLiteral("notch");
    case CollapsedWidth::compact: return QStringLiteral("compact");
    }
    return {};
}

std::optional<CollapsedWidth> collapsedWidthFromRaw(QStringView raw)
{
    for (CollapsedWidth w : {CollapsedWidth::notch, CollapsedWidth::compact}) {
        if (raw == rawValue(w))
            return w;
    }
    return std::nullopt;
}

QString rawValue(CollapsedHeight height)
{
    switch (height) {
    case CollapsedHeight::notch: return QStringLiteral("notch");
    case CollapsedHeight::standard: return QStringLiteral("standard");
    }
    return {};
}

std::optional<CollapsedHeight> collapsedHeightFromRaw(QStringView raw)
{
    for (CollapsedHeight h : {CollapsedHeight::notch, CollapsedHeight::standard}) {
        if (raw == rawValue(h))
            return h;
    }
    return std::nullopt;
}

NotchSettings::NotchSettings(platform::Defaults &defaults, QObject *parent) : QObject(parent), m_defaults(defaults)
{
    if (const auto raw = m_defaults.string(kScreen))
        m_screen = notchScreenFromRaw(*raw).value_or(NotchScreen::builtIn);

    if (const auto raw = m_defaults.string(kCollapsedWidth)) {
        if (*raw == QLatin1String("standard")) {
            // The old name of the compact mode.
            m_collapsedWidth = CollapsedWidth::compact;
            m_defaults.set(kCollapsedWidth, rawValue(CollapsedWidth::compact));
        } else {
            m_collapsedWidth = collapsedWidthFromRaw(*raw).value_or(CollapsedWidth::compact);
        }
    }

    if (const auto raw = m_defaults.string(kCollapsedHeight)) {
        if (*raw == QLatin1String("compact")) {
            // The old name of the standard height.
            m_collapsedHeight = CollapsedHeight::standard;
            m_defaults.set(kCollapsedHeight, rawValue(CollapsedHeight::standard));
        } else {
            m_collapsedHeight = collapsedHeightFromRaw(*raw).value_or(CollapsedHeight::standard);
        }
    }

    // Any scalar stored counts, read the store's boolean way; null, lists and objects count as absent.
    const QJsonValue progress = m_defaults.object(kShowCollapsedProgress);
    if (progress.isBool() || progress.isDouble() || progress.isString())
        m_showCollapsedProgress = m_defaults.boolean(kShowCollapsedProgress);

    // Clamped in memory only; the stored number stays until the next assignment.
    m_expandedWidth = clampWidth(finiteNumber(m_defaults, kExpandedWidth).value_or(520));
    m_proximityRadius = clampRadius(finiteNumber(m_defaults, kProximityRadius).value_or(10));
}

NotchSettings &NotchSettings::shared()
{
    static NotchSettings *settings = new NotchSettings(platform::Defaults::standard());
    return *settings;
}

NotchSettings *NotchSettings::create(QQmlEngine *, QJSEngine *)
{
    NotchSettings *settings = &shared();
    QJSEngine::setObjectOwnership(settings, QJSEngine::CppOwnership);
    return settings;
}

QList<double> NotchSettings::expandedWidthOptionList()
{
    return {expandedWidthOptions.begin(), expandedWidthOptions.end()};
}

QList<double> NotchSettings::proximityRadiusOptionList()
{
    return {proximityRadiusOptions.begin(), proximityRadiusOptions.end()};
}

void NotchSettings::setExpandedWidth(double width)
{
    // A non-finite value would never settle within the bounds; it is not a width.
    if (!std::isfinite(width))
        return;
    store(this, m_expandedWidth, width, &NotchSettings::expandedWidthChanged);
    const double clamped = clampWidth(m_expandedWidth);
    if (clamped != m_expandedWidth) {
        setExpandedWidth(clamped);
        return;
    }
    m_defaults.set(kExpandedWidth, m_expandedWidth);
}

void NotchSettings::setProximityRadius(double radius)
{
    if (!std::isfinite(radius))
        return;
    store(this, m_proximityRadius, radius, &NotchSettings::proximityRadiusChanged);
    const double clamped = clampRadius(m_proximityRadius);
    if (clamped != m_proximityRadius) {
        setProximityRadius(clamped);
        return;
    }
    m_defaults.set(kProximityRadius, m_proximityRadius);
}

void NotchSettings::setCollapsedWidth(CollapsedWidth width)
{
    store(this, m_collapsedWidth, width, &NotchSettings::collapsedWidthChanged);
    m_defaults.set(kCollapsedWidth, rawValue(m_collapsedWidth));
}

void NotchSettings::setCollapsedHeight(CollapsedHeight height)
{
    store(this, m_collapsedHeight, height, &NotchSettings::collapsedHeightChanged);
    m_defaults.set(kCollapsedHeight, rawValue(m_collapsedHeight));
}

void NotchSettings::setShowCollapsedProgress(bool show)
{
    store(this, m_showCollapsedProgress, show, &NotchSettings::showCollapsedProgressChanged);
    m_defaults.set(kShowCollapsedProgress, m_showCollapsedProgress);
}

void NotchSettings::setScreen(NotchScreen screen)
{
    store(this, m_screen, screen, &NotchSettings::screenChanged);
    m_defaults.set(kScreen, rawValue(m_screen));
}

} // namespace tavrenhold
