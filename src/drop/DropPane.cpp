#include "DropPane.h"

namespace tavrenhold {

IdleSignal DropPane::idle() const
{
    if (m_itemCount == 0)
        return IdleSignal::inactive;
    IdleSignal signal;
    signal.isLive = true;
    signal.priority = 40;
    signal.identity = IdleBadge{symbol(), QString::number(m_itemCount)};
    signal.pulse = m_pulse;
    return signal;
}

QUrl DropPane::content() const { return QUrl(QStringLiteral("qrc:/Tavrenhold/Drop/qml/DropPaneView.qml")); }

void DropPane::setTargeted(bool targeted)
{
    if (m_targeted == targeted)
        return;
    m_targeted = targeted;
    Q_EMIT isTargetedChanged();
}

} // namespace tavrenhold
