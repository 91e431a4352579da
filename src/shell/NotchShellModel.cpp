#include "NotchShellModel.h"

#include "app/NotchSettings.h"
#include "app/PanePreferences.h"
#include "design/Motion.h"
#include "design/Symbols.h"
#include "music/MusicPane.h"
#include "platform/Defaults.h"
#include "platform/SystemAppearance.h"

#include <QJSEngine>

#include <algorithm>
#include <cmath>

namespace tavrenhold {

namespace {

std::set<PaneID> idsOf(const std::vector<QPointer<NotchPane>> &panes)
{
    std::set<PaneID> ids;
    for (const auto &pane : panes) {
        if (pane)
            ids.insert(pane->id());
    }
    return ids;
}

bool contains(const std::vector<PaneID> &ids, PaneID id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); }

// A fraction for drawing: within 0 … 1, and 0 for anything that is not a number.
double unit(double value)
{
    if (!(value > 0))
        return 0;
    return std::min(value, 1.0);
}

// The Style colour that stands for a pane in the collapsed bar.
QString accentOf(PaneID pane)
{
    switch (pane) {
    case PaneID::usage: return QStringLiteral("usageAccent");
    case PaneID::music: return QStringLiteral("ink");
    case PaneID::clipboard: return QStringLiteral("clipboardAccent");
    case PaneID::notes: return QStringLiteral("notesAccent");
    case PaneID::drop: return QStringLiteral("dropAccent");
    case PaneID::focus: return QStringLiteral("focusAccent");
    }
    return QStringLiteral("ink");
}

QUrl symbolUrl(const QString &name)
{
    const auto path = Symbols::path(name);
    return path ? QUrl(QStringLiteral("qrc") + *path) : QUrl();
}

QVariantList levelList(const std::vector<float> &levels)
{
    QVariantList list;
    list.reserve(qsizetype(levels.size()));
    for (float level : levels)
        list.append(double(level));
    return list;
}

// A waveform plays when any bar stands above the still height.
bool isPlaying(const std::vector<float> &levels)
{
    return std::any_of(levels.begin(), levels.end(), [](float level) { return level > 0.06f; });
}

QVariantMap entryMap(const IdleEntry &entry)
{
    QVariantMap map;
    map.insert(QStringLiteral("pane"), rawValue(entry.pane));
    map.insert(QStringLiteral("accent"), accentOf(entry.pane));
    map.insert(QStringLiteral("help"), entry.pane == PaneID::usage ? QStringLiteral("Click to see model usage") : QString());
    std::visit(
        [&map](const auto &item) {
            using T = std::decay_t<decltype(item)>;
            if constexpr (std::is_same_v<T, IdleArtwork>) {
                map.insert(QStringLiteral("kind"), QStringLiteral("artwork"));
                map.insert(QStringLiteral("hasImage"), item.image.has_value());
                map.insert(QStringLiteral("imageId"), item.image ? item.image->id : QString());
            } else if constexpr (std::is_same_v<T, IdleWaveform>) {
                map.insert(QStringLiteral("kind"), QStringLiteral("waveform"));
                map.insert(QStringLiteral("levels"), levelList(item.levels));
                map.insert(QStringLiteral("isPlaying"), isPlaying(item.levels));
            } else if constexpr (std::is_same_v<T, IdleRing>) {
                map.insert(QStringLiteral("kind"), QStringLiteral("ring"));
                map.insert(QStringLiteral("progress"), unit(item.progress));
                map.insert(QStringLiteral("label"), item.label);
                map.insert(QStringLiteral("hasSpan"), item.span.has_value());
                map.insert(QStringLiteral("spanStart"), item.span ? item.span->lower : QDateTime());
                map.insert(QStringLiteral("spanEnd"), item.span ? item.span->upper : QDateTime());
            } else if constexpr (std::is_same_v<T, IdleBadge>) {
                map.insert(QStringLiteral("kind"), QStringLiteral("badge"));
                map.insert(QStringLiteral("symbol"), item.symbol);
                map.insert(QStringLiteral("symbolUrl"), symbolUrl(item.symbol));
                map.insert(QStringLiteral("text"), item.text);
            } else {
                map.insert(QStringLiteral("kind"), QStringLiteral("glyph"));
                map.insert(QStringLiteral("symbol"), item.symbol);
                map.insert(QStringLiteral("symbolUrl"), symbolUrl(item.symbol));
            }
        },
        entry.item);
    return map;
}

QVariantMap optionalEntryMap(const std::optional<IdleEntry> &entry) { return entry ? entryMap(*entry) : QVariantMap(); }

} // namespace

NotchShellModel::NotchShellModel(std::vector<NotchPane *> panes, const NotchGeometry &geometry,
                                 platform::Defaults &defaults, NotchSettings &settings, PanePreferences &preferences,
                                 platform::SystemAppearance &appearance, Clock &clock, QObject *parent)
    : QObject(parent)
    , m_geometry(geometry)
    , m_defaults(defaults)
    , m_settings(settings)
    , m_preferences(preferences)
    , m_appearance(appearance)
    , m_clock(clock)
{
    for (NotchPane *pane : panes) {
        if (pane)
            m_panes.emplace_back(pane);
    }

    std::vector<PaneID> visible = visibleOrder(m_preferences, idsOf(m_panes));
    const std::optional<PaneID> stored = paneFromRaw(m_defaults.string(focusedPaneKey).value_or(QString()));
    PaneID chosen = PaneID::music;
    if (stored && contains(visible, *stored))
        chosen = *stored;
    else if (!visible.empty())
        chosen = visible.front();
    else if (!m_panes.empty())
        chosen = m_panes.front()->id();
    if (visible.empty())
        visible = {chosen};
    m_order = std::move(visible);
    m_focused = chosen;
    m_landed = chosen;

    for (const auto &pane : m_panes)
        watch(pane);
    connect(&m_settings, &NotchSettings::collapsedWidthChanged, this, &NotchShellModel::refresh);
    connect(&m_settings, &NotchSettings::collapsedHeightChanged, this, &NotchShellModel::refresh);
    connect(&m_settings, &NotchSettings::showCollapsedProgressChanged, this, &NotchShellModel::refresh);
    connect(&m_settings, &NotchSettings::expandedWidthChanged, this, &NotchShellModel::refresh);
    connect(&m_appearance, &platform::SystemAppearance::reduceMotionChanged, this, &NotchShellModel::refresh);

    m_derived = derive();
}

NotchShellModel::~NotchShellModel()
{
    // Wakes the sleeping rotor and pulse tasks, which then end without touching the model.
    m_life.cancel();
    m_rotor.cancel();
}

void NotchShellModel::watch(NotchPane *pane)
{
    connect(pane, &NotchPane::idleChanged, this, &NotchShellModel::refresh);
    connect(pane, &NotchPane::contentHeightChanged, this, &NotchShellModel::refresh);
    // A pane that goes away counts as missing from then on.
    connect(pane, &QObject::destroyed, this, &NotchShellModel::refresh, Qt::QueuedConnection);
}

std::vector<PaneID> NotchShellModel::visibleOrder(const PanePreferences &preferences, const std::set<PaneID> &available)
{
    std::vector<PaneID> visible;
    for (PaneID id : preferences.order()) {
        if (available.contains(id) && !preferences.hidden().contains(id))
            visible.push_back(id);
    }
    return visible;
}

// ---- Operations

void NotchShellModel::start()
{
    notePulse();
    refresh();
}

void NotchShellModel::startServices()
{
    if (auto *music = qobject_cast<MusicPane *>(pane(PaneID::music)))
        music->startServices();
}

void NotchShellModel::setPhase(NotchPhase phase)
{
    if (phase == m_phase)
        return;
    const NotchPhase old = m_phase;
    if (phase == NotchPhase::expanded && m_landed != m_focused)
        setLanded(m_focused);
    m_phase = phase;
    Q_EMIT phaseChanged();
    if (phase == NotchPhase::expanded)
        setActive(m_landed);
    else if (old == NotchPhase::expanded)
        setActive(std::nullopt);
    notePulse();
    refresh();
}

void NotchShellModel::land(PaneID id)
{
    if (!pane(id))
        return;
    setLanded(id);
    focus(id);
    if (isExpanded())
        setActive(id);
    refresh();
}

void NotchShellModel::land(const QString &pane)
{
    if (const auto id = paneFromRaw(pane))
        land(*id);
}

void NotchShellModel::setActive(std::optional<PaneID> id)
{
    if (id == m_activated)
        return;
    if (m_activated) {
        if (NotchPane *old = pane(*m_activated))
            old->deactivate();
    }
    m_activated = id;
    if (id) {
        if (NotchPane *next = pane(*id))
            next->activate();
    }
}

void NotchShellModel::syncPanePreferences()
{
    std::vector<PaneID> visible = visibleOrder(m_preferences, idsOf(m_panes));
    if (visible.empty()) {
        if (NotchPane *first = m_panes.empty() ? nullptr : m_panes.front().data())
            visible = {first->id()};
    }
    if (visible != m_order) {
        m_order = visible;
        Q_EMIT orderChanged();
    }
    if (!visible.empty() && !contains(visible, m_focused)) {
        const PaneID first = visible.front();
        focus(first);
        setLanded(first);
        if (isExpanded())
            setActive(first);
    }
    refresh();
}

void NotchShellModel::focus(PaneID id)
{
    if (id == m_focused)
        return;
    m_focused = id;
    m_defaults.set(focusedPaneKey, rawValue(id));
    Q_EMIT focusedChanged();
}

void NotchShellModel::setLanded(PaneID id)
{
    if (id == m_landed)
        return;
    m_landed = id;
    Q_EMIT landedChanged();
}

void NotchShellModel::setGeometry(const NotchGeometry &geometry)
{
    if (geometry == m_geometry)
        return;
    m_geometry = geometry;
    Q_EMIT geometryChanged();
    refresh();
}

void NotchShellModel::setHidesCollapsed(bool hides)
{
    if (hides == m_hidesCollapsed)
        return;
    m_hidesCollapsed = hides;
    Q_EMIT hidesCollapsedChanged();
    refresh();
}

// ---- Rotor

void NotchShellModel::runRotor(int count)
{
    m_rotor.cancel();
    if (count < 2) {
        setRotorIndex(0);
        return;
    }
    rotorLoop(QPointer(this), m_clock, count, m_rotor.renew());
}

void NotchShellModel::syncRotor() { runRotor(int(composition().rotor.size())); }

void NotchShellModel::cancelRotor() { m_rotor.cancel(); }

QCoro::Task<> NotchShellModel::rotorLoop(QPointer<NotchShellModel> self, Clock &clock, int count, CancelToken token)
{
    while (!token.isCancelled()) {
        co_await clock.sleepFor(Motion::rotationDwell, token);
        if (token.isCancelled() || !self)
            co_return;
        self->setRotorIndex((self->m_rotorIndex + 1) % count);
    }
}

void NotchShellModel::setRotorIndex(int index)
{
    if (index == m_rotorIndex)
        return;
    m_rotorIndex = index;
    Q_EMIT rotorIndexChanged();
    refresh();
}

// ---- Pulse

void NotchShellModel::notePulse()
{
    const int total = pulse();
    if (total == m_lastPulse)
        return;
    m_lastPulse = total;
    setPulseScale(pulsePeak);
    pulseReset(QPointer(this), m_clock, m_life);
}

QCoro::Task<> NotchShellModel::pulseReset(QPointer<NotchShellModel> self, Clock &clock, CancelToken life)
{
    co_await clock.sleepFor(pulseHold, life);
    if (life.isCancelled() || !self)
        co_return;
    self->setPulseScale(1.0);
}

void NotchShellModel::setPulseScale(double scale)
{
    if (scale == m_pulseScale)
        return;
    m_pulseScale = scale;
    Q_EMIT pulseScaleChanged();
}

int NotchShellModel::pulse() const
{
    int total = 0;
    for (const auto &pane : m_panes) {
        if (pane)
            total += pane->idle().pulse;
    }
    return total;
}

// ---- Panes

NotchPane *NotchShellModel::pane(PaneID id) const
{
    for (const auto &pane : m_panes) {
        if (pane && pane->id() == id)
            return pane;
    }
    return nullptr;
}

QObject *NotchShellModel::paneObject(const QString &name) const
{
    const auto id = paneFromRaw(name);
    NotchPane *found = id ? pane(*id) : nullptr;
    if (found)
        QJSEngine::setObjectOwnership(found, QJSEngine::CppOwnership);
    return found;
}

std::vector<NotchPane *> NotchShellModel::panes() const
{
    std::vector<NotchPane *> out;
    for (const auto &pane : m_panes) {
        if (pane)
            out.push_back(pane);
    }
    return out;
}

// ---- Composition

IdleComposition NotchShellModel::composition() const
{
    IdleComposition c;
    const PaneID focusedId = m_focused;
    NotchPane *focusedPane = pane(focusedId);
    const std::optional<IdleSignal> focused = focusedPane ? std::optional(focusedPane->idle()) : std::nullopt;

    // Each pane's signal, read once, in the panes' order.
    std::vector<std::pair<PaneID, IdleSignal>> offers;
    for (const auto &p : m_panes) {
        if (p)
            offers.emplace_back(p->id(), p->idle());
    }

    for (const auto &[id, signal] : offers) {
        if (signal.pinnedLeading) {
            c.pinned = IdleEntry{id, *signal.pinnedLeading};
            break;
        }
    }

    if (focused && focused->identity) {
        const IdleItem &item = *focused->identity;
        const bool pinnedHere = c.pinned && c.pinned->pane == focusedId;
        const bool pinnedSame = c.pinned && c.pinned->item == item;
        if (!pinnedHere && !pinnedSame)
            c.identity = IdleEntry{focusedId, item};
    }

    std::vector<IdleEntry> candidates;
    if (focused && focused->rotating)
        candidates.push_back(IdleEntry{focusedId, *focused->rotating});
    for (const auto &[id, signal] : offers) {
        if (id == focusedId || !signal.rotating)
            continue;
        if (std::holds_alternative<IdleWaveform>(*signal.rotating))
            candidates.push_back(IdleEntry{id, *signal.rotating});
    }
    for (IdleEntry &candidate : candidates) {
        const auto sameItem = [&candidate](const IdleEntry &e) { return e.item == candidate.item; };
        if (c.pinned && sameItem(*c.pinned))
            continue;
        if (c.identity && sameItem(*c.identity))
            continue;
        if (std::any_of(c.rotor.begin(), c.rotor.end(), sameItem))
            continue;
        c.rotor.push_back(std::move(candidate));
    }

    if (focused && focused->progress) {
        c.progress = focused->progress;
        c.progressPane = focusedId;
    } else {
        for (const auto &[id, signal] : offers) {
            if (id != PaneID::music)
                continue;
            if (signal.progress) {
                c.progress = signal.progress;
                c.progressPane = PaneID::music;
            }
            break;
        }
    }
    return c;
}

bool NotchShellModel::showsCollapsedProgress() const
{
    return m_settings.collapsedHeight() == CollapsedHeight::standard && m_settings.showCollapsedProgress();
}

std::optional<NotchImage> NotchShellModel::artworkImage(const QString &id) const
{
    const IdleComposition c = composition();
    for (const auto *entry : {&c.identity, &c.pinned}) {
        if (!*entry)
            continue;
        if (const auto *art = std::get_if<IdleArtwork>(&(*entry)->item); art && art->image && art->image->id == id)
            return art->image;
    }
    return std::nullopt;
}

// ---- Sizes

double NotchShellModel::surfaceHeight() const
{
    const double h = m_geometry.hardwareHeight;
    const bool standard = m_settings.collapsedHeight() == CollapsedHeight::standard;
    switch (m_phase) {
    case NotchPhase::idle: return standard ? 44 : std::max(h, 1.0);
    case NotchPhase::proximity: return standard ? 47 : std::max(h, 1.0) + 3;
    case NotchPhase::expanded: {
        NotchPane *landed = pane(m_landed);
        return landed ? landed->contentHeight() + 76 + 18 + 18 : 320;
    }
    }
    return 44;
}

std::pair<double, double> NotchShellModel::wingWidths() const
{
    const IdleComposition c = composition();
    const bool near = isProximity();
    double leading = 0;
    if (c.hasLeading()) {
        leading = near ? 15.5 : 14;
        if (c.pinned)
            leading += 46;
        if (c.identity)
            leading += 32;
    }
    const double trailing = c.rotor.empty() ? 0 : near ? 61.5 : 60;
    return {leading, trailing};
}

double NotchShellModel::targetWidth() const
{
    if (isExpanded())
        return m_settings.expandedWidth();
    const double w = m_geometry.hardwareWidth;
    if (m_settings.collapsedWidth() == CollapsedWidth::notch)
        return w;
    const auto [leading, trailing] = wingWidths();
    if (leading == 0 && trailing == 0)
        return w + (isProximity() ? 15.5 : 14);
    return w + leading + trailing;
}

double NotchShellModel::surfaceShift() const
{
    if (isExpanded() || m_settings.collapsedWidth() == CollapsedWidth::notch)
        return 0;
    const auto [leading, trailing] = wingWidths();
    return (trailing - leading) / 2;
}

double NotchShellModel::surfaceWidth() const
{
    if (isExpanded())
        return m_settings.expandedWidth();
    return std::max(targetWidth(), m_geometry.hardwareWidth);
}

double NotchShellModel::cornerRadius() const
{
    if (isExpanded())
        return 32;
    return std::min(std::round(surfaceHeight() * 0.4), 17.0);
}

double NotchShellModel::collapsedHeight() const
{
    if (m_settings.collapsedHeight() == CollapsedHeight::standard)
        return 44;
    return std::max(m_geometry.hardwareHeight, 1.0);
}

double NotchShellModel::surfaceOpacity() const { return m_hidesCollapsed && !isExpanded() ? 0 : 1; }

bool NotchShellModel::reduceMotion() const { return m_appearance.reduceMotion(); }

double NotchShellModel::slotHeight(PaneID id) const
{
    NotchPane *p = pane(id);
    return p ? p->contentHeight() : missingPaneHeight;
}

// ---- Values for views

QStringList NotchShellModel::orderNames() const
{
    QStringList names;
    for (PaneID id : m_order)
        names.append(rawValue(id));
    return names;
}

QVariantList NotchShellModel::pills() const
{
    QVariantList list;
    for (PaneID id : m_order) {
        list.append(QVariantMap{{QStringLiteral("pane"), rawValue(id)},
                                {QStringLiteral("title"), title(id)},
                                {QStringLiteral("caption"), title(id).toUpper()},
                                {QStringLiteral("symbol"), symbol(id)},
                                {QStringLiteral("symbolUrl"), symbolUrl(symbol(id))}});
    }
    return list;
}

int NotchShellModel::landedIndex() const
{
    const auto it = std::find(m_order.begin(), m_order.end(), m_landed);
    return it == m_order.end() ? 0 : int(it - m_order.begin());
}

double NotchShellModel::expandedWidth() const { return m_settings.expandedWidth(); }

QVariantMap NotchShellModel::contentHeights() const
{
    QVariantMap map;
    for (PaneID id : allPanes)
        map.insert(rawValue(id), slotHeight(id));
    return map;
}

QVariantMap NotchShellModel::contentViews() const
{
    QVariantMap map;
    for (const auto &pane : m_panes) {
        if (pane && !map.contains(rawValue(pane->id())))
            map.insert(rawValue(pane->id()), pane->content());
    }
    return map;
}

bool NotchShellModel::showsWings() const { return m_settings.collapsedWidth() == CollapsedWidth::compact; }

QVariantMap NotchShellModel::pinnedEntry() const { return optionalEntryMap(composition().pinned); }

QVariantMap NotchShellModel::identityEntry() const { return optionalEntryMap(composition().identity); }

QVariantList NotchShellModel::rotorEntries() const
{
    QVariantList list;
    for (const IdleEntry &entry : composition().rotor)
        list.append(entryMap(entry));
    return list;
}

int NotchShellModel::shownRotorIndex() const
{
    const int n = int(composition().rotor.size());
    if (n == 0)
        return 0;
    return std::clamp(m_rotorIndex, 0, n - 1);
}

double NotchShellModel::progressValue() const
{
    const auto progress = composition().progress;
    return progress ? unit(*progress) : 0;
}

QString NotchShellModel::progressPaneName() const
{
    const auto pane = composition().progressPane;
    return pane ? rawValue(*pane) : QString();
}

QString NotchShellModel::progressTint() const
{
    const auto pane = composition().progressPane;
    return pane ? accentOf(*pane) : QStringLiteral("ink");
}

bool NotchShellModel::showsProgressBar() const
{
    return showsWings() && showsCollapsedProgress() && composition().progress.has_value();
}

double NotchShellModel::progressInset() const
{
    // The line keeps its padding from the sides, but the outline it lies in cannot clip it here
    // (only rectangles clip on every scene graph): so it is shortened until its rounded ends lie
    // inside the outline's bottom corners, which would otherwise cut them off.
    const double cap = progressLineHeight / 2;
    const double r = cornerRadius();
    const double f = flareRadius();
    // The end cap's centre must lie within r − cap of the corner's centre.
    const double dy = r - (progressLineBottom + cap);
    double centre = f + cap;
    if (dy > 0 && r > cap)
        centre = f + r - std::sqrt(std::max(0.0, (r - cap) * (r - cap) - dy * dy));
    return std::max(progressLinePadding, centre - cap);
}

std::optional<IdleArtwork> NotchShellModel::travelArt() const
{
    const IdleComposition c = composition();
    for (const auto *entry : {&c.identity, &c.pinned}) {
        if (*entry) {
            if (const auto *art = std::get_if<IdleArtwork>(&(*entry)->item))
                return *art;
        }
    }
    return std::nullopt;
}

std::optional<std::vector<float>> NotchShellModel::travelWave() const
{
    const IdleComposition c = composition();
    if (c.rotor.empty())
        return std::nullopt;
    const int shown = std::min(int(c.rotor.size()) - 1, std::max(m_rotorIndex, 0));
    if (const auto *wave = std::get_if<IdleWaveform>(&c.rotor[size_t(shown)].item))
        return wave->levels;
    for (const IdleEntry &entry : c.rotor) {
        if (const auto *wave = std::get_if<IdleWaveform>(&entry.item))
            return wave->levels;
    }
    return std::nullopt;
}

QVariantMap NotchShellModel::travelArtwork() const
{
    const auto art = travelArt();
    if (!art)
        return {};
    return QVariantMap{{QStringLiteral("hasImage"), art->image.has_value()},
                       {QStringLiteral("imageId"), art->image ? art->image->id : QString()}};
}

QVariantList NotchShellModel::travelLevels() const
{
    const auto wave = travelWave();
    return wave ? levelList(*wave) : QVariantList();
}

bool NotchShellModel::travelPlaying() const
{
    const auto wave = travelWave();
    return wave && isPlaying(*wave);
}

bool NotchShellModel::hiddenAtIdle() const { return !isExpanded() && !showsWings(); }

// ---- Change notification

NotchShellModel::Derived NotchShellModel::derive() const
{
    Derived d;
    d.composition = composition();
    d.pulse = pulse();
    d.surfaceHeight = surfaceHeight();
    d.targetWidth = targetWidth();
    d.surfaceWidth = surfaceWidth();
    d.surfaceShift = surfaceShift();
    d.cornerRadius = cornerRadius();
    d.collapsedHeight = collapsedHeight();
    d.surfaceOpacity = surfaceOpacity();
    d.showsWings = showsWings();
    d.showsCollapsedProgress = showsCollapsedProgress();
    d.showsProgressBar = showsProgressBar();
    d.progressInset = progressInset();
    d.hiddenAtIdle = hiddenAtIdle();
    d.openOnMusic = openOnMusic();
    d.reduceMotion = reduceMotion();
    d.shownRotorIndex = shownRotorIndex();
    d.landedIndex = landedIndex();
    d.expandedWidth = expandedWidth();
    d.carouselOffset = carouselOffset();
    for (PaneID id : allPanes)
        d.contentHeights[size_t(id)] = slotHeight(id);
    d.landedContentHeight = landedContentHeight();
    d.travelArt = travelArt();
    d.travelWave = travelWave();
    return d;
}

void NotchShellModel::refresh()
{
    // Stored before anything is told, so a change made by a listener is compared with the newest values.
    const Derived old = std::exchange(m_derived, derive());
    const Derived &now = m_derived;
    const IdleComposition &a = old.composition;
    const IdleComposition &b = now.composition;

    if (a.pinned != b.pinned)
        Q_EMIT pinnedChanged();
    if (a.identity != b.identity)
        Q_EMIT identityChanged();
    if (a.hasLeading() != b.hasLeading())
        Q_EMIT hasLeadingChanged();
    if (a.rotor != b.rotor)
        Q_EMIT rotorChanged();
    if (a.progress != b.progress || a.progressPane != b.progressPane)
        Q_EMIT progressChanged();
    if (a != b)
        Q_EMIT compositionChanged();
    if (old.pulse != now.pulse)
        Q_EMIT pulseChanged();
    if (old.surfaceHeight != now.surfaceHeight)
        Q_EMIT surfaceHeightChanged();
    if (old.targetWidth != now.targetWidth)
        Q_EMIT targetWidthChanged();
    if (old.surfaceWidth != now.surfaceWidth)
        Q_EMIT surfaceWidthChanged();
    if (old.surfaceShift != now.surfaceShift)
        Q_EMIT surfaceShiftChanged();
    if (old.cornerRadius != now.cornerRadius)
        Q_EMIT cornerRadiusChanged();
    if (old.collapsedHeight != now.collapsedHeight)
        Q_EMIT collapsedHeightChanged();
    if (old.surfaceOpacity != now.surfaceOpacity)
        Q_EMIT surfaceOpacityChanged();
    if (old.showsWings != now.showsWings)
        Q_EMIT showsWingsChanged();
    if (old.showsCollapsedProgress != now.showsCollapsedProgress)
        Q_EMIT showsCollapsedProgressChanged();
    if (old.showsProgressBar != now.showsProgressBar)
        Q_EMIT showsProgressBarChanged();
    if (old.progressInset != now.progressInset)
        Q_EMIT progressInsetChanged();
    if (old.hiddenAtIdle != now.hiddenAtIdle)
        Q_EMIT hiddenAtIdleChanged();
    if (old.openOnMusic != now.openOnMusic)
        Q_EMIT openOnMusicChanged();
    if (old.reduceMotion != now.reduceMotion)
        Q_EMIT reduceMotionChanged();
    if (old.shownRotorIndex != now.shownRotorIndex)
        Q_EMIT shownRotorIndexChanged();
    if (old.landedIndex != now.landedIndex)
        Q_EMIT landedIndexChanged();
    if (old.expandedWidth != now.expandedWidth)
        Q_EMIT expandedWidthChanged();
    if (old.carouselOffset != now.carouselOffset)
        Q_EMIT carouselOffsetChanged();
    if (old.contentHeights != now.contentHeights)
        Q_EMIT contentHeightsChanged();
    if (old.landedContentHeight != now.landedContentHeight)
        Q_EMIT landedContentHeightChanged();
    if (old.travelArt != now.travelArt || old.travelWave != now.travelWave)
        Q_EMIT travelChanged();
}

} // namespace tavrenhold
