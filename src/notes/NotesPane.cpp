#include "NotesPane.h"

namespace tavrenhold {

IdleSignal NotesPane::idle() const
{
    if (m_noteCount == 0)
        return IdleSignal::inactive;
    IdleSignal signal;
    signal.isLive = true;
    signal.priority = 30;
    signal.identity = IdleGlyph{symbol()};
    return signal;
}

QUrl NotesPane::content() const { return QUrl(QStringLiteral("qrc:/Tavrenhold/Notes/qml/NotesPaneView.qml")); }

} // namespace tavrenhold
