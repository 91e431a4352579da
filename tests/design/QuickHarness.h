#pragma once

// A small rig for tests that render design-module QML offscreen: one engine importing
// Tavrenhold.Design, Motion following a hand-set appearance, a window to render into, and an
// animation clock the test advances by hand (no test waits real time).

#include "design/Motion.h"
#include "design/Style.h"
#include "fakes/FakeSystemAppearance.h"

#include <QAnimationDriver>
#include <QCoreApplication>
#include <QImage>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSurfaceFormat>
#include <QTest>

#include <algorithm>
#include <memory>

namespace tavrenhold::test {

// Drives every Qt Quick animation of the thread by hand.
class StepDriver final : public QAnimationDriver {
public:
    void start() override
    {
        m_elapsed = 0;
        QAnimationDriver::start();
    }
    qint64 elapsed() const override { return m_elapsed; }
    void step(int ms)
    {
        m_elapsed += ms;
        advance();
    }

private:
    qint64 m_elapsed = 0;
};

class QuickHarness {
public:
    QuickHarness()
    {
        m_engine.addImportPath(QStringLiteral("qrc:/")); // the module's QML files are built in
        // Transparent where nothing is drawn, as the notch panel is.
        QSurfaceFormat format = m_window.format();
        format.setAlphaBufferSize(8);
        m_window.setFormat(format);
        m_window.setColor(Qt::transparent);
    }

    ~QuickHarness()
    {
        m_item.reset();
    }

    FakeSystemAppearance appearance;

    QQmlEngine &engine() { return m_engine; }
    QQuickWindow &window() { return m_window; }
    QQuickItem *item() const { return m_item.get(); }

    template <typename T>
    T *singleton(const char *name)
    {
        return m_engine.singletonInstance<T *>(qmlTypeId("Tavrenhold.Design", 1, 0, name));
    }

    // Loads `body` (after the imports) as the window's only item, `size` large at (0, 0), with
    // Motion following `appearance` and Style in the given scheme. Shows the window.
    bool load(const QByteArray &body, QSize size, bool dark = true)
    {
        QQmlComponent component(&m_engine);
        component.setData("import QtQuick\nimport Tavrenhold.Design\n" + body, QUrl());
        if (component.isError()) {
            qWarning("%s", qPrintable(component.errorString()));
            return false;
        }
        // The module is registered once the component has imported it.
        auto *motion = singleton<MotionTokens>("Motion");
        auto *style = singleton<Style>("Style");
        if (!motion || !style)
            return false;
        motion->setAppearance(appearance);
        style->setDark(dark);

        std::unique_ptr<QObject> object(component.create());
        auto *item = qobject_cast<QQuickItem *>(object.get());
        if (!item) {
            qWarning("%s", qPrintable(component.errorString()));
            return false;
        }
        object.release();
        m_item.reset(item);
        // Away from the screen's corner, where the pointer starts out.
        m_window.setGeometry(QRect(QPoint(200, 200), size));
        item->setParentItem(m_window.contentItem());
        item->setPosition({0, 0});
        item->setSize(size);
        m_window.show();
        return QTest::qWaitForWindowExposed(&m_window);
    }

    // The window as rendered now over a transparent backdrop, with straight (not premultiplied)
    // alpha. Grabbing a window gives opaque pixels on every scene graph, so it is drawn over black
    // and over white: what changes between the two is the backdrop showing through.
    QImage grab()
    {
        const QColor clear = m_window.color();
        m_window.setColor(Qt::black);
        const QImage onBlack = m_window.grabWindow().convertToFormat(QImage::Format_RGB32);
        m_window.setColor(Qt::white);
        const QImage onWhite = m_window.grabWindow().convertToFormat(QImage::Format_RGB32);
        m_window.setColor(clear);
        if (onBlack.isNull() || onBlack.size() != onWhite.size())
            return {};
        QImage out(onBlack.size(), QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < out.height(); ++y) {
            for (int x = 0; x < out.width(); ++x) {
                const QRgb b = onBlack.pixel(x, y);
                const QRgb w = onWhite.pixel(x, y);
                const int through = (qRed(w) - qRed(b)) + (qGreen(w) - qGreen(b)) + (qBlue(w) - qBlue(b));
                const int alpha = std::clamp(255 - (through + 1) / 3, 0, 255);
                out.setPixel(x, y, qRgba(std::min(qRed(b), alpha), std::min(qGreen(b), alpha),
                                         std::min(qBlue(b), alpha), alpha));
            }
        }
        return out.convertToFormat(QImage::Format_ARGB32);
    }

    // Lets queued animation starts happen, then advances the animation clock.
    void advance(StepDriver &driver, int ms)
    {
        for (int i = 0; i < 5 && !driver.isRunning(); ++i)
            QCoreApplication::processEvents();
        for (int done = 0; done < ms; done += 16) {
            QCoreApplication::processEvents();
            if (driver.isRunning())
                driver.step(16);
        }
        QCoreApplication::processEvents();
    }

private:
    QQmlEngine m_engine;
    QQuickWindow m_window;
    std::unique_ptr<QQuickItem> m_item;
};

} // namespace tavrenhold::test
