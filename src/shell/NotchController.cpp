#include "NotchController.h"

#include "FullScreenMonitor.h"
#include "ScreenSource.h"
#include "app/NotchSettings.h"
#include "design/Appearance.h"
#include "design/NotchGeometry.h"
#include "design/NotchSilhouette.h"
#include "drop/DropPane.h"
#include "music/MusicPane.h"
#include "platform/DragPasteboard.h"
#include "platform/FullScreenProbe.h"
#include "platform/PointerMonitor.h"

#include <QPolygon>

#include <algorithm>
#include <cmath>

namespace tavrenhold {

using platform::GlobalPoint;
using platform::GlobalRect;

namespace {
GlobalRect grown(const GlobalRect &r, double by)
{
    return {r.x - by, r.y - by, r.width + 2 * by, r.height + 2 * by};
}
} // namespace

NotchController::NotchController(std::vector<NotchPane *> panes, Environment environment, QObject *parent)
    : QObject(parent)
    , m_panes(std::move(panes))
    , m_env(std::move(environment))
{
}

NotchController::~NotchController() { stop(); }

// ---- Geometry

QSizeF NotchController::panelSize(double expandedWidth, const std::vector<NotchPane *> &panes)
{
    const double width = std::max(expandedWidth, panelMinExpandedWidth) + panelExtraWidth;
    std::optional<double> tallest;
    for (const NotchPane *pane : panes) {
        if (pane)
            tallest = std::max(tallest.value_or(pane->contentHeight()), pane->contentHeight());
    }
    return {width, tallest ? *tallest + panelExtraHeight : panelHeightWithoutPanes};
}

QSizeF NotchController::panelSize() const { return panelSize(m_env.settings.expandedWidth(), m_panes); }

double NotchController::distance(GlobalPoint p, const GlobalRect &r)
{
    const double dx = std::max({r.minX() - p.x, p.x - r.maxX(), 0.0});
    const double dy = std::max({r.minY() - p.y, p.y - r.maxY(), 0.0});
    return std::sqrt(dx * dx + dy * dy);
}

bool NotchController::contains(const GlobalRect &r, GlobalPoint p)
{
    return p.x >= r.minX() && p.x < r.maxX() && p.y >= r.minY() && p.y < r.maxY();
}

GlobalRect NotchController::triggerRect() const
{
    if (!m_model)
        return {};
    const NotchGeometry &g = m_model->geometry();
    double w = std::max(g.hardwareWidth, 1.0);
    double h = std::max(g.hardwareHeight, 1.0);
    double shift = 0;
    // The visible collapsed bar counts too; it is wider than the notch on both sides.
    if (!m_model->isExpanded() && !m_model->hidesCollapsed() && m_model->targetWidth() >= w) {
        w = m_model->targetWidth();
        h = std::max(h, m_model->surfaceHeight());
        shift = m_model->surfaceShift();
    }
    return {m_panelFrame.midX() + shift - w / 2, m_panelFrame.maxY() - h, w, h + 1};
}

bool NotchController::isOnSurface(GlobalPoint point) const
{
    if (!m_model)
        return false;
    if (m_model->isExpanded()) {
        const QSizeF size = m_hitBox.size();
        const GlobalRect surface{m_panelFrame.midX() - size.width() / 2, m_panelFrame.maxY() - size.height(),
                                 size.width(), size.height()};
        if (contains(grown(surface, surfaceSlack), point))
            return true;
        // An open popover counts as the surface: the pointer may go there without a collapse.
        const QRectF popover = m_hitBox.popover();
        return !popover.isEmpty() && contains(GlobalRect{m_panelFrame.minX() + popover.x(),
                                                         m_panelFrame.maxY() - popover.bottom(), popover.width(),
                                                         popover.height()},
                                              point);
    }
    return contains(triggerRect(), point);
}

// ---- Start and stop

void NotchController::start()
{
    if (m_panel)
        return;
    const platform::ScreenList list = m_env.screens.screens();
    const GlobalPoint pointer = list.space().fromQt(m_env.pointer.current().position);
    const auto index = NotchGeometry::preferredScreen(list.screens(), m_env.settings.screen(), pointer);
    if (!index)
        return; // inert for the whole run
    m_space = list.space();
    const platform::ScreenDescription &screen = list.screens()[*index];

    m_model = std::make_unique<NotchShellModel>(m_panes, NotchGeometry::measure(screen), m_env.defaults,
                                                m_env.settings, m_env.preferences, m_env.systemAppearance,
                                                m_env.clock);
    m_model->start();

    // The Drop pane: its drag request opens the notch on it, and its drop target lies over the notch.
    DropWellView *catcher = nullptr;
    const auto dropIt = std::find_if(m_panes.begin(), m_panes.end(),
                                     [](const NotchPane *p) { return p && p->id() == PaneID::drop; });
    if (dropIt != m_panes.end()) {
        if (auto *drop = qobject_cast<DropPane *>(*dropIt)) {
            drop->setOnDragRequestsExpand([self = QPointer(this)] {
                if (self)
                    self->present(PaneID::drop);
            });
            catcher = new DropWellView;
            catcher->setPane(drop);
            m_isDragTargeted = [pane = QPointer(drop)] { return pane && pane->isTargeted(); };
        }
    }

    const QSizeF size = panelSize();
    const NotchGeometry &g = m_model->geometry();
    m_hitBox.setSize({std::max(g.hardwareWidth, 1.0),
                      m_env.settings.collapsedHeight() == CollapsedHeight::standard ? standardCollapsedHeight
                                                                                     : std::max(g.hardwareHeight, 1.0)});

    m_panel = std::make_unique<NotchPanel>(m_env.windows, m_hitBox, size.toSize());
    m_panel->setScrollHandler([this](const ScrollEvent &event) { return handleScroll(event); });
    // Over the open panel the pointer is told by the panel's own motion events.
    m_env.pointer.setOwnWindow(m_panel.get());
    if (m_env.makeRootView) {
        m_panel->setRootView(m_env.makeRootView(*m_panel, *m_model, m_hitBox, [self = QPointer(this)](bool hovering) {
            if (self)
                self->hoverChanged(hovering);
        }));
    }
    if (catcher)
        m_panel->setDragCatcher(catcher);
    placePanel(screen.frame, size);
    m_panel->orderFront();
    layoutDragCatcher();

    m_connections.push_back(connect(&m_env.appearance, &Appearance::panelSchemeChanged, this, &NotchController::syncScheme));
    // The interactive area follows the surface: a taller pane landed on, or a pane growing, while open.
    m_connections.push_back(connect(m_model.get(), &NotchShellModel::surfaceHeightChanged, this, &NotchController::updateHitBox));
    m_connections.push_back(connect(&m_env.settings, &NotchSettings::expandedWidthChanged, this, &NotchController::updateHitBox));
    for (auto signal : {&NotchShellModel::surfaceWidthChanged, &NotchShellModel::surfaceHeightChanged,
                        &NotchShellModel::cornerRadiusChanged, &NotchShellModel::phaseChanged,
                        &NotchShellModel::pulseScaleChanged, &NotchShellModel::surfaceOpacityChanged})
        m_connections.push_back(connect(m_model.get(), signal, this, &NotchController::syncOutline));
    m_connections.push_back(connect(&m_hitBox, &NotchHitBox::changed, this, &NotchController::syncOutline));
    // The Music pane's open output picker takes the pointer too.
    for (NotchPane *pane : m_panes) {
        if (auto *music = qobject_cast<MusicPane *>(pane))
            m_connections.push_back(connect(music, &MusicPane::popoverRectChanged, this, &NotchController::syncPopover));
    }
    syncPopover();

    installMonitors();

    m_fullScreen = std::make_unique<FullScreenMonitor>(m_env.makeFullScreenProbe ? m_env.makeFullScreenProbe() : nullptr,
                                                       [self = QPointer(this)](bool hides) {
                                                           if (!self || !self->m_model)
                                                               return;
                                                           self->m_model->setHidesCollapsed(hides);
                                                           self->sampleNow(true);
                                                       });
    m_fullScreen->setScreen(m_space.toQt(screen.frame).toAlignedRect());
    m_fullScreen->start();

    m_connections.push_back(connect(&m_env.screens, &ScreenSource::changed, this, &NotchController::relocate));

    m_model->setHidesCollapsed(m_fullScreen->hidesCollapsed());
    syncOutline();
    sampleNow(true);

    // The music services launch child processes: after the first frame, not competing with it, and
    // anyway after a while when the panel draws nothing (no scene graph).
    m_servicesPending = true;
    m_firstFrame = connect(m_panel.get(), &QQuickWindow::frameSwapped, this, &NotchController::startServices,
                           Qt::QueuedConnection);
    startServicesAfter(QPointer(this), m_env.clock, m_servicesTask.renew());
}

void NotchController::startServices()
{
    disconnect(m_firstFrame);
    m_servicesTask.cancel();
    if (!m_servicesPending || !m_model)
        return; // started already (a frame and the wait may both have come), or stopped
    m_servicesPending = false;
    m_model->startServices();
}

QCoro::Task<> NotchController::startServicesAfter(QPointer<NotchController> self, Clock &clock, CancelToken token)
{
    auto sleep = clock.sleepFor(servicesWithoutFrame, token);
    co_await sleep;
    if (token.isCancelled() || !self)
        co_return;
    self->startServices();
}

void NotchController::stop()
{
    disconnect(m_firstFrame);
    m_servicesTask.cancel();
    m_servicesPending = false;
    cancelClose();
    m_trailingSample.cancel();
    m_trailingSamplePending = false;
    removeMonitors();
    if (m_fullScreen) {
        m_fullScreen->stop();
        m_fullScreen.reset();
    }
    for (const QMetaObject::Connection &c : m_connections)
        disconnect(c);
    m_connections.clear();
    if (m_model) {
        m_model->cancelRotor();
        m_model->setActive(std::nullopt);
        if (auto *music = qobject_cast<MusicPane *>(m_model->pane(PaneID::music)))
            music->stopServices();
    }
    m_isDragTargeted = nullptr;
    m_dragArmed = false;
    m_dragPasteboardChange = -1;
    if (m_panel) {
        m_panel->setDragCatcher(nullptr);
        if (m_panel->isKey())
            m_panel->handKeyAway();
        m_panel->orderOut();
        m_env.pointer.setOwnWindow(nullptr);
        m_panel.reset();
    }
    m_model.reset();
}

void NotchController::installMonitors()
{
    if (m_monitorsInstalled)
        return;
    m_monitorsInstalled = true;
    m_connections.push_back(connect(&m_env.pointer, &platform::PointerMonitor::changed, this, [this] { sampleNow(false); }));
    // A late answer about the drag's files arrives under the same change count: look again.
    m_connections.push_back(connect(&m_env.drag, &platform::DragPasteboard::changed, this,
                                    [this] { m_dragPasteboardChange = -1; }));
    // A display that cannot follow the pointer or drags reports nothing; the rest still works.
    [[maybe_unused]] const bool pointerFollowed = m_env.pointer.start();
    [[maybe_unused]] const bool dragsFollowed = m_env.drag.start();
}

void NotchController::removeMonitors()
{
    if (!m_monitorsInstalled)
        return;
    m_monitorsInstalled = false;
    m_env.pointer.stop();
    m_env.drag.stop();
}

// ---- Placement

void NotchController::placePanel(const GlobalRect &screen, const QSizeF &size)
{
    const GlobalRect wanted{screen.midX() - size.width() / 2, screen.maxY() - size.height(), size.width(), size.height()};
    const QRect frame = m_space.toQt(wanted).toRect();
    m_panelFrame = m_space.fromQt(QRectF(frame));
    m_panel->setFrame(frame);
    updateAttentionArea();
}

void NotchController::updateAttentionArea()
{
    // Far from the open surface, or from the notch and its hover zone while collapsed, no decision
    // needs every move of the pointer.
    if (!m_panel || !m_model)
        return;
    QRectF area;
    if (m_model->isExpanded()) {
        area = m_space.toQt(m_panelFrame).adjusted(-attentionMargin, -attentionMargin, attentionMargin, attentionMargin);
    } else {
        const double reach = m_env.settings.proximityRadius() + attentionMargin;
        area = m_space.toQt(triggerRect()).adjusted(-reach, -reach, reach, reach);
    }
    m_env.pointer.setAttentionArea(area);
}

void NotchController::relocate()
{
    if (!m_panel || !m_model)
        return;
    const platform::ScreenList list = m_env.screens.screens();
    const GlobalPoint pointer = list.space().fromQt(m_env.pointer.current().position);
    const auto index = NotchGeometry::preferredScreen(list.screens(), m_env.settings.screen(), pointer);
    if (!index)
        return; // the panel keeps its place and the model its geometry
    m_space = list.space();
    const platform::ScreenDescription &screen = list.screens()[*index];
    const NotchGeometry measured = NotchGeometry::measure(screen);
    if (measured != m_model->geometry())
        m_model->setGeometry(measured);
    placePanel(screen.frame, panelSize());
    if (m_fullScreen)
        m_fullScreen->setScreen(m_space.toQt(screen.frame).toAlignedRect());
    layoutDragCatcher();
    updateHitBox();
    syncOutline();
    sampleNow(true);
}

bool NotchController::followCursor(GlobalPoint point)
{
    if (m_env.settings.screen() != NotchScreen::cursor || m_model->isExpanded())
        return false;
    const platform::ScreenList list = m_env.screens.screens();
    const auto index = NotchGeometry::screen(point, list.screens());
    if (!index || list.screens()[*index].frame == m_model->geometry().screenFrame)
        return false;
    relocate();
    return true;
}

void NotchController::layoutDragCatcher()
{
    if (!m_panel)
        return;
    const double width = m_model ? m_model->geometry().hardwareWidth + dropBandExtraWidth : dropBandWidthWithoutModel;
    const QRectF band(m_panel->width() / 2.0 - width / 2, 0, width, dropBandHeight);
    m_hitBox.setDragBand(band);
    if (DropWellView *catcher = m_panel->dragCatcher()) {
        catcher->setPosition(band.topLeft());
        catcher->setSize(band.size());
    }
}

void NotchController::updateHitBox()
{
    if (!m_model)
        return;
    const double width = m_model->isExpanded() ? m_env.settings.expandedWidth()
                                               : std::max(m_model->geometry().hardwareWidth, 1.0);
    m_hitBox.setSize({width, m_model->surfaceHeight()});
}

void NotchController::syncPanePreferences()
{
    if (m_model)
        m_model->syncPanePreferences();
}

QRegion NotchController::surfaceOutline() const
{
    if (!m_panel || !m_model)
        return {};
    QRegion region;
    if (m_model->isExpanded() || m_model->surfaceOpacity() > 0) {
        // The surface hangs from the middle of the top edge, scaled about its centre by the pulse.
        const double scale = m_model->pulseScale();
        const double width = m_model->surfaceWidth() * scale;
        const double height = m_model->surfaceHeight() * scale;
        const double centreY = m_model->surfaceHeight() / 2;
        const QRectF rect(m_panel->width() / 2.0 + m_model->surfaceShift() - width / 2, centreY - height / 2, width,
                          height);
        const NotchSilhouette silhouette{m_model->flareRadius(), m_model->cornerRadius()};
        region = QRegion(silhouette.path(rect).toFillPolygon().toPolygon(), Qt::WindingFill);
    }
    if (m_hitBox.dragArmed())
        region += m_hitBox.dragBand().toAlignedRect();
    if (!m_hitBox.popover().isEmpty())
        region += m_hitBox.popover().toAlignedRect();
    return region;
}

void NotchController::syncPopover()
{
    QRectF popover;
    for (NotchPane *pane : m_panes) {
        if (auto *music = qobject_cast<MusicPane *>(pane); music && !music->popoverRect().isEmpty())
            popover = music->popoverRect();
    }
    m_hitBox.setPopover(popover);
}

void NotchController::syncOutline()
{
    if (!m_panel)
        return;
    const QRegion outline = surfaceOutline();
    // Nothing drawn: a cut outside the window leaves nothing of it (an empty cut would leave it whole).
    m_panel->setOutline(outline.isEmpty() ? QRegion(-1, -1, 1, 1) : outline);
}

// ---- Pointer

GlobalPoint NotchController::pointerPosition() const { return m_space.fromQt(m_env.pointer.current().position); }

bool NotchController::buttonsHeld() const { return m_env.pointer.current().buttons != Qt::NoButton; }

void NotchController::sampleNow(bool force) { sample(pointerPosition(), force); }

void NotchController::sample(GlobalPoint point, bool force)
{
    if (!m_panel || !m_model)
        return;
    const MonoTime now = m_env.clock.now();
    if (!force && m_lastSample && now - *m_lastSample < sampleInterval) {
        // The last move of a burst must still be decided, or a pointer that stops right after it
        // would wait for its next move: one trailing sample once the interval has passed.
        if (!m_trailingSamplePending) {
            m_trailingSamplePending = true;
            const auto wait = std::chrono::ceil<Millis>(*m_lastSample + sampleInterval - now);
            sampleAfter(QPointer(this), m_env.clock, wait, m_trailingSample.renew());
        }
        return;
    }
    m_lastSample = now;
    if (m_trailingSamplePending) {
        m_trailingSample.cancel();
        m_trailingSamplePending = false;
    }
    if (followCursor(point))
        return; // the move took its own sample

    const GlobalRect trigger = triggerRect();
    const bool inTrigger = contains(trigger, point);
    const bool onSurface = isOnSurface(point);
    const double dist = distance(point, trigger);
    const double radius = m_env.settings.proximityRadius();

    updateDragArming(point);
    const bool held = buttonsHeld();

    // Clicks reach the panel on the surface or the armed band; a button held elsewhere keeps
    // whatever was set when it went down.
    if (onSurface || m_dragArmed)
        m_panel->setIgnoresMouseEvents(false);
    else if (!held)
        m_panel->setIgnoresMouseEvents(true);

    NotchPhase target = NotchPhase::idle;
    if (isDragTargeted() || inTrigger)
        target = NotchPhase::expanded;
    else if (m_model->isExpanded() && (held || onSurface))
        target = NotchPhase::expanded;
    else if (dist <= radius)
        target = NotchPhase::proximity;
    transition(target);
}

void NotchController::transition(NotchPhase target)
{
    if (!m_model)
        return;
    const NotchPhase phase = m_model->phase();
    if (target == phase) {
        cancelClose();
        return;
    }
    if (target == NotchPhase::expanded) {
        cancelClose();
        m_model->setPhase(NotchPhase::expanded);
        updateAttentionArea();
        syncKey();
        return;
    }
    if (phase != NotchPhase::expanded) {
        m_model->setPhase(target);
        syncKey();
        return;
    }
    // Leaving an open surface: collapse only if the pointer stays away for the grace period.
    if (!m_closePending && !isDragTargeted()) {
        m_closePending = true;
        closeAfterGrace(QPointer(this), m_env.clock, m_closeTask.renew());
    }
}

QCoro::Task<> NotchController::sampleAfter(QPointer<NotchController> self, Clock &clock, Millis wait,
                                           CancelToken token)
{
    auto sleep = clock.sleepFor(wait, token);
    co_await sleep;
    if (token.isCancelled() || !self)
        co_return;
    self->m_trailingSamplePending = false;
    self->sampleNow(false);
}

QCoro::Task<> NotchController::closeAfterGrace(QPointer<NotchController> self, Clock &clock, CancelToken token)
{
    auto sleep = clock.sleepFor(collapseGrace, token);
    co_await sleep;
    if (token.isCancelled() || !self)
        co_return;
    self->m_closePending = false;
    self->settleAfterGrace();
}

void NotchController::cancelClose()
{
    m_closeTask.cancel();
    m_closePending = false;
}

void NotchController::settleAfterGrace()
{
    if (!m_panel || !m_model || !m_model->isExpanded() || isDragTargeted() || buttonsHeld())
        return; // stays open; a later sample starts a new grace
    if (isOnSurface(pointerPosition())) {
        cancelClose();
        return;
    }
    collapse(NotchPhase::idle);
}

void NotchController::collapse(NotchPhase phase)
{
    m_model->setPhase(phase);
    updateAttentionArea();
    syncKey();
    m_panel->setIgnoresMouseEvents(true);
}

void NotchController::present(std::optional<PaneID> pane)
{
    if (!m_model)
        return;
    cancelClose();
    if (pane)
        m_model->land(*pane);
    m_model->setPhase(NotchPhase::expanded);
    updateAttentionArea();
    syncKey();
}

void NotchController::hoverChanged(bool hovering)
{
    if (!hovering) {
        sampleNow(true);
        return;
    }
    if (m_model && m_model->isExpanded() && isOnSurface(pointerPosition()))
        cancelClose();
}

// ---- Key status and scheme

void NotchController::syncKey()
{
    if (!m_panel || !m_model)
        return;
    const bool expanded = m_model->isExpanded();
    const int level = expanded ? NotchPanel::expandedLevel : NotchPanel::collapsedLevel;
    if (m_panel->level() != level) {
        m_panel->setLevel(level);
        if (expanded)
            m_panel->orderFront();
    }
    syncScheme();
    if (expanded) {
        m_panel->setWantsKey(true);
        if (!m_panel->isKey())
            m_panel->makeKey();
    } else {
        m_panel->setWantsKey(false);
        if (m_panel->isKey())
            m_panel->handKeyAway();
    }
    updateHitBox();
}

void NotchController::syncScheme()
{
    if (!m_panel || !m_model)
        return;
    m_panel->applyScheme(m_model->isExpanded() ? m_env.appearance.panelScheme() : ColorScheme::dark);
}

// ---- File drags

void NotchController::updateDragArming(GlobalPoint point)
{
    if (!m_panel || !m_panel->dragCatcher())
        return;
    const QRectF band = m_hitBox.dragBand();
    // The band in the global space: the panel's coordinates grow downwards from its top edge.
    const GlobalRect bandGlobal{m_panelFrame.minX() + band.x(), m_panelFrame.maxY() - band.bottom(), band.width(),
                                band.height()};
    std::optional<bool> wanted;
    if (buttonsHeld()) {
        if (contains(grown(bandGlobal, dragArmGrowth), point))
            wanted = dragPasteboardCarriesFiles();
        else if (m_dragArmed)
            wanted = false;
    } else if (m_isDragTargeted) {
        wanted = m_isDragTargeted();
    } else if (m_dragArmed) {
        wanted = false;
    }
    if (!wanted || *wanted == m_dragArmed)
        return;
    m_dragArmed = *wanted;
    m_hitBox.setDragArmed(m_dragArmed);
    m_panel->dragCatcher()->setOpacity(m_dragArmed ? armedCatcherOpacity : 0);
}

bool NotchController::dragPasteboardCarriesFiles()
{
    const qint64 count = m_env.drag.changeCount();
    if (count == m_dragPasteboardChange)
        return m_dragPasteboardHasFiles;
    m_dragPasteboardChange = count;
    m_dragPasteboardHasFiles = m_env.drag.carriesFiles();
    return m_dragPasteboardHasFiles;
}

// ---- Paging

bool NotchController::handleScroll(const ScrollEvent &event)
{
    if (!m_model || !m_model->isExpanded())
        return false;
    const MonoTime now = m_env.clock.now();
    // A touchpad under libinput now and then sends a whole notch's angle; inside a gesture it is
    // still the trackpad's.
    if (event.precise || swipeGoesOn(now))
        return handleSwipe(event);
    if (std::abs(event.dy) > std::abs(event.dx) && event.dy != 0) {
        if (!m_lastWheel || now - *m_lastWheel > wheelSpacing) {
            m_lastWheel = now;
            const double dy = event.inverted ? -event.dy : event.dy;
            step(dy < 0 ? 1 : -1);
        }
        return true;
    }
    return false;
}

bool NotchController::swipeGoesOn(MonoTime now) const { return m_lastSwipe && now - *m_lastSwipe <= swipeGap; }

void NotchController::endSwipe()
{
    m_lastSwipe.reset();
    m_swipeTravel = 0;
    m_swipeCommitted = false;
}

bool NotchController::handleSwipe(const ScrollEvent &event)
{
    const MonoTime now = m_env.clock.now();
    // Without phases (X11) a pause in the scrolls ends the gesture; with them, its first event does.
    if (event.began || !swipeGoesOn(now))
        endSwipe();
    m_lastSwipe = now;
    const bool horizontal = std::abs(event.dx) > std::abs(event.dy);
    if (horizontal && !event.momentum) {
        m_swipeTravel += event.dx;
        if (!m_swipeCommitted && std::abs(m_swipeTravel) >= swipeCommit) {
            m_swipeCommitted = true;
            step(m_swipeTravel < 0 ? 1 : -1);
        }
    }
    if (event.ended)
        endSwipe();
    return horizontal;
}

void NotchController::step(int delta)
{
    if (!m_model)
        return;
    const std::vector<PaneID> &order = m_model->order();
    const auto it = std::find(order.begin(), order.end(), m_model->landed());
    if (it == order.end())
        return;
    const auto index = std::distance(order.begin(), it) + delta;
    if (index < 0 || index >= std::ssize(order))
        return;
    m_model->land(order[size_t(index)]);
}

} // namespace tavrenhold
