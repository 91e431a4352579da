#pragma once

#include "NotchImage.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <array>
#include <optional>
#include <variant>
#include <vector>

namespace tavrenhold {

namespace Panes {
Q_NAMESPACE
QML_NAMED_ELEMENT(Panes)
// The six panes, in their default order.
enum class PaneID { usage, music, clipboard, notes, drop, focus };
Q_ENUM_NS(PaneID)
} // namespace Panes
using Panes::PaneID;

inline constexpr std::array<PaneID, 6> allPanes{PaneID::usage, PaneID::music,  PaneID::clipboard,
                                                PaneID::notes, PaneID::drop,   PaneID::focus};

// The text a pane is stored under.
[[nodiscard]] QString rawValue(PaneID pane);
// Exactly the six stored texts, case-sensitive; anything else gives nothing.
[[nodiscard]] std::optional<PaneID> paneFromRaw(QStringView raw);
// The pane's pill and settings title.
[[nodiscard]] QString title(PaneID pane);
// The symbol name that stands for the pane.
[[nodiscard]] QString symbol(PaneID pane);

// A closed span of two points in time.
struct TimeSpan {
    QDateTime lower;
    QDateTime upper;
    bool operator==(const TimeSpan &) const = default;
};

// One small thing the collapsed bar can draw.
struct IdleArtwork {
    std::optional<NotchImage> image;
    bool operator==(const IdleArtwork &) const = default;
};
struct IdleWaveform {
    std::vector<float> levels;
    bool operator==(const IdleWaveform &) const = default;
};
struct IdleRing {
    double progress = 0;
    QString label;
    std::optional<TimeSpan> span;
    bool operator==(const IdleRing &) const = default;
};
struct IdleBadge {
    QString symbol;
    QString text;
    bool operator==(const IdleBadge &) const = default;
};
struct IdleGlyph {
    QString symbol;
    bool operator==(const IdleGlyph &) const = default;
};
using IdleItem = std::variant<IdleArtwork, IdleWaveform, IdleRing, IdleBadge, IdleGlyph>;

// What one pane offers the collapsed bar now.
struct IdleSignal {
    bool isLive = false;
    int priority = 0;
    std::optional<IdleItem> pinnedLeading;
    std::optional<IdleItem> identity;
    std::optional<IdleItem> rotating;
    std::optional<double> progress;
    int pulse = 0;

    bool operator==(const IdleSignal &) const = default;

    // A pane with nothing to show.
    static const IdleSignal inactive;
};
inline const IdleSignal IdleSignal::inactive{};

// An idle item together with the pane that offered it.
struct IdleEntry {
    PaneID pane = PaneID::usage;
    IdleItem item;
    bool operator==(const IdleEntry &) const = default;
};

// What the collapsed bar shows.
struct IdleComposition {
    std::optional<IdleEntry> pinned;
    std::optional<IdleEntry> identity;
    std::vector<IdleEntry> rotor;
    std::optional<double> progress;
    std::optional<PaneID> progressPane;

    bool operator==(const IdleComposition &) const = default;

    // Whether the leading wing is drawn and takes room.
    [[nodiscard]] bool hasLeading() const { return pinned.has_value() || identity.has_value(); }
};

// The contract every pane implements. The shell drives panes only through it: it reads `id`,
// `contentHeight` and `idle`, shows `content()`, and calls activate() when it lands on the pane
// while expanded and deactivate() when the pane stops being the active one.
class NotchPane : public QObject {
    Q_OBJECT
    Q_PROPERTY(double contentHeight READ contentHeight NOTIFY contentHeightChanged)

public:
    using QObject::QObject;

    [[nodiscard]] virtual PaneID id() const = 0;
    // Points of height the expanded content needs; may change with the pane's state.
    [[nodiscard]] virtual double contentHeight() const = 0;
    // Computed on each read from the pane's state, without side effects.
    [[nodiscard]] virtual IdleSignal idle() const = 0;
    // The QML component that draws the pane's expanded content; it is given the pane as `pane`.
    [[nodiscard]] virtual QUrl content() const = 0;
    virtual void activate() = 0;
    virtual void deactivate() = 0;

Q_SIGNALS:
    void contentHeightChanged();
    // The value idle() reads may have changed.
    void idleChanged();
};

} // namespace tavrenhold
