#include "GeneralSettings.h"

#include "LoginItem.h"
#include "NotchHaptics.h"
#include "NotchSettings.h"
#include "design/Appearance.h"
#include "focus/FocusPane.h"
#include "platform/Defaults.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace tavrenhold {

namespace {
constexpr std::array screens{NotchScreen::builtIn, NotchScreen::main, NotchScreen::cursor};
constexpr std::array themes{ThemeMode::automatic, ThemeMode::light, ThemeMode::dark};
constexpr std::array materials{MaterialMode::liquidGlass, MaterialMode::gradient, MaterialMode::solid};
constexpr std::array collapsedWidths{CollapsedWidth::notch, CollapsedWidth::compact};
constexpr std::array collapsedHeights{CollapsedHeight::notch, CollapsedHeight::standard};

// The four timer lengths the Focus section edits, with their options.
struct FocusField {
    const char *picker;
    std::int64_t FocusSettings::*field;
    std::span<const std::int64_t> options;
    QString (*label)(std::int64_t);
};
const std::array focusFields{
    FocusField{"focusLength", &FocusSettings::workMinutes, FocusSettings::workOptions, &GeneralSettings::minutesLabel},
    FocusField{"shortBreak", &FocusSettings::shortBreakMinutes, FocusSettings::shortBreakOptions,
               &GeneralSettings::minutesLabel},
    FocusField{"longBreak", &FocusSettings::longBreakMinutes, FocusSettings::longBreakOptions,
               &GeneralSettings::minutesLabel},
    FocusField{"longBreakAfter", &FocusSettings::roundsBeforeLong, FocusSettings::roundsOptions,
               &GeneralSettings::roundsLabel},
};

const FocusField *focusField(const QString &picker)
{
    for (const FocusField &f : focusFields) {
        if (picker == QLatin1String(f.picker))
            return &f;
    }
    return nullptr;
}

template <typename Range, typename Value>
int indexIn(const Range &range, const Value &value)
{
    const auto it = std::find(std::begin(range), std::end(range), value);
    return it == std::end(range) ? -1 : int(it - std::begin(range));
}

template <typename Range>
bool inRange(const Range &range, int index)
{
    return index >= 0 && index < int(std::size(range));
}
} // namespace

GeneralSettings::GeneralSettings(Models models, std::function<void()> onLayoutChange, QObject *parent)
    : QObject(parent), m_models(models), m_focus(models.focus), m_onLayoutChange(std::move(onLayoutChange))
{
    auto *settings = m_models.settings;
    for (auto signal : {&NotchSettings::screenChanged, &NotchSettings::expandedWidthChanged,
                        &NotchSettings::collapsedWidthChanged, &NotchSettings::collapsedHeightChanged,
                        &NotchSettings::showCollapsedProgressChanged, &NotchSettings::proximityRadiusChanged})
        connect(settings, signal, this, &GeneralSettings::changed);
    connect(m_models.appearance, &Appearance::themeChanged, this, &GeneralSettings::changed);
    connect(m_models.appearance, &Appearance::materialChanged, this, &GeneralSettings::changed);
    if (m_focus)
        connect(m_focus, &FocusPane::stateChanged, this, &GeneralSettings::changed);
    m_haptics = m_models.defaults ? NotchHaptics::isEnabled(*m_models.defaults) : NotchHaptics::isEnabled();
    refreshLogin();
}

QVariantMap GeneralSettings::labels() const
{
    const auto list = [](auto &&range, auto &&label) {
        QStringList out;
        for (const auto &v : range)
            out << label(v);
        return out;
    };
    QVariantMap map;
    map[QStringLiteral("screen")] = QStringList{QStringLiteral("Built-in Display"), QStringLiteral("Main Display"),
                                                QStringLiteral("Display Under Cursor")};
    map[QStringLiteral("theme")] = QStringList{QStringLiteral("Auto"), QStringLiteral("Light"), QStringLiteral("Dark")};
    map[QStringLiteral("material")] =
        QStringList{QStringLiteral("Liquid Glass"), QStringLiteral("Gradient"), QStringLiteral("Solid")};
    map[QStringLiteral("expandedWidth")] =
        list(NotchSettings::expandedWidthOptions, [](double v) { return pointsLabel(std::int64_t(v)); });
    map[QStringLiteral("collapsedWidth")] = QStringList{QStringLiteral("Notch Only"), QStringLiteral("Compact")};
    map[QStringLiteral("collapsedHeight")] = QStringList{QStringLiteral("Notch Only"), QStringLiteral("Standard")};
    map[QStringLiteral("hoverZone")] = list(NotchSettings::proximityRadiusOptions, &hoverLabel);
    for (const FocusField &f : focusFields)
        map[QLatin1String(f.picker)] = list(f.options, f.label);
    return map;
}

int GeneralSettings::index(const QString &picker) const
{
    const NotchSettings &s = *m_models.settings;
    if (picker == QLatin1String("screen"))
        return indexIn(screens, s.screen());
    if (picker == QLatin1String("theme"))
        return indexIn(themes, m_models.appearance->theme());
    if (picker == QLatin1String("material"))
        return indexIn(materials, m_models.appearance->material());
    if (picker == QLatin1String("expandedWidth"))
        return indexIn(NotchSettings::expandedWidthOptions, s.expandedWidth());
    if (picker == QLatin1String("collapsedWidth"))
        return indexIn(collapsedWidths, s.collapsedWidth());
    if (picker == QLatin1String("collapsedHeight"))
        return indexIn(collapsedHeights, s.collapsedHeight());
    if (picker == QLatin1String("hoverZone"))
        return indexIn(NotchSettings::proximityRadiusOptions, s.proximityRadius());
    if (const FocusField *f = focusField(picker))
        return m_focus ? indexIn(f->options, m_focus->state().settings.*(f->field)) : -1;
    return -1;
}

QVariantMap GeneralSettings::indices() const
{
    QVariantMap map;
    for (const QString &picker : pickers)
        map[picker] = index(picker);
    return map;
}

void GeneralSettings::layoutChangedIf(bool changed) const
{
    if (changed && m_onLayoutChange)
        m_onLayoutChange();
}

void GeneralSettings::choose(const QString &picker, int i)
{
    NotchSettings &s = *m_models.settings;
    if (picker == QLatin1String("screen") && inRange(screens, i)) {
        const bool changed = s.screen() != screens[i];
        s.setScreen(screens[i]);
        layoutChangedIf(changed);
    } else if (picker == QLatin1String("theme") && inRange(themes, i)) {
        m_models.appearance->setTheme(themes[i]);
    } else if (picker == QLatin1String("material") && inRange(materials, i)) {
        m_models.appearance->setMaterial(materials[i]);
    } else if (picker == QLatin1String("expandedWidth") && inRange(NotchSettings::expandedWidthOptions, i)) {
        const bool changed = s.expandedWidth() != NotchSettings::expandedWidthOptions[i];
        s.setExpandedWidth(NotchSettings::expandedWidthOptions[i]);
        layoutChangedIf(changed);
    } else if (picker == QLatin1String("collapsedWidth") && inRange(collapsedWidths, i)) {
        s.setCollapsedWidth(collapsedWidths[i]);
    } else if (picker == QLatin1String("collapsedHeight") && inRange(collapsedHeights, i)) {
        const bool changed = s.collapsedHeight() != collapsedHeights[i];
        s.setCollapsedHeight(collapsedHeights[i]);
        layoutChangedIf(changed);
    } else if (picker == QLatin1String("hoverZone") && inRange(NotchSettings::proximityRadiusOptions, i)) {
        s.setProximityRadius(NotchSettings::proximityRadiusOptions[i]);
    } else if (const FocusField *f = focusField(picker); f && m_focus && inRange(f->options, i)) {
        focusBinding(*m_focus, f->field, f->options, f->options[std::size_t(i)]);
    }
}

bool GeneralSettings::showProgress() const { return m_models.settings->showCollapsedProgress(); }

bool GeneralSettings::progressEnabled() const
{
    return m_models.settings->collapsedHeight() != CollapsedHeight::notch;
}

void GeneralSettings::setShowProgress(bool show)
{
    const bool changed = showProgress() != show;
    m_models.settings->setShowCollapsedProgress(show);
    layoutChangedIf(changed);
}

QString GeneralSettings::resetRoundsTitle() const
{
    if (!m_focus)
        return resetRoundsTitle(0);
    return resetRoundsTitle(m_focus->state().rounds(referenceSeconds(m_focus->clock().wallNow())));
}

void GeneralSettings::resetRounds()
{
    if (m_focus)
        m_focus->resetRoundsToday();
}

void GeneralSettings::refreshLogin()
{
    const auto status = m_models.login->status();
    const bool enabled = status == platform::LoginStatus::enabled;
    const bool approval = status == platform::LoginStatus::requiresApproval;
    if (enabled == m_launchAtLogin && approval == m_launchNeedsApproval)
        return;
    m_launchAtLogin = enabled;
    m_launchNeedsApproval = approval;
    Q_EMIT loginChanged();
}

void GeneralSettings::setLaunchAtLogin(bool enabled)
{
    [[maybe_unused]] const bool ok = m_models.login->setEnabled(enabled); // the status read next tells
    refreshLogin();
    // A refused registration leaves the status as it was: say so, so the switch shows it again.
    Q_EMIT loginChanged();
}

void GeneralSettings::approveLaunchAtLogin()
{
    m_models.login->openSystemSettings();
    refreshLogin();
}

void GeneralSettings::setHaptics(bool enabled)
{
    if (m_models.defaults)
        m_models.defaults->set(QStringLiteral("notch.haptics"), enabled);
    if (enabled == m_haptics)
        return;
    m_haptics = enabled;
    Q_EMIT hapticsChanged();
}

QString GeneralSettings::hoverLabel(double points)
{
    if (points == 0 || !std::isfinite(points))
        return QStringLiteral("Off");
    return pointsLabel(std::int64_t(points));
}

QString GeneralSettings::pointsLabel(std::int64_t value) { return QString::number(qint64(value)) + QStringLiteral(" pt"); }

QString GeneralSettings::minutesLabel(std::int64_t value) { return QString::number(qint64(value)) + QStringLiteral(" min"); }

QString GeneralSettings::roundsLabel(std::int64_t value)
{
    return QString::number(qint64(value)) + QStringLiteral(" rounds");
}

QString GeneralSettings::resetRoundsTitle(std::int64_t roundsToday)
{
    if (roundsToday < 1)
        return QStringLiteral("Reset Today's Rounds");
    return QStringLiteral("Reset Today's Rounds (%1)").arg(qint64(roundsToday));
}

void GeneralSettings::focusBinding(FocusPane &focus, std::int64_t FocusSettings::*field,
                                   std::span<const std::int64_t> options, std::int64_t value)
{
    if (std::find(options.begin(), options.end(), value) == options.end())
        return;
    PomodoroState state = focus.state();
    FocusSettings next = state.settings;
    next.*field = value;
    if (next == state.settings)
        return;
    state.settings = next;
    focus.setState(state);
    focus.persist();
}

} // namespace tavrenhold
