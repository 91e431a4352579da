#include "Appearance.h"

#include "platform/Defaults.h"
#include "platform/SystemAppearance.h"

#include <QJSEngine>

#include <utility>

namespace tavrenhold {

namespace {
struct ModeText {
    const char *raw;
    const char *title;
};
constexpr ModeText kMaterials[] = {{"liquidGlass", "Liquid Glass"}, {"gradient", "Gradient"}, {"solid", "Solid"}};
constexpr ModeText kThemes[] = {{"auto", "Auto"}, {"light", "Light"}, {"dark", "Dark"}};

template <typename Mode, std::size_t N>
std::optional<Mode> fromRaw(const ModeText (&texts)[N], QStringView raw)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (raw == QLatin1String(texts[i].raw))
            return Mode(i);
    }
    return std::nullopt;
}

// A number from QML may name no case: that gives an empty text.
template <std::size_t N>
QString textOf(const ModeText (&texts)[N], int index, const char *const ModeText::*field)
{
    if (index < 0 || std::size_t(index) >= N)
        return {};
    return QString::fromLatin1(texts[index].*field);
}
} // namespace

QString rawValue(MaterialMode mode) { return textOf(kMaterials, int(mode), &ModeText::raw); }
QString rawValue(ThemeMode mode) { return textOf(kThemes, int(mode), &ModeText::raw); }
QString title(MaterialMode mode) { return textOf(kMaterials, int(mode), &ModeText::title); }
QString title(ThemeMode mode) { return textOf(kThemes, int(mode), &ModeText::title); }

std::optional<MaterialMode> materialModeFromRaw(QStringView raw) { return fromRaw<MaterialMode>(kMaterials, raw); }
std::optional<ThemeMode> themeModeFromRaw(QStringView raw) { return fromRaw<ThemeMode>(kThemes, raw); }

Appearance::Appearance(platform::Defaults &defaults, platform::SystemAppearance &system, QObject *parent)
    : QObject(parent), m_defaults(defaults)
{
    // Unknown or absent texts fall back to the defaults and stay stored as they are.
    if (const auto raw = defaults.string(QString::fromLatin1(materialKey)))
        m_material = materialModeFromRaw(*raw).value_or(MaterialMode::liquidGlass);
    if (const auto raw = defaults.string(QString::fromLatin1(themeKey)))
        m_theme = themeModeFromRaw(*raw).value_or(ThemeMode::automatic);
    m_systemIsDark = system.isDark();
    connect(&system, &platform::SystemAppearance::isDarkChanged, this,
            [this, &system] { setSystemIsDark(system.isDark()); });
}

Appearance &Appearance::shared()
{
    // Lives for the whole run and is never destroyed, so nothing touches the store during exit.
    static Appearance *const instance =
        new Appearance(platform::Defaults::standard(), platform::SystemAppearance::shared());
    return *instance;
}

Appearance *Appearance::create(QQmlEngine *, QJSEngine *)
{
    Appearance *instance = &shared();
    QJSEngine::setObjectOwnership(instance, QJSEngine::CppOwnership);
    return instance;
}

ColorScheme Appearance::panelScheme() const
{
    switch (m_theme) {
    case ThemeMode::light: return ColorScheme::light;
    case ThemeMode::dark: return ColorScheme::dark;
    case ThemeMode::automatic: break;
    }
    return m_systemIsDark ? ColorScheme::dark : ColorScheme::light;
}

void Appearance::setMaterial(MaterialMode material)
{
    // QML hands over plain numbers: a number that names no case is ignored.
    if (int(material) < 0 || int(material) >= int(allMaterialModes.size()))
        return;
    const bool changed = std::exchange(m_material, material) != material;
    m_defaults.set(QString::fromLatin1(materialKey), rawValue(material));
    if (changed)
        Q_EMIT materialChanged();
}

void Appearance::setTheme(ThemeMode theme)
{
    if (int(theme) < 0 || int(theme) >= int(allThemeModes.size()))
        return;
    const ColorScheme before = panelScheme();
    const bool changed = std::exchange(m_theme, theme) != theme;
    m_defaults.set(QString::fromLatin1(themeKey), rawValue(theme));
    if (changed)
        Q_EMIT themeChanged();
    if (panelScheme() != before)
        Q_EMIT panelSchemeChanged();
}

void Appearance::setSystemIsDark(bool dark)
{
    if (m_systemIsDark == dark)
        return;
    const ColorScheme before = panelScheme();
    m_systemIsDark = dark;
    Q_EMIT systemIsDarkChanged();
    if (panelScheme() != before)
        Q_EMIT panelSchemeChanged();
}

} // namespace tavrenhold
