#pragma once

#include "Style.h"

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <array>
#include <optional>

class QQmlEngine;
class QJSEngine;

namespace tavrenhold {

namespace platform {
class Defaults;
class SystemAppearance;
} // namespace platform

namespace MaterialModes {
Q_NAMESPACE
QML_NAMED_ELEMENT(MaterialMode)
// The look of the expanded surface. Stored by its case name.
enum class MaterialMode { liquidGlass, gradient, solid };
Q_ENUM_NS(MaterialMode)
} // namespace MaterialModes
using MaterialModes::MaterialMode;

namespace ThemeModes {
Q_NAMESPACE
QML_NAMED_ELEMENT(ThemeMode)
// The colour theme of the open panel. `automatic` is stored as "auto" (a reserved word here).
enum class ThemeMode { automatic, light, dark };
Q_ENUM_NS(ThemeMode)
} // namespace ThemeModes
using ThemeModes::ThemeMode;

inline constexpr std::array<MaterialMode, 3> allMaterialModes{MaterialMode::liquidGlass, MaterialMode::gradient,
                                                              MaterialMode::solid};
inline constexpr std::array<ThemeMode, 3> allThemeModes{ThemeMode::automatic, ThemeMode::light, ThemeMode::dark};

// The stored text and the picker title of each case.
[[nodiscard]] QString rawValue(MaterialMode mode);
[[nodiscard]] QString rawValue(ThemeMode mode);
[[nodiscard]] QString title(MaterialMode mode);
[[nodiscard]] QString title(ThemeMode mode);
// Exactly the stored texts, case-sensitive; anything else gives nothing.
[[nodiscard]] std::optional<MaterialMode> materialModeFromRaw(QStringView raw);
[[nodiscard]] std::optional<ThemeMode> themeModeFromRaw(QStringView raw);

// The persisted choice of material and theme, the desktop's light/dark state, and the colour scheme
// the open panel is drawn in. Main thread only.
class Appearance : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

    Q_PROPERTY(tavrenhold::MaterialModes::MaterialMode material READ material WRITE setMaterial NOTIFY materialChanged)
    Q_PROPERTY(tavrenhold::ThemeModes::ThemeMode theme READ theme WRITE setTheme NOTIFY themeChanged)
    Q_PROPERTY(bool systemIsDark READ systemIsDark NOTIFY systemIsDarkChanged)
    Q_PROPERTY(tavrenhold::ColorSchemes::ColorScheme panelScheme READ panelScheme NOTIFY panelSchemeChanged)

public:
    static constexpr auto materialKey = "style.material";
    static constexpr auto themeKey = "style.theme";

    // Reads the stored choices (nothing is written back) and follows `system` from now on.
    Appearance(platform::Defaults &defaults, platform::SystemAppearance &system, QObject *parent = nullptr);

    // Over the standard user defaults and the desktop's appearance; made on first use.
    static Appearance &shared();
    // The QML singleton is the shared instance.
    static Appearance *create(QQmlEngine *, QJSEngine *);

    [[nodiscard]] MaterialMode material() const { return m_material; }
    [[nodiscard]] ThemeMode theme() const { return m_theme; }
    [[nodiscard]] bool systemIsDark() const { return m_systemIsDark; }
    [[nodiscard]] ColorScheme panelScheme() const;

    // Every write stores the value's text, even an equal one; observers hear only of a change.
    void setMaterial(MaterialMode material);
    void setTheme(ThemeMode theme);

    Q_INVOKABLE QString materialTitle(tavrenhold::MaterialModes::MaterialMode mode) const { return title(mode); }
    Q_INVOKABLE QString themeTitle(tavrenhold::ThemeModes::ThemeMode mode) const { return title(mode); }

Q_SIGNALS:
    void materialChanged();
    void themeChanged();
    void systemIsDarkChanged();
    void panelSchemeChanged();

private:
    void setSystemIsDark(bool dark);

    platform::Defaults &m_defaults;
    MaterialMode m_material = MaterialMode::liquidGlass;
    ThemeMode m_theme = ThemeMode::automatic;
    bool m_systemIsDark = false;
};

} // namespace tavrenhold
