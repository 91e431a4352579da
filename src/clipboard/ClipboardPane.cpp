#include "ClipboardPane.h"

namespace tavrenhold {

ClipboardPane::ClipboardPane(ClipboardService &store, QObject *parent)
    : NotchPane(parent)
    , m_store(&store)
    , m_wasEmpty(store.isEmpty())
{
    // Only the step between empty and not empty alters the signal.
    connect(m_store, &ClipboardService::itemsChanged, this, [this] {
        if (std::exchange(m_wasEmpty, m_store->isEmpty()) != m_wasEmpty)
            Q_EMIT idleChanged();
    });
}

IdleSignal ClipboardPane::idle() const
{
    if (m_store->isEmpty())
        return IdleSignal::inactive;
    IdleSignal signal;
    signal.isLive = true;
    signal.priority = 28;
    signal.identity = IdleGlyph{symbol()};
    return signal;
}

QUrl ClipboardPane::content() const { return QUrl(QStringLiteral("qrc:/Tavrenhold/Clipboard/qml/ClipboardPaneView.qml")); }

} // namespace tavrenhold
