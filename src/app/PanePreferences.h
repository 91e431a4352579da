#pragma once

#include "design/NotchPane.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include <set>
#include <vector>

class QQmlEngine;
class QJSEngine;

namespace tavrenhold {

namespace platform {
class Defaults;
}

using PaneSet = std::set<PaneID>;

// The order of the panes and the panes the user has hidden. `order` always holds every pane exactly
// once; at least one pane stays visible. Loaded once at creation; only setVisible() and move() write
// the user defaults.
class PanePreferences : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    // For views: the raw texts of `order`, in order, and of `hidden`, sorted.
    Q_PROPERTY(QStringList order READ orderNames NOTIFY orderChanged)
    Q_PROPERTY(QStringList hidden READ hiddenNames NOTIFY hiddenChanged)

public:
    // Loads and normalises from `defaults` (which must outlive the preferences); writes nothing.
    explicit PanePreferences(platform::Defaults &defaults, QObject *parent = nullptr);

    // The instance over the standard user defaults, made on first use.
    static PanePreferences &shared();
    static PanePreferences *create(QQmlEngine *, QJSEngine *);

    [[nodiscard]] const std::vector<PaneID> &order() const { return m_order; }
    [[nodiscard]] const PaneSet &hidden() const { return m_hidden; }
    [[nodiscard]] QStringList orderNames() const;
    [[nodiscard]] QStringList hiddenNames() const;

    // In memory only. A pane named twice keeps its first place and a missing pane is appended, so
    // `order` keeps every pane exactly once.
    void setOrder(std::vector<PaneID> order);
    // In memory only.
    void setHidden(PaneSet hidden);

    // Shows or hides one pane and stores both lists. Hiding a pane that is already hidden, or the last
    // visible one, changes and writes nothing.
    void setVisible(PaneID pane, bool visible);
    // The same for a pane's raw text; a text that names no pane does nothing.
    Q_INVOKABLE void setVisible(const QString &pane, bool visible);
    // Moves the panes at `fromOffsets` (in their relative order) before the pane that was at
    // `toOffset` (the length of `order` moves them to the end), then stores both lists. Offsets
    // outside `order` are ignored; the destination is held within 0...length.
    Q_INVOKABLE void move(const QList<int> &fromOffsets, int toOffset);

Q_SIGNALS:
    void orderChanged();
    void hiddenChanged();

private:
    void persist();

    platform::Defaults &m_defaults;
    std::vector<PaneID> m_order;
    PaneSet m_hidden;
};

} // namespace tavrenhold
