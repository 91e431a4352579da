#include "UsagePane.h"

#include "UsageStore.h"

namespace tavrenhold {

UsagePane::UsagePane(QObject *parent) : NotchPane(parent) {}

UsagePane::UsagePane(UsageStore &store, QObject *parent) : NotchPane(parent), m_store(&store)
{
    QObject::connect(&store, &UsageStore::connectionsChanged, this, &UsagePane::updateConnected);
    updateConnected();
}

void UsagePane::updateConnected()
{
    const bool connected = m_store && !m_store->connectedVendors().isEmpty();
    if (connected == m_connected)
        return;
    m_connected = connected;
    Q_EMIT contentHeightChanged();
    Q_EMIT idleChanged();
}

IdleSignal UsagePane::idle() const
{
    IdleSignal signal;
    signal.isLive = isConnected();
    signal.priority = 24;
    signal.identity = IdleGlyph{symbol()};
    return signal;
}

QUrl UsagePane::content() const { return QUrl(QStringLiteral("qrc:/Tavrenhold/Usage/qml/UsagePaneView.qml")); }

} // namespace tavrenhold
