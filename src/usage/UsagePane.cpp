#include "UsagePane.h"

namespace tavrenhold {

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
