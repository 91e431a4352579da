#include "NotesPane.h"

namespace tavrenhold {

NotesPane::NotesPane(std::unique_ptr<NotesStore> store, QObject *parent)
    : NotchPane(parent), m_store(store.release()), m_showsEditor(m_store->showsEditor()), m_hasNotes(m_store->count() > 0)
{
    m_store->setParent(this);
    connect(m_store, &NotesStore::editingIDChanged, this, [this] {
        if (m_store->showsEditor() == m_showsEditor)
            return;
        m_showsEditor = m_store->showsEditor();
        Q_EMIT contentHeightChanged();
    });
    connect(m_store, &NotesStore::notesChanged, this, [this] {
        if ((m_store->count() > 0) == m_hasNotes)
            return;
        m_hasNotes = m_store->count() > 0;
        Q_EMIT idleChanged();
    });
}

NotesPane::NotesPane(QObject *parent) : NotesPane(std::make_unique<NotesStore>(QString(), Clock::system()), parent) {}

double NotesPane::contentHeight() const { return m_store->showsEditor() ? editingHeight : height; }

IdleSignal NotesPane::idle() const
{
    if (m_store->count() == 0)
        return IdleSignal::inactive;
    IdleSignal signal;
    signal.isLive = true;
    signal.priority = 30;
    signal.identity = IdleGlyph{symbol()};
    return signal;
}

QUrl NotesPane::content() const { return QUrl(QStringLiteral("qrc:/Tavrenhold/Notes/qml/NotesPaneView.qml")); }

void NotesPane::deactivate() { m_store->save(); }

} // namespace tavrenhold
