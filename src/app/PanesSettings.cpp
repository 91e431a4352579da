#include "PanesSettings.h"

#include "PanePreferences.h"

#include <algorithm>

namespace tavrenhold {

PanesSettings::PanesSettings(PanePreferences &preferences, std::function<void()> onPanesChange, QObject *parent)
    : QObject(parent), m_preferences(&preferences), m_onPanesChange(std::move(onPanesChange))
{
    connect(&preferences, &PanePreferences::orderChanged, this, &PanesSettings::rowsChanged);
    connect(&preferences, &PanePreferences::hiddenChanged, this, &PanesSettings::rowsChanged);
}

QVariantList PanesSettings::rows() const
{
    QVariantList out;
    if (!m_preferences)
        return out;
    const auto &hidden = m_preferences->hidden();
    const auto visibleCount = std::count_if(m_preferences->order().begin(), m_preferences->order().end(),
                                            [&](PaneID p) { return !hidden.contains(p); });
    for (PaneID pane : m_preferences->order()) {
        const bool visible = !hidden.contains(pane);
        out.append(QVariantMap{{QStringLiteral("pane"), rawValue(pane)},
                               {QStringLiteral("title"), title(pane)},
                               {QStringLiteral("symbol"), symbol(pane)},
                               {QStringLiteral("visible"), visible},
                               {QStringLiteral("locked"), visible && visibleCount == 1}});
    }
    return out;
}

void PanesSettings::setVisible(const QString &pane, bool visible)
{
    if (m_preferences)
        m_preferences->setVisible(pane, visible);
    if (m_onPanesChange)
        m_onPanesChange();
    // A refused change leaves the row as it was: show it again.
    Q_EMIT rowsChanged();
}

void PanesSettings::moveRow(int from, int to)
{
    if (m_preferences)
        m_preferences->move({from}, destinationOffset(from, to));
    if (m_onPanesChange)
        m_onPanesChange();
}

} // namespace tavrenhold
