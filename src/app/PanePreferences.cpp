#include "PanePreferences.h"

#include "platform/Defaults.h"

#include <QJSEngine>
#include <QJsonArray>

#include <algorithm>

namespace tavrenhold {

namespace {
const QString kPaneOrder = QStringLiteral("shell.paneOrder");
const QString kHiddenPanes = QStringLiteral("shell.hiddenPanes");

bool contains(const std::vector<PaneID> &panes, PaneID pane)
{
    return std::find(panes.begin(), panes.end(), pane) != panes.end();
}

// Every pane once: repeats keep their first place, missing panes follow in their default order.
std::vector<PaneID> normalised(const std::vector<PaneID> &panes)
{
    std::vector<PaneID> out;
    out.reserve(allPanes.size());
    for (PaneID pane : panes) {
        if (!contains(out, pane))
            out.push_back(pane);
    }
    for (PaneID pane : allPanes) {
        if (!contains(out, pane))
            out.push_back(pane);
    }
    return out;
}

std::vector<PaneID> panesOf(const QStringList &raws)
{
    std::vector<PaneID> panes;
    for (const QString &raw : raws) {
        if (const auto pane = paneFromRaw(raw))
            panes.push_back(*pane);
    }
    return panes;
}
} // namespace

PanePreferences::PanePreferences(platform::Defaults &defaults, QObject *parent) : QObject(parent), m_defaults(defaults)
{
    m_order = normalised(panesOf(m_defaults.stringList(kPaneOrder).value_or(QStringList{})));
    for (PaneID pane : panesOf(m_defaults.stringList(kHiddenPanes).value_or(QStringList{})))
        m_hidden.insert(pane);
    const bool allHidden = std::all_of(m_order.begin(), m_order.end(), [this](PaneID p) { return m_hidden.contains(p); });
    if (allHidden)
        m_hidden.erase(m_order.front());
}

PanePreferences &PanePreferences::shared()
{
    static PanePreferences *preferences = new PanePreferences(platform::Defaults::standard());
    return *preferences;
}

PanePreferences *PanePreferences::create(QQmlEngine *, QJSEngine *)
{
    PanePreferences *preferences = &shared();
    QJSEngine::setObjectOwnership(preferences, QJSEngine::CppOwnership);
    return preferences;
}

QStringList PanePreferences::orderNames() const
{
    QStringList names;
    for (PaneID pane : m_order)
        names.append(rawValue(pane));
    return names;
}

QStringList PanePreferences::hiddenNames() const
{
    QStringList names;
    for (PaneID pane : m_hidden)
        names.append(rawValue(pane));
    names.sort();
    return names;
}

void PanePreferences::setOrder(std::vector<PaneID> order)
{
    order = normalised(order);
    if (order == m_order)
        return;
    m_order = std::move(order);
    Q_EMIT orderChanged();
}

void PanePreferences::setHidden(PaneSet hidden)
{
    if (hidden == m_hidden)
        return;
    m_hidden = std::move(hidden);
    Q_EMIT hiddenChanged();
}

void PanePreferences::setVisible(PaneID pane, bool visible)
{
    if (visible) {
        PaneSet hidden = m_hidden;
        hidden.erase(pane);
        setHidden(std::move(hidden));
        persist();
        return;
    }
    const auto visibleCount = std::count_if(m_order.begin(), m_order.end(), [this](PaneID p) { return !m_hidden.contains(p); });
    if (m_hidden.contains(pane) || visibleCount < 2)
        return;
    PaneSet hidden = m_hidden;
    hidden.insert(pane);
    setHidden(std::move(hidden));
    persist();
}

void PanePreferences::setVisible(const QString &pane, bool visible)
{
    if (const auto id = paneFromRaw(pane))
        setVisible(*id, visible);
}

void PanePreferences::move(const QList<int> &fromOffsets, int toOffset)
{
    const int count = int(m_order.size());
    std::vector<bool> moving(m_order.size(), false);
    for (int offset : fromOffsets) {
        if (offset >= 0 && offset < count)
            moving[offset] = true;
    }
    const int destination = std::clamp(toOffset, 0, count);

    std::vector<PaneID> moved;
    std::vector<PaneID> staying;
    int insertAt = 0;
    for (int i = 0; i < count; ++i) {
        if (moving[i]) {
            moved.push_back(m_order[i]);
        } else {
            if (i < destination)
                ++insertAt;
            staying.push_back(m_order[i]);
        }
    }
    staying.insert(staying.begin() + insertAt, moved.begin(), moved.end());
    setOrder(std::move(staying));
    persist();
}

void PanePreferences::persist()
{
    m_defaults.set(kPaneOrder, QJsonArray::fromStringList(orderNames()));
    m_defaults.set(kHiddenPanes, QJsonArray::fromStringList(hiddenNames()));
}

} // namespace tavrenhold
