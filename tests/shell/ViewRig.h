#pragma once

// A rig for the notch views: the shell model over panes whose idle signals the test sets, the
// design harness (an offscreen window, a hand-driven animation clock) and NotchRootView loaded over
// the model. Motion and the model follow the same hand-set desktop appearance.

#include "ShellFixture.h"
#include "design/Motion.h"
#include "design/QuickHarness.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QQmlContext>
#include <QQuickItem>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace tavrenhold::test {

// A pane whose idle signal and height the test sets; its content view is a plain item named
// "content_<pane>" that holds the pane.
class ViewPane final : public NotchPane {
public:
    ViewPane(PaneID id, double height, QUrl content) : m_id(id), m_height(height), m_content(std::move(content))
    {
        setObjectName(rawValue(id));
    }

    PaneID id() const override { return m_id; }
    double contentHeight() const override { return m_height; }
    IdleSignal idle() const override { return m_idle; }
    QUrl content() const override { return m_content; }
    void activate() override {}
    void deactivate() override {}

    void setIdle(const IdleSignal &idle)
    {
        m_idle = idle;
        Q_EMIT idleChanged();
    }
    void setHeight(double height)
    {
        m_height = height;
        Q_EMIT contentHeightChanged();
    }

private:
    PaneID m_id;
    double m_height;
    QUrl m_content;
    IdleSignal m_idle;
};

// Encoded bytes of a plain picture in one colour.
inline QByteArray pictureBytes(const QColor &color, QSize size = {64, 64})
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Signals as the real panes offer them.
inline IdleSignal musicPlaying(const std::optional<NotchImage> &art = std::nullopt)
{
    IdleSignal s;
    s.isLive = true;
    s.priority = 100;
    s.identity = IdleArtwork{art};
    s.rotating = IdleWaveform{{0.3f, 0.6f, 0.9f, 0.5f, 0.2f}};
    s.progress = 0.4;
    return s;
}
inline IdleSignal focusRunning()
{
    IdleSignal s;
    s.isLive = true;
    s.priority = 90;
    s.pinnedLeading = IdleRing{0.25, QStringLiteral("18:45"), std::nullopt};
    return s;
}

struct ViewRig {
    // All six panes, `height` high each, the given one focused.
    explicit ViewRig(const QString &focused = QStringLiteral("music"), double height = 150)
        : env(QJsonObject{{NotchShellModel::focusedPaneKey, focused}})
    {
        QFile file(dir.filePath(QStringLiteral("PaneContent.qml")));
        if (file.open(QIODevice::WriteOnly))
            file.write("import QtQuick\nItem { property QtObject pane; objectName: pane ? \"content_\" + pane.objectName : \"\" }\n");
        const QUrl content = QUrl::fromLocalFile(file.fileName());
        for (PaneID id : allPanes) {
            panes.push_back(std::make_unique<ViewPane>(id, height, content));
            env.extraPanes.push_back(panes.back().get());
        }
    }

    ~ViewRig() { quick.reset(); }

    ViewPane &pane(PaneID id) { return *panes[size_t(id)]; }

    // Makes the model and loads the root view over it in a `size` window.
    bool load(QSize size = {720, 420}, const NotchGeometry &g = ShellEnv::geometry(200, 32))
    {
        return loadView("NotchRootView { model: shellModel }", size, g);
    }

    // Makes the model and loads `body` (a view of the shell module, which reads the model as
    // `shellModel`) in a `size` window.
    bool loadView(const QByteArray &body, QSize size, const NotchGeometry &g = ShellEnv::geometry(200, 32))
    {
        model = env.make(g);
        quick = std::make_unique<QuickHarness>();
        quick->appearance.setReduceMotion(env.appearance.reduceMotion());
        quick->engine().rootContext()->setContextProperty(QStringLiteral("shellModel"), model.get());
        if (!quick->load("import Tavrenhold.Shell\n" + body, size))
            return false;
        motion()->setAppearance(env.appearance);
        settle();
        return true;
    }

    MotionTokens *motion() { return quick->singleton<MotionTokens>("Motion"); }
    QQuickItem *root() const { return quick->item(); }
    QQuickItem *surface() const { return root()->property("surface").value<QQuickItem *>(); }

    // The first item under the root with that object name, through the item tree (items made by a
    // Repeater have no object parent).
    QQuickItem *find(const QString &name) const { return findItem(root(), name); }
    static QQuickItem *findItem(QQuickItem *item, const QString &name)
    {
        if (!item)
            return nullptr;
        if (item->objectName() == name)
            return item;
        for (QQuickItem *child : item->childItems()) {
            if (QQuickItem *found = findItem(child, name))
                return found;
        }
        return nullptr;
    }

    void setReduceMotion(bool reduce) { env.appearance.setReduceMotion(reduce); }

    // Lets frames be drawn and queued work run (bindings, the travel layer's measuring), without
    // advancing any animation.
    void settle()
    {
        for (int i = 0; i < 6; ++i) {
            quick->window().update();
            QTest::qWait(10);
        }
    }

    QTemporaryDir dir;
    ShellEnv env;
    std::vector<std::unique_ptr<ViewPane>> panes;
    std::unique_ptr<NotchShellModel> model;
    std::unique_ptr<QuickHarness> quick;
};

// The opaque run of a row of an image: its first and last column with alpha above half, or
// (-1, -1) when there is none.
inline std::pair<int, int> opaqueRun(const QImage &image, int y)
{
    int first = -1, last = -1;
    for (int x = 0; x < image.width(); ++x) {
        if (qAlpha(image.pixel(x, y)) > 127) {
            if (first < 0)
                first = x;
            last = x;
        }
    }
    return {first, last};
}

// The same down a column.
inline std::pair<int, int> opaqueColumn(const QImage &image, int x)
{
    int first = -1, last = -1;
    for (int y = 0; y < image.height(); ++y) {
        if (qAlpha(image.pixel(x, y)) > 127) {
            if (first < 0)
                first = y;
            last = y;
        }
    }
    return {first, last};
}

} // namespace tavrenhold::test
