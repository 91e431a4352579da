#include "FocusPane.h"

namespace tavrenhold {

IdleSignal FocusPane::idle() const
{
    // The ring appears with the timer; an idle run offers nothing.
    return IdleSignal::inactive;
}

QUrl FocusPane::content() const { return QUrl(QStringLiteral("qrc:/Tavrenhold/Focus/qml/FocusPaneView.qml")); }

} // namespace tavrenhold
