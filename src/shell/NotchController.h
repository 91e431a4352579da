#pragma once

#include "NotchHitBox.h"
#include "NotchPanel.h"
#include "NotchShellModel.h"
#include "app/NotchControl.h"
#include "design/CancelToken.h"
#include "design/Clock.h"
#include "design/NotchPane.h"
#include "platform/ScreenList.h"

#include <QObject>
#include <QPointer>
#include <QRegion>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#ifndef Q_MOC_RUN
#include <QCoroTask>
#endif

class QQuickItem;

namespace tavrenhold {

class Appearance;
class FullScreenMonitor;
class NotchSettings;
class PanePreferences;
class ScreenSource;

namespace platform {
class Defaults;
class DragPasteboard;
class FullScreenProbe;
class PanelWindowSystem;
class PointerMonitor;
class SystemAppearance;
} // namespace platform

// Everything the notch controller works with; every reference must outlive the controller.
struct NotchControllerEnvironment {
    platform::PointerMonitor &pointer;
    platform::DragPasteboard &drag;
    platform::PanelWindowSystem &windows;
    ScreenSource &screens;
    // A new probe for each full-screen monitor the controller makes.
    std::function<std::unique_ptr<platform::FullScreenProbe>()> makeFullScreenProbe;
    NotchSettings &settings;
    PanePreferences &preferences;
    platform::Defaults &defaults;
    platform::SystemAppearance &systemAppearance;
    Appearance &appearance;
    Clock &clock;
    // Makes the view hosted in the panel (NotchPanel::makeRootView); none when empty or null.
    std::function<QQuickItem *(NotchPanel &, NotchShellModel &, NotchHitBox &, NotchPanel::HoverHandler)> makeRootView;
};

// The owner of the notch panel and the driver of its phases. Started once, it picks the screen,
// builds the shell model and the panel with its hit box and root view, follows the pointer, drags
// and the full-screen state, and watches the screens. From then on every pointer sample decides the
// phase (idle, proximity or expanded); an open surface the pointer left collapses after a short
// grace. It arms a file-drop band over the notch while files are dragged near, pages between panes
// on wheel and trackpad scrolls over the open panel, and places the panel again when the screens or
// the layout settings change.
//
// All positions it reasons about are in the notch's global space (platform/ScreenList.h: points,
// y up); the panel's own coordinates are Qt's (y down).
class NotchController final : public QObject, public NotchControl {
    Q_OBJECT

public:
    using Environment = NotchControllerEnvironment;

    // Pointer samples from the monitor are taken at most once per 1/60 s.
    static constexpr std::chrono::microseconds sampleInterval{16'667};
    // Points beyond the open surface, or the notch's hover zone, within which the pointer is
    // followed on every frame.
    static constexpr double attentionMargin = 120;
    // An open surface the pointer left collapses after this long.
    static constexpr Millis collapseGrace{140};
    // The services start with the panel's first frame, or after this when no frame comes.
    static constexpr Millis servicesWithoutFrame{1000};
    // Wheel notches step between panes at most once per this long.
    static constexpr Millis wheelSpacing{220};
    static constexpr double surfaceSlack = 2;
    static constexpr double standardCollapsedHeight = 44;
    static constexpr double dropBandExtraWidth = 180;
    static constexpr double dropBandWidthWithoutModel = 380;
    static constexpr double dropBandHeight = 134;
    static constexpr double dragArmGrowth = 70;
    static constexpr double armedCatcherOpacity = 0.01;
    static constexpr double swipeCommit = 60;
    // A trackpad gesture ends when no trackpad scroll came for longer than this (X11 tells no
    // gesture's beginning or end). Longer than the pauses between the events of one moving swipe,
    // shorter than the time between two deliberate swipes.
    static constexpr Millis swipeGap{200};
    static constexpr double panelMinExpandedWidth = 600;
    static constexpr double panelExtraWidth = 160;
    // Pills, paddings, margins and room for the flight of the travelling items: 76 + 18 + 18 + 120 + 80.
    static constexpr double panelExtraHeight = 312;
    static constexpr double panelHeightWithoutPanes = 520;

    // Keeps the panes (in the order given: usage, music, clipboard, notes, drop, focus) and makes the
    // hit box; nothing else.
    NotchController(std::vector<NotchPane *> panes, Environment environment, QObject *parent = nullptr);
    ~NotchController() override;

    // Builds everything; does nothing while a panel exists. Without a screen the controller stays
    // inert for good.
    void start() override;
    // Tears everything down: monitors, full-screen monitor, screen observer, the active pane, the
    // music services, the panel. The music services start once the panel's first frame is shown,
    // so their children do not compete with it.
    void stop() override;
    void present(std::optional<PaneID> pane) override;
    void relocate() override;
    void syncPanePreferences() override;
    void updateHitBox() override;

    // A wheel or trackpad scroll over the panel; true when it is swallowed.
    bool handleScroll(const ScrollEvent &event);
    // From the root view: the pointer entered (true) or left (false) the surface.
    void hoverChanged(bool hovering);

    [[nodiscard]] NotchShellModel *model() const { return m_model.get(); }
    [[nodiscard]] NotchPanel *panel() const { return m_panel.get(); }
    [[nodiscard]] const NotchHitBox &hitBox() const { return m_hitBox; }
    [[nodiscard]] FullScreenMonitor *fullScreenMonitor() const { return m_fullScreen.get(); }
    [[nodiscard]] bool isCollapsePending() const { return m_closePending; }
    [[nodiscard]] bool isDragArmed() const { return m_dragArmed; }
    // The panel's frame in the notch's global space.
    [[nodiscard]] platform::GlobalRect panelFrame() const { return m_panelFrame; }
    // The area whose entry opens the surface: the notch (and the visible collapsed bar while not
    // expanded and not hidden), reaching 1 pt above the top of the panel.
    [[nodiscard]] platform::GlobalRect triggerRect() const;
    [[nodiscard]] bool isOnSurface(platform::GlobalPoint point) const;
    // The outline of the drawn surface in the panel's coordinates, plus the drop band while armed.
    [[nodiscard]] QRegion surfaceOutline() const;

    // The panel's size: max(expanded width, 600) + 160 wide, the tallest pane + 312 high (520 without
    // panes).
    [[nodiscard]] static QSizeF panelSize(double expandedWidth, const std::vector<NotchPane *> &panes);
    // Distance from a point to a rectangle; 0 inside.
    [[nodiscard]] static double distance(platform::GlobalPoint point, const platform::GlobalRect &rect);
    // Whether the rectangle holds the point: left and bottom edges in, right and top edges out.
    [[nodiscard]] static bool contains(const platform::GlobalRect &rect, platform::GlobalPoint point);

private:
    // The Music pane's open output picker joins the hit box.
    void syncPopover();
    // Takes a sample at the pointer's current position.
    void sampleNow(bool force);
    void sample(platform::GlobalPoint point, bool force);
    void transition(NotchPhase target);
    void collapse(NotchPhase phase);
    void settleAfterGrace();
    void cancelClose();
    void syncKey();
    void syncScheme();
    void syncOutline();
    [[nodiscard]] platform::GlobalPoint pointerPosition() const;
    [[nodiscard]] bool buttonsHeld() const;
    [[nodiscard]] bool isDragTargeted() const { return m_isDragTargeted && m_isDragTargeted(); }
    [[nodiscard]] QSizeF panelSize() const;
    // Puts the panel at the top centre of the screen, `size` large.
    void placePanel(const platform::GlobalRect &screen, const QSizeF &size);
    void updateAttentionArea();
    void layoutDragCatcher();
    void installMonitors();
    void removeMonitors();
    void updateDragArming(platform::GlobalPoint point);
    [[nodiscard]] bool dragPasteboardCarriesFiles();
    [[nodiscard]] bool followCursor(platform::GlobalPoint point);
    [[nodiscard]] bool handleSwipe(const ScrollEvent &event);
    // A trackpad gesture is still going on: its last scroll came no longer than the gap ago.
    [[nodiscard]] bool swipeGoesOn(MonoTime now) const;
    void endSwipe();
    void step(int delta);

    static QCoro::Task<> sampleAfter(QPointer<NotchController> self, Clock &clock, Millis wait, CancelToken token);
    static QCoro::Task<> closeAfterGrace(QPointer<NotchController> self, Clock &clock, CancelToken token);
    static QCoro::Task<> startServicesAfter(QPointer<NotchController> self, Clock &clock, CancelToken token);
    void startServices();

    std::vector<NotchPane *> m_panes;
    Environment m_env;
    NotchHitBox m_hitBox;
    std::unique_ptr<NotchShellModel> m_model;
    std::unique_ptr<NotchPanel> m_panel;
    std::unique_ptr<FullScreenMonitor> m_fullScreen;
    platform::ScreenSpace m_space;
    platform::GlobalRect m_panelFrame;
    bool m_monitorsInstalled = false;
    std::vector<QMetaObject::Connection> m_connections; // monitors, screens, scheme, model
    CancelSlot m_closeTask;
    QMetaObject::Connection m_firstFrame;
    bool m_servicesPending = false;
    CancelSlot m_servicesTask;
    bool m_closePending = false;
    std::optional<MonoTime> m_lastSample;
    CancelSlot m_trailingSample;
    bool m_trailingSamplePending = false;
    std::optional<MonoTime> m_lastWheel;
    std::optional<MonoTime> m_lastSwipe; // the last trackpad scroll of the current gesture
    double m_swipeTravel = 0;
    bool m_swipeCommitted = false;
    std::function<bool()> m_isDragTargeted;
    bool m_dragArmed = false;
    qint64 m_dragPasteboardChange = -1;
    bool m_dragPasteboardHasFiles = false;
};

} // namespace tavrenhold
