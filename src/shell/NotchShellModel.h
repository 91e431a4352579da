#pragma once

#include "design/CancelToken.h"
#include "design/Clock.h"
#include "design/NotchGeometry.h"
#include "design/NotchPane.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

#include <array>
#include <chrono>
#include <optional>
#include <utility>
#include <set>
#include <vector>

#ifndef Q_MOC_RUN
#include <QCoroTask>
#endif

namespace tavrenhold {

class NotchSettings;
class PanePreferences;

namespace platform {
class Defaults;
class SystemAppearance;
} // namespace platform

namespace NotchPhases {
Q_NAMESPACE
QML_NAMED_ELEMENT(NotchPhase)
// Collapsed, collapsed with the pointer near (the bar swells), or open. QML spells the values in the
// long form (NotchPhase.NotchPhase.expanded), or reads the model's `expanded` and `proximity`.
enum class NotchPhase { idle, proximity, expanded };
Q_ENUM_NS(NotchPhase)
} // namespace NotchPhases
using NotchPhases::NotchPhase;

// The one observable state of the notch surface. The notch controller makes it over the panes, starts
// it, drives its phase and lands it on panes; the notch views read it. It owns the phase, the visible
// pane order, the focused pane (the only thing it stores, under "shell.focusedPane") and the landed
// one, the activation of panes, the idle composition and its rotor, the pulse of the collapsed surface
// and the surface's sizes.
//
// Everything the views draw is offered as a plain value that is already worked out here; each
// property notifies only when its value changes, whether through the model's own operations, a pane's
// idleChanged/contentHeightChanged, or a setting. Panes are reached through the pane contract only,
// except the Music pane, whose services startServices() starts.
class NotchShellModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The notch controller makes the shell model.")

    // Phase and surface.
    Q_PROPERTY(tavrenhold::NotchPhases::NotchPhase phase READ phase NOTIFY phaseChanged)
    Q_PROPERTY(bool expanded READ isExpanded NOTIFY phaseChanged)
    Q_PROPERTY(bool proximity READ isProximity NOTIFY phaseChanged)
    Q_PROPERTY(bool hidesCollapsed READ hidesCollapsed NOTIFY hidesCollapsedChanged)
    // 0 while the collapsed surface is hidden (full screen), else 1.
    Q_PROPERTY(double surfaceOpacity READ surfaceOpacity NOTIFY surfaceOpacityChanged)
    Q_PROPERTY(double pulseScale READ pulseScale NOTIFY pulseScaleChanged)
    // Whether the desktop asks for reduced motion: views then change without animation.
    Q_PROPERTY(bool reduceMotion READ reduceMotion NOTIFY reduceMotionChanged)
    Q_PROPERTY(double hardwareWidth READ hardwareWidth NOTIFY geometryChanged)
    Q_PROPERTY(double hardwareHeight READ hardwareHeight NOTIFY geometryChanged)
    Q_PROPERTY(double surfaceHeight READ surfaceHeight NOTIFY surfaceHeightChanged)
    Q_PROPERTY(double targetWidth READ targetWidth NOTIFY targetWidthChanged)
    // The width drawn: the expanded width when open, else targetWidth but never under the notch.
    Q_PROPERTY(double surfaceWidth READ surfaceWidth NOTIFY surfaceWidthChanged)
    // How far right of the notch's centre the surface's centre lies: in the compact collapsed bar,
    // half of what the trailing wing is wider than the leading one, so that the clear gap between
    // the wings sits over the notch; 0 otherwise.
    Q_PROPERTY(double surfaceShift READ surfaceShift NOTIFY surfaceShiftChanged)
    // Corner and bottom radius of the silhouette, and its flare radius, for the phase.
    Q_PROPERTY(double cornerRadius READ cornerRadius NOTIFY cornerRadiusChanged)
    Q_PROPERTY(double flareRadius READ flareRadius NOTIFY phaseChanged)
    // The height of the collapsed bar by the height setting (44, or the notch's own, at least 1).
    Q_PROPERTY(double collapsedHeight READ collapsedHeight NOTIFY collapsedHeightChanged)

    // Panes, by their stored names.
    Q_PROPERTY(QStringList order READ orderNames NOTIFY orderChanged)
    // One {pane, title, caption, symbol, symbolUrl} per pane of `order`, for the pills; the caption is
    // the title as the pill shows it, in capitals.
    Q_PROPERTY(QVariantList pills READ pills NOTIFY orderChanged)
    Q_PROPERTY(QString focused READ focusedName NOTIFY focusedChanged)
    Q_PROPERTY(QString landed READ landedName NOTIFY landedChanged)
    // The landed pane's position in `order`, 0 when it is not there.
    Q_PROPERTY(int landedIndex READ landedIndex NOTIFY landedIndexChanged)
    // The width of the open panel and of each slot of its carousel (the expanded-width setting).
    Q_PROPERTY(double expandedWidth READ expandedWidth NOTIFY expandedWidthChanged)
    // The carousel's horizontal offset: the landed pane's slot lies in view.
    Q_PROPERTY(double carouselOffset READ carouselOffset NOTIFY carouselOffsetChanged)
    // Open with the Music pane landed.
    Q_PROPERTY(bool openOnMusic READ openOnMusic NOTIFY openOnMusicChanged)
    // Pane name to the height of its content; 208 for a pane with no object behind it.
    Q_PROPERTY(QVariantMap contentHeights READ contentHeights NOTIFY contentHeightsChanged)
    // The landed pane's height: changes with the landed pane's content and with landing elsewhere.
    Q_PROPERTY(double landedContentHeight READ landedContentHeight NOTIFY landedContentHeightChanged)
    // Pane name to the URL of its content view; panes without an object are absent.
    Q_PROPERTY(QVariantMap contentViews READ contentViews CONSTANT)

    // The collapsed bar. Entries are maps: kind ("artwork", "waveform", "ring", "badge", "glyph"),
    // pane (its name), accent (the Style colour of the pane), help, and by kind: hasImage and
    // imageId; levels and isPlaying; progress (clamped to 0 … 1), label, hasSpan, spanStart and
    // spanEnd; symbol, symbolUrl and text.
    Q_PROPERTY(bool showsWings READ showsWings NOTIFY showsWingsChanged)
    // Horizontal padding of a wing that carries items.
    Q_PROPERTY(double wingPadding READ wingPadding NOTIFY phaseChanged)
    Q_PROPERTY(bool hasPinned READ hasPinned NOTIFY pinnedChanged)
    Q_PROPERTY(QVariantMap pinned READ pinnedEntry NOTIFY pinnedChanged)
    Q_PROPERTY(bool hasIdentity READ hasIdentity NOTIFY identityChanged)
    Q_PROPERTY(QVariantMap identity READ identityEntry NOTIFY identityChanged)
    Q_PROPERTY(bool hasLeading READ hasLeading NOTIFY hasLeadingChanged)
    Q_PROPERTY(QVariantList rotor READ rotorEntries NOTIFY rotorChanged)
    Q_PROPERTY(int rotorIndex READ rotorIndex NOTIFY rotorIndexChanged)
    // rotorIndex held within the rotor's entries (0 for an empty rotor).
    Q_PROPERTY(int shownRotorIndex READ shownRotorIndex NOTIFY shownRotorIndexChanged)
    Q_PROPERTY(bool hasProgress READ hasProgress NOTIFY progressChanged)
    // The composition's progress clamped to 0 … 1 (0 without one).
    Q_PROPERTY(double progress READ progressValue NOTIFY progressChanged)
    Q_PROPERTY(QString progressPane READ progressPaneName NOTIFY progressChanged)
    // The Style colour the progress line is drawn in.
    Q_PROPERTY(QString progressTint READ progressTint NOTIFY progressChanged)
    Q_PROPERTY(bool showsCollapsedProgress READ showsCollapsedProgress NOTIFY showsCollapsedProgressChanged)
    // Wings shown, the progress line allowed, and a progress present.
    Q_PROPERTY(bool showsProgressBar READ showsProgressBar NOTIFY showsProgressBarChanged)
    // How far the progress line keeps from the surface's sides.
    Q_PROPERTY(double progressInset READ progressInset NOTIFY progressInsetChanged)
    Q_PROPERTY(int pulse READ pulse NOTIFY pulseChanged)

    // The travelling artwork and waveform.
    Q_PROPERTY(bool hasTravelArtwork READ hasTravelArtwork NOTIFY travelChanged)
    Q_PROPERTY(QVariantMap travelArtwork READ travelArtwork NOTIFY travelChanged)
    Q_PROPERTY(bool hasTravelWave READ hasTravelWave NOTIFY travelChanged)
    Q_PROPERTY(QVariantList travelLevels READ travelLevels NOTIFY travelChanged)
    Q_PROPERTY(bool travelPlaying READ travelPlaying NOTIFY travelChanged)
    // Collapsed in notch width: the travelling views are not shown.
    Q_PROPERTY(bool hiddenAtIdle READ hiddenAtIdle NOTIFY hiddenAtIdleChanged)

public:
    static inline const QString focusedPaneKey = QStringLiteral("shell.focusedPane");
    static constexpr double pulsePeak = 1.045;
    static constexpr std::chrono::milliseconds pulseHold{220};
    // The height of a slot whose pane has no object.
    static constexpr double missingPaneHeight = 208;
    // The collapsed progress line: its height, its distance from the bottom edge and from the sides.
    static constexpr double progressLineHeight = 2.5;
    static constexpr double progressLineBottom = 1;
    static constexpr double progressLinePadding = 12.75;

    // Reads the focused pane from `defaults`; writes nothing and activates no pane. Every reference
    // must outlive the model; the panes belong to the caller.
    NotchShellModel(std::vector<NotchPane *> panes, const NotchGeometry &geometry, platform::Defaults &defaults,
                    NotchSettings &settings, PanePreferences &preferences, platform::SystemAppearance &appearance,
                    Clock &clock = Clock::system(), QObject *parent = nullptr);
    ~NotchShellModel() override;

    // Takes the first pulse.
    void start();
    // Starts the Music pane's services (when the music pane is a MusicPane).
    void startServices();

    // The only way the phase changes. Entering expanded lands on the focused pane and activates it;
    // leaving expanded deactivates it.
    void setPhase(NotchPhase phase);
    // Makes a pane the landed and focused one, and the active one while expanded. A pane that is
    // not among the panes is ignored.
    void land(PaneID id);
    Q_INVOKABLE void land(const QString &pane);
    // Calls deactivate() on the active pane and activate() on the new one, once each.
    void setActive(std::optional<PaneID> id);
    // Re-reads the pane order and the hidden panes.
    void syncPanePreferences();

    // Cancels the rotor loop; fewer than two entries reset the index to 0, more start a new loop that
    // advances the index every Motion.rotationDwell.
    void runRotor(int count);
    // runRotor() for the rotor entries of now: the idle bar calls it when it shows and whenever
    // `rotor` changes.
    Q_INVOKABLE void syncRotor();
    // Cancels the rotor loop (the controller's stop).
    void cancelRotor();

    void setGeometry(const NotchGeometry &geometry);
    void setHidesCollapsed(bool hides);

    // The first pane with that id, or none.
    [[nodiscard]] NotchPane *pane(PaneID id) const;
    // The same by stored name, for views (the shell keeps ownership).
    Q_INVOKABLE QObject *paneObject(const QString &pane) const;
    [[nodiscard]] std::vector<NotchPane *> panes() const;
    // The clock the model was made with; views that tick (the idle ring) go by it too.
    [[nodiscard]] Clock &clock() const { return m_clock; }

    [[nodiscard]] NotchPhase phase() const { return m_phase; }
    [[nodiscard]] bool isExpanded() const { return m_phase == NotchPhase::expanded; }
    [[nodiscard]] bool isProximity() const { return m_phase == NotchPhase::proximity; }
    [[nodiscard]] const NotchGeometry &geometry() const { return m_geometry; }
    [[nodiscard]] bool hidesCollapsed() const { return m_hidesCollapsed; }
    [[nodiscard]] double pulseScale() const { return m_pulseScale; }
    [[nodiscard]] int rotorIndex() const { return m_rotorIndex; }
    [[nodiscard]] PaneID focusedID() const { return m_focused; }
    [[nodiscard]] PaneID landed() const { return m_landed; }
    [[nodiscard]] const std::vector<PaneID> &order() const { return m_order; }
    [[nodiscard]] std::optional<PaneID> activated() const { return m_activated; }

    // Worked out afresh on each call from the panes' idle signals.
    [[nodiscard]] IdleComposition composition() const;
    [[nodiscard]] bool showsCollapsedProgress() const;
    // The sum of every pane's idle pulse.
    [[nodiscard]] int pulse() const;
    [[nodiscard]] double surfaceHeight() const;
    [[nodiscard]] double targetWidth() const;

    // The artwork of that id in the composition's identity or pinned entry, for the image provider.
    [[nodiscard]] std::optional<NotchImage> artworkImage(const QString &id) const;

    // For views.
    [[nodiscard]] double surfaceOpacity() const;
    [[nodiscard]] bool reduceMotion() const;
    [[nodiscard]] double hardwareWidth() const { return m_geometry.hardwareWidth; }
    [[nodiscard]] double hardwareHeight() const { return m_geometry.hardwareHeight; }
    [[nodiscard]] double surfaceWidth() const;
    [[nodiscard]] double surfaceShift() const;
    [[nodiscard]] double cornerRadius() const;
    [[nodiscard]] double flareRadius() const { return isExpanded() ? 15 : 8; }
    [[nodiscard]] double collapsedHeight() const;
    [[nodiscard]] QStringList orderNames() const;
    [[nodiscard]] QVariantList pills() const;
    [[nodiscard]] QString focusedName() const { return rawValue(m_focused); }
    [[nodiscard]] QString landedName() const { return rawValue(m_landed); }
    [[nodiscard]] int landedIndex() const;
    [[nodiscard]] double expandedWidth() const;
    [[nodiscard]] double carouselOffset() const { return -landedIndex() * expandedWidth(); }
    [[nodiscard]] bool openOnMusic() const { return isExpanded() && m_landed == PaneID::music; }
    [[nodiscard]] QVariantMap contentHeights() const;
    [[nodiscard]] double landedContentHeight() const { return slotHeight(m_landed); }
    [[nodiscard]] QVariantMap contentViews() const;
    [[nodiscard]] bool showsWings() const;
    [[nodiscard]] double wingPadding() const { return isProximity() ? 7.75 : 7; }
    [[nodiscard]] bool hasPinned() const { return composition().pinned.has_value(); }
    [[nodiscard]] QVariantMap pinnedEntry() const;
    [[nodiscard]] bool hasIdentity() const { return composition().identity.has_value(); }
    [[nodiscard]] QVariantMap identityEntry() const;
    [[nodiscard]] bool hasLeading() const { return composition().hasLeading(); }
    [[nodiscard]] QVariantList rotorEntries() const;
    [[nodiscard]] int shownRotorIndex() const;
    [[nodiscard]] bool hasProgress() const { return composition().progress.has_value(); }
    [[nodiscard]] double progressValue() const;
    [[nodiscard]] QString progressPaneName() const;
    [[nodiscard]] QString progressTint() const;
    [[nodiscard]] bool showsProgressBar() const;
    [[nodiscard]] double progressInset() const;
    [[nodiscard]] bool hasTravelArtwork() const { return travelArt().has_value(); }
    [[nodiscard]] QVariantMap travelArtwork() const;
    [[nodiscard]] bool hasTravelWave() const { return travelWave().has_value(); }
    [[nodiscard]] QVariantList travelLevels() const;
    [[nodiscard]] bool travelPlaying() const;
    [[nodiscard]] bool hiddenAtIdle() const;

    // The panes shown, in the user's order: those of `available` that are not hidden.
    [[nodiscard]] static std::vector<PaneID> visibleOrder(const PanePreferences &preferences,
                                                          const std::set<PaneID> &available);

Q_SIGNALS:
    void phaseChanged();
    void hidesCollapsedChanged();
    void surfaceOpacityChanged();
    void pulseScaleChanged();
    void reduceMotionChanged();
    void geometryChanged();
    void surfaceHeightChanged();
    void targetWidthChanged();
    void surfaceWidthChanged();
    void surfaceShiftChanged();
    void cornerRadiusChanged();
    void collapsedHeightChanged();
    void orderChanged();
    void focusedChanged();
    void landedChanged();
    void landedIndexChanged();
    void expandedWidthChanged();
    void carouselOffsetChanged();
    void openOnMusicChanged();
    void contentHeightsChanged();
    void landedContentHeightChanged();
    void showsWingsChanged();
    // Any part of the composition changed; the finer signals below say which.
    void compositionChanged();
    void pinnedChanged();
    void identityChanged();
    void hasLeadingChanged();
    // The rotor's entries changed by equality.
    void rotorChanged();
    void rotorIndexChanged();
    void shownRotorIndexChanged();
    void progressChanged();
    void showsCollapsedProgressChanged();
    void showsProgressBarChanged();
    void progressInsetChanged();
    void pulseChanged();
    void travelChanged();
    void hiddenAtIdleChanged();

private:
    // The values views observe that follow from the rest; kept only to tell what changed.
    struct Derived {
        IdleComposition composition;
        int pulse = 0;
        double surfaceHeight = 0;
        double targetWidth = 0;
        double surfaceWidth = 0;
        double surfaceShift = 0;
        double cornerRadius = 0;
        double collapsedHeight = 0;
        double surfaceOpacity = 1;
        bool showsWings = false;
        bool showsCollapsedProgress = false;
        bool showsProgressBar = false;
        double progressInset = 0;
        bool hiddenAtIdle = false;
        bool openOnMusic = false;
        bool reduceMotion = false;
        int shownRotorIndex = 0;
        int landedIndex = 0;
        double expandedWidth = 0;
        double carouselOffset = 0;
        std::array<double, 6> contentHeights{};
        double landedContentHeight = 0;
        std::optional<IdleArtwork> travelArt;
        std::optional<std::vector<float>> travelWave;
    };

    [[nodiscard]] Derived derive() const;
    // Notifies every derived value that changed since the last call.
    void refresh();
    void watch(NotchPane *pane);

    void focus(PaneID id);
    void setLanded(PaneID id);
    void setRotorIndex(int index);
    void setPulseScale(double scale);
    void notePulse();

    [[nodiscard]] double slotHeight(PaneID id) const;
    [[nodiscard]] std::optional<IdleArtwork> travelArt() const;
    // The room the collapsed bar's leading and trailing wings take beside the notch.
    [[nodiscard]] std::pair<double, double> wingWidths() const;
    [[nodiscard]] std::optional<std::vector<float>> travelWave() const;

    static QCoro::Task<> rotorLoop(QPointer<NotchShellModel> self, Clock &clock, int count, CancelToken token);
    static QCoro::Task<> pulseReset(QPointer<NotchShellModel> self, Clock &clock, CancelToken life);

    std::vector<QPointer<NotchPane>> m_panes;
    NotchGeometry m_geometry;
    platform::Defaults &m_defaults;
    NotchSettings &m_settings;
    PanePreferences &m_preferences;
    platform::SystemAppearance &m_appearance;
    Clock &m_clock;

    NotchPhase m_phase = NotchPhase::idle;
    int m_rotorIndex = 0;
    double m_pulseScale = 1.0;
    bool m_hidesCollapsed = false;
    PaneID m_focused = PaneID::music;
    std::vector<PaneID> m_order;
    std::optional<PaneID> m_activated;
    PaneID m_landed = PaneID::music;
    int m_lastPulse = 0;

    CancelSlot m_rotor;
    // Cancelled when the model goes, so no pulse reset outlives it.
    CancelToken m_life;
    Derived m_derived;
};

} // namespace tavrenhold
