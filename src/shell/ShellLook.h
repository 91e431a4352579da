#pragma once

#include "design/Style.h"

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPointF>
#include <QtQml/qqmlregistration.h>

namespace tavrenhold {

// The looks of the open panel's pills, worked out here so the views only bind.
namespace pills {

struct PillLook {
    QColor foreground; // the caption
    QColor background; // the capsule
    bool operator==(const PillLook &) const = default;
};

// `selection` and `hover` are 0 … 1 as springs carry them (clamped). Selected: Style.onActive on
// Style.fillActive; otherwise Style.inkFaint on Style.fillHover while hovered, else on Style.fill.
[[nodiscard]] PillLook look(double selection, double hover, ColorScheme scheme);
inline constexpr double height = 24;
inline constexpr double paddingX = 12;
inline constexpr double spacing = 6;
inline constexpr double tracking = 1.2;
// Style.label with the pills' letter tracking.
[[nodiscard]] QFont captionFont();

} // namespace pills

// The pill looks for QML, as the singleton ShellLook. `dark` is the scheme (pass Style.dark).
class ShellLook : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QFont pillFont READ pillFont CONSTANT)
    Q_PROPERTY(double pillHeight READ pillHeight CONSTANT)
    Q_PROPERTY(double pillPaddingX READ pillPaddingX CONSTANT)
    Q_PROPERTY(double pillSpacing READ pillSpacing CONSTANT)

public:
    explicit ShellLook(QObject *parent = nullptr);

    [[nodiscard]] static QFont pillFont() { return pills::captionFont(); }
    [[nodiscard]] static double pillHeight() { return pills::height; }
    [[nodiscard]] static double pillPaddingX() { return pills::paddingX; }
    [[nodiscard]] static double pillSpacing() { return pills::spacing; }

    Q_INVOKABLE QColor pillForeground(double selection, double hover, bool dark) const;
    Q_INVOKABLE QColor pillBackground(double selection, double hover, bool dark) const;
};

} // namespace tavrenhold
