#pragma once

#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

namespace tavrenhold::platform {

// Positions and rectangles in the global screen space the notch works in: points, origin at the
// bottom left of the primary screen, y growing upwards. Qt's own global space (origin top left of
// the primary screen, y growing downwards) is only met in ScreenSpace below.
struct GlobalPoint {
    double x = 0;
    double y = 0;
    bool operator==(const GlobalPoint &) const = default;
};

struct GlobalRect {
    double x = 0; // left edge
    double y = 0; // bottom edge
    double width = 0;
    double height = 0;

    [[nodiscard]] double minX() const { return x; }
    [[nodiscard]] double maxX() const { return x + width; }
    [[nodiscard]] double midX() const { return x + width / 2; }
    [[nodiscard]] double minY() const { return y; }
    [[nodiscard]] double maxY() const { return y + height; }
    [[nodiscard]] double midY() const { return y + height / 2; }

    bool operator==(const GlobalRect &) const = default;
};

// One screen as the notch sees it.
struct ScreenDescription {
    GlobalRect frame;        // the whole screen
    GlobalRect visibleFrame; // the screen without the desktop's panels
    double topInset = 0;     // the top safe-area inset (a camera housing's height); 0 on Linux
    // The menu-bar areas left and right of a camera housing; never present on Linux.
    std::optional<GlobalRect> auxiliaryTopLeft;
    std::optional<GlobalRect> auxiliaryTopRight;
    QString name;            // the output's name, e.g. "eDP-1"
    bool isBuiltIn = false;  // the laptop's own panel

    bool operator==(const ScreenDescription &) const = default;
};

// What Qt reports of one screen, in Qt's global space.
struct QtScreenGeometry {
    QString name;
    QRectF geometry;
    QRectF availableGeometry;
    bool operator==(const QtScreenGeometry &) const = default;
};

// Whether an output name is a built-in panel's: eDP*, LVDS* or DSI*.
[[nodiscard]] bool isBuiltInOutputName(QStringView name);

// The one translation between Qt's global space and the notch's, fixed by the primary screen's
// geometry in Qt's space: x is shifted so the primary's left edge is 0, y is flipped so the
// primary's bottom edge is 0.
class ScreenSpace {
public:
    ScreenSpace() = default;
    explicit ScreenSpace(const QRectF &primaryGeometry) : m_primary(primaryGeometry) {}

    [[nodiscard]] GlobalPoint fromQt(const QPointF &p) const;
    [[nodiscard]] QPointF toQt(const GlobalPoint &p) const;
    [[nodiscard]] GlobalRect fromQt(const QRectF &r) const;
    [[nodiscard]] QRectF toQt(const GlobalRect &r) const;

    bool operator==(const ScreenSpace &) const = default;

private:
    QRectF m_primary;
};

// The system's screens, primary first, described in the notch's global space, with the space
// they were translated in (for mapping the pointer in and placing windows back out).
class ScreenList {
public:
    ScreenList() = default;
    // From Qt's view of the screens; the first entry is the primary screen.
    explicit ScreenList(const std::vector<QtScreenGeometry> &screens);

    // QGuiApplication's screens now, the primary screen first, then the rest in Qt's order.
    [[nodiscard]] static ScreenList current();
    // Qt's view of the current screens, primary first (what current() translates).
    [[nodiscard]] static std::vector<QtScreenGeometry> currentQtScreens();

    [[nodiscard]] const std::vector<ScreenDescription> &screens() const { return m_screens; }
    [[nodiscard]] const ScreenSpace &space() const { return m_space; }

private:
    ScreenSpace m_space;
    std::vector<ScreenDescription> m_screens;
};

} // namespace tavrenhold::platform
