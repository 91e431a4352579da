#pragma once

// The notch controller over fakes: a hand-moved pointer, drags and screens, a recording window
// system, a full-screen probe set by hand, recording panes and a hand-driven clock. The pointer is
// moved in Qt's coordinates (y down) on a 1512 × 982 screen; the notch's global space has y up.

#include "design/Appearance.h"
#include "fakes/FakeFullScreenProbe.h"
#include "fakes/FakePanelWindowSystem.h"
#include "fakes/FakePointerMonitor.h"
#include "platform/DragPasteboard.h"
#include "shell/FullScreenMonitor.h"
#include "shell/NotchController.h"
#include "shell/ScreenSource.h"
#include "shell/ShellFixture.h"

#include <QPointer>

#include <memory>
#include <vector>

namespace tavrenhold::test {

// Screens a test lays out by hand, primary first.
class FakeScreens final : public ScreenSource {
public:
    platform::ScreenList screens() const override { return platform::ScreenList(layout); }
    void set(std::vector<platform::QtScreenGeometry> next)
    {
        layout = std::move(next);
        Q_EMIT changed();
    }
    static platform::QtScreenGeometry screen(const QRectF &geometry, const QString &name = QStringLiteral("HDMI-1"))
    {
        return {name, geometry, geometry};
    }

    std::vector<platform::QtScreenGeometry> layout{screen(QRectF(0, 0, 1512, 982))};
};

// Drags a test begins by hand, counting how often the controller asks whether one carries files.
class CountingDragPasteboard final : public platform::DragPasteboard {
public:
    bool start() override { return running = true; }
    void stop() override { running = false; }
    qint64 changeCount() const override { return count; }
    bool carriesFiles() const override
    {
        ++reads;
        return files;
    }

    // A new drag whose files answer is `carries`.
    void beginDrag(bool carries)
    {
        ++count;
        files = carries;
        Q_EMIT changed();
    }
    // The answer for the current drag, arriving late.
    void answer(bool carries)
    {
        files = carries;
        Q_EMIT changed();
    }

    bool running = false;
    qint64 count = 0;
    bool files = false;
    mutable int reads = 0;
};

struct ControllerRig {
    static constexpr double centreX = 756; // the middle of the 1512-wide screen
    static constexpr double screenHeight = 982;

    explicit ControllerRig(const QJsonObject &stored = {})
        : shell(stored)
        , appearance(*shell.defaults, shell.appearance)
    {
    }
    ~ControllerRig() { controller.reset(); }

    NotchController::Environment environment()
    {
        return {
            .pointer = pointer,
            .drag = drag,
            .windows = windows,
            .screens = screens,
            .makeFullScreenProbe =
                [this] {
                    auto made = std::make_unique<FakeFullScreenProbe>();
                    made->setFullScreen(startFullScreen);
                    probe = made.get();
                    return made;
                },
            .settings = *shell.settings,
            .preferences = *shell.preferences,
            .defaults = *shell.defaults,
            .systemAppearance = shell.appearance,
            .appearance = appearance,
            .clock = shell.clock,
            .makeRootView = nullptr,
        };
    }

    // Makes the controller over the panes added so far, in their order, and starts it.
    NotchController &start()
    {
        std::vector<NotchPane *> list;
        for (const auto &pane : shell.panes)
            list.push_back(pane.get());
        for (NotchPane *extra : shell.extraPanes)
            list.push_back(extra);
        controller = std::make_unique<NotchController>(list, environment());
        controller->start();
        return *controller;
    }

    // Moves the pointer (Qt coordinates) after the sample throttle has passed.
    void moveTo(double x, double y, Qt::MouseButtons buttons = Qt::NoButton)
    {
        shell.clock.advance(Millis(20));
        pointer.move(QPointF(x, y), buttons);
    }
    void advance(int ms) { shell.clock.advance(Millis(ms)); }

    [[nodiscard]] NotchShellModel &model() const { return *controller->model(); }
    [[nodiscard]] NotchPanel &panel() const { return *controller->panel(); }
    [[nodiscard]] NotchPhase phase() const { return controller->model()->phase(); }
    [[nodiscard]] QList<QRectF> inputShape() const { return windows.inputShapes.value(controller->panel()); }
    // Opens the surface from the top edge above the notch.
    void open() { moveTo(centreX, 0); }
    // Moves far from the notch (the grace then runs).
    void leave() { moveTo(centreX, 700); }

    ShellEnv shell;
    Appearance appearance;
    FakePointerMonitor pointer;
    CountingDragPasteboard drag;
    FakePanelWindowSystem windows;
    FakeScreens screens;
    QPointer<FakeFullScreenProbe> probe;
    bool startFullScreen = false;
    std::unique_ptr<NotchController> controller;
};

} // namespace tavrenhold::test
