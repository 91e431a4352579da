#include "ClipboardPane.h"

namespace tavrenhold {

IdleSignal ClipboardPane::idle() const
{
    if (m_entryCount == 0)
        return IdleSignal::inactive;
    IdleSignal signal;
    signal.isLive = true;
    signal.priority = 28;
    signal.identity = IdleGlyph{symbol()};
    return signal;
}

QUrl ClipboardPane::content() const { return QUrl(QStringLiteral("qrc:/Tavrenhold/Clipboard/qml/ClipboardPaneView.qml")); }

} // namespace tavrenhold
