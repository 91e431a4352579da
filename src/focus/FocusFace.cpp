#include "FocusFace.h"

#include "design/NotchTime.h"

#include <algorithm>

namespace tavrenhold {

FocusFace::FocusFace(QObject *parent) : QObject(parent), m_now(QDateTime::currentDateTimeUtc()) {}

void FocusFace::setPane(FocusPane *pane)
{
    if (pane == m_pane)
        return;
    QObject::disconnect(m_stateConnection);
    m_pane = pane;
    if (pane) {
        m_stateConnection = connect(pane, &FocusPane::stateChanged, this, &FocusFace::changed);
        m_now = pane->clock().wallNow();
    }
    Q_EMIT paneChanged();
    Q_EMIT nowChanged();
    Q_EMIT changed();
}

void FocusFace::setNow(const QDateTime &now)
{
    if (now == m_now)
        return;
    m_now = now;
    Q_EMIT nowChanged();
    Q_EMIT changed();
}

void FocusFace::refresh()
{
    if (m_pane)
        setNow(m_pane->clock().wallNow());
}

double FocusFace::at() const { return referenceSeconds(m_now); }

QString FocusFace::title() const
{
    if (!m_pane)
        return {};
    switch (m_pane->state().phase) {
    case FocusPhase::work:
        return QStringLiteral("FOCUS");
    case FocusPhase::shortBreak:
        return QStringLiteral("BREAK");
    case FocusPhase::longBreak:
        return QStringLiteral("LONG BREAK");
    }
    return {};
}

QString FocusFace::time() const { return m_pane ? notchTime(m_pane->state().remaining(at())) : QString(); }

double FocusFace::progress() const { return m_pane ? std::clamp(m_pane->state().progress(at()), 0.0, 1.0) : 0.0; }

int FocusFace::rounds() const
{
    if (!m_pane)
        return 0;
    return int(std::clamp<std::int64_t>(m_pane->state().rounds(at()), 0, std::numeric_limits<int>::max()));
}

QString FocusFace::roundsText() const
{
    const int n = rounds();
    if (n == 1)
        return QStringLiteral("1 round today");
    return tr("%n rounds today", "", n);
}

bool FocusFace::running() const { return m_pane && m_pane->state().isRunning(); }

} // namespace tavrenhold
