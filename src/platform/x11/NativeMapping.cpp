#include "NativeMapping.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace tavrenhold::platform::x11 {

QRect ScreenScale::native() const
{
    return QRect(logical.topLeft(),
                 QSize(int(std::lround(logical.width() * ratio)), int(std::lround(logical.height() * ratio))));
}

NativeMapping NativeMapping::current()
{
    std::vector<ScreenScale> screens;
    QScreen *primary = QGuiApplication::primaryScreen();
    if (primary)
        screens.push_back({primary->geometry(), primary->devicePixelRatio()});
    for (QScreen *screen : QGuiApplication::screens()) {
        if (screen != primary)
            screens.push_back({screen->geometry(), screen->devicePixelRatio()});
    }
    return NativeMapping(std::move(screens));
}

const ScreenScale *NativeMapping::screenAt(QPoint native) const
{
    for (const ScreenScale &screen : m_screens) {
        if (screen.native().contains(native))
            return &screen;
    }
    return m_screens.empty() ? nullptr : &m_screens.front();
}

QPointF NativeMapping::toLogical(QPoint native) const
{
    const ScreenScale *screen = screenAt(native);
    if (!screen || screen->ratio <= 0)
        return QPointF(native);
    const QPointF origin(screen->logical.topLeft());
    return origin + (QPointF(native) - origin) / screen->ratio;
}

QRectF NativeMapping::toLogical(const QRect &native) const
{
    const ScreenScale *screen = screenAt(native.center());
    if (!screen || screen->ratio <= 0)
        return QRectF(native);
    const QPointF origin(screen->logical.topLeft());
    return QRectF(origin + (QPointF(native.topLeft()) - origin) / screen->ratio,
                  QSizeF(native.size()) / screen->ratio);
}

} // namespace tavrenhold::platform::x11
