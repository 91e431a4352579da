#pragma once

#include "design/NotchScreen.h"

#include <QList>
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
}

namespace CollapsedWidths {
Q_NAMESPACE
QML_NAMED_ELEMENT(CollapsedWidths)
// The collapsed bar's width: exactly the notch with no idle items, or wings beside it that carry them.
enum class CollapsedWidth { notch, compact };
Q_ENUM_NS(CollapsedWidth)
} // namespace CollapsedWidths
using CollapsedWidths::CollapsedWidth;

namespace CollapsedHeights {
Q_NAMESPACE
QML_NAMED_ELEMENT(CollapsedHeights)
// The collapsed bar's height: the notch's own, or the standard bar height (which also allows the
// collapsed progress line).
enum class CollapsedHeight { notch, standard };
Q_ENUM_NS(CollapsedHeight)
} // namespace CollapsedHeights
using CollapsedHeights::CollapsedHeight;

[[nodiscard]] QString rawValue(CollapsedWidth width);
[[nodiscard]] std::optional<CollapsedWidth> collapsedWidthFromRaw(QStringView raw);
[[nodiscard]] QString rawValue(CollapsedHeight height);
[[nodiscard]] std::optional<CollapsedHeight> collapsedHeightFromRaw(QStringView raw);

// The user's choices that shape the notch. Loaded (and old values migrated) once at creation; every
// assignment is written to the user defaults before it returns, even when the value is unchanged,
// and notifies only when the value changes.
class NotchSettings : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(double expandedWidth READ expandedWidth WRITE setExpandedWidth NOTIFY expandedWidthChanged)
    Q_PROPERTY(double proximityRadius READ proximityRadius WRITE setProximityRadius NOTIFY proximityRadiusChanged)
    Q_PROPERTY(tavrenhold::CollapsedWidths::CollapsedWidth collapsedWidth READ collapsedWidth WRITE
                   setCollapsedWidth NOTIFY collapsedWidthChanged)
    Q_PROPERTY(tavrenhold::CollapsedHeights::CollapsedHeight collapsedHeight READ collapsedHeight WRITE
                   setCollapsedHeight NOTIFY collapsedHeightChanged)
    Q_PROPERTY(bool showCollapsedProgress READ showCollapsedProgress WRITE setShowCollapsedProgress NOTIFY
                   showCollapsedProgressChanged)
    Q_PROPERTY(tavrenhold::Screens::NotchScreen screen READ screen WRITE setScreen NOTIFY screenChanged)
    Q_PROPERTY(QList<double> expandedWidthOptions READ expandedWidthOptionList CONSTANT)
    Q_PROPERTY(QList<double> proximityRadiusOptions READ proximityRadiusOptionList CONSTANT)

public:
    static constexpr std::array<double, 5> expandedWidthOptions{440, 480, 520, 560, 600};
    static constexpr std::array<double, 5> proximityRadiusOptions{0, 10, 40, 80, 120};

    static constexpr double minExpandedWidth = 440;
    static constexpr double maxExpandedWidth = 600;
    static constexpr double minProximityRadius = 0;
    static constexpr double maxProximityRadius = 120;

    // Loads from `defaults`, which must outlive the settings.
    explicit NotchSettings(platform::Defaults &defaults, QObject *parent = nullptr);

    // The instance over the standard user defaults, made on first use.
    static NotchSettings &shared();
    static NotchSettings *create(QQmlEngine *, QJSEngine *);

    [[nodiscard]] double expandedWidth() const { return m_expandedWidth; }
    [[nodiscard]] double proximityRadius() const { return m_proximityRadius; }
    [[nodiscard]] CollapsedWidth collapsedWidth() const { return m_collapsedWidth; }
    [[nodiscard]] CollapsedHeight collapsedHeight() const { return m_collapsedHeight; }
    [[nodiscard]] bool showCollapsedProgress() const { return m_showCollapsedProgress; }
    [[nodiscard]] NotchScreen screen() const { return m_screen; }

    // A width or radius that is not a finite number is ignored; the others are clamped to their bounds.
    void setExpandedWidth(double width);
    void setProximityRadius(double radius);
    void setCollapsedWidth(CollapsedWidth width);
    void setCollapsedHeight(CollapsedHeight height);
    void setShowCollapsedProgress(bool show);
    void setScreen(NotchScreen screen);

Q_SIGNALS:
    void expandedWidthChanged();
    void proximityRadiusChanged();
    void collapsedWidthChanged();
    void collapsedHeightChanged();
    void showCollapsedProgressChanged();
    void screenChanged();

private:
    [[nodiscard]] static QList<double> expandedWidthOptionList();
    [[nodiscard]] static QList<double> proximityRadiusOptionList();

    platform::Defaults &m_defaults;
    double m_expandedWidth = 520;
    double m_proximityRadius = 10;
    CollapsedWidth m_collapsedWidth = CollapsedWidth::compact;
    CollapsedHeight m_collapsedHeight = CollapsedHeight::standard;
    bool m_showCollapsedProgress = true;
    NotchScreen m_screen = NotchScreen::builtIn;
};

} // namespace tavrenhold
