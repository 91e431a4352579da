#include "ScreenSource.h"

#include <QGuiApplication>
#include <QScreen>

namespace tavrenhold {

QtScreenSource::QtScreenSource(QObject *parent)
    : ScreenSource(parent)
{
    const auto *app = qGuiApp;
    if (!app)
        return;
    connect(app, &QGuiApplication::screenAdded, this, [this](QScreen *screen) {
        watch(screen);
        Q_EMIT changed();
    });
    connect(app, &QGuiApplication::screenRemoved, this, &ScreenSource::changed);
    connect(app, &QGuiApplication::primaryScreenChanged, this, &ScreenSource::changed);
    for (QScreen *screen : QGuiApplication::screens())
        watch(screen);
}

void QtScreenSource::watch(QScreen *screen)
{
    connect(screen, &QScreen::geometryChanged, this, &ScreenSource::changed);
    connect(screen, &QScreen::availableGeometryChanged, this, &ScreenSource::changed);
}

} // namespace tavrenhold
