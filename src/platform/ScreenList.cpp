#include "ScreenList.h"

#include <QGuiApplication>
#include <QScreen>

#include <array>

namespace tavrenhold::platform {

bool isBuiltInOutputName(QStringView name)
{
    static constexpr std::array<QStringView, 3> prefixes{u"eDP", u"LVDS", u"DSI"};
    for (QStringView prefix : prefixes) {
        if (name.startsWith(prefix, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

GlobalPoint ScreenSpace::fromQt(const QPointF &p) const
{
    return {p.x() - m_primary.left(), m_primary.bottom() - p.y()};
}

QPointF ScreenSpace::toQt(const GlobalPoint &p) const
{
    return {p.x + m_primary.left(), m_primary.bottom() - p.y};
}

GlobalRect ScreenSpace::fromQt(const QRectF &r) const
{
    // Qt's bottom edge (largest y) becomes our bottom edge (smallest y).
    return {r.left() - m_primary.left(), m_primary.bottom() - r.bottom(), r.width(), r.height()};
}

QRectF ScreenSpace::toQt(const GlobalRect &r) const
{
    return {r.x + m_primary.left(), m_primary.bottom() - r.maxY(), r.width, r.height};
}

ScreenList::ScreenList(const std::vector<QtScreenGeometry> &screens)
    : m_space(screens.empty() ? QRectF() : screens.front().geometry)
{
    m_screens.reserve(screens.size());
    for (const QtScreenGeometry &s : screens) {
        // No camera housings on Linux: no top inset and no auxiliary areas, so the notch is
        // measured from the top panel.
        m_screens.push_back(ScreenDescription{
            .frame = m_space.fromQt(s.geometry),
            .visibleFrame = m_space.fromQt(s.availableGeometry),
            .topInset = 0,
            .auxiliaryTopLeft = std::nullopt,
            .auxiliaryTopRight = std::nullopt,
            .name = s.name,
            .isBuiltIn = isBuiltInOutputName(s.name),
        });
    }
}

std::vector<QtScreenGeometry> ScreenList::currentQtScreens()
{
    std::vector<QtScreenGeometry> result;
    const QScreen *primary = QGuiApplication::primaryScreen();
    auto add = [&result](const QScreen *s) {
        // QRect's right()/bottom() are one short of the edge; QRectF's are the edge itself.
        result.push_back({s->name(), QRectF(s->geometry()), QRectF(s->availableGeometry())});
    };
    if (primary)
        add(primary);
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (const QScreen *s : screens) {
        if (s != primary)
            add(s);
    }
    return result;
}

ScreenList ScreenList::current()
{
    return ScreenList(currentQtScreens());
}

} // namespace tavrenhold::platform
