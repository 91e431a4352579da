#pragma once

#include "NotesStore.h"
#include "design/NotchPane.h"

#include <QString>

#include <memory>

namespace tavrenhold {

// The Notes pane: the list of notes or the editor, over the notes store it owns. Its height and
// idle signal follow the store; leaving the pane saves and closes any open note.
class NotesPane final : public NotchPane {
    Q_OBJECT
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(QString symbol READ symbol CONSTANT)
    Q_PROPERTY(tavrenhold::NotesStore *store READ store CONSTANT)

public:
    static constexpr double height = 170;
    static constexpr double editingHeight = 248;

    explicit NotesPane(std::unique_ptr<NotesStore> store, QObject *parent = nullptr);
    // Over a store that keeps its notes in memory only.
    explicit NotesPane(QObject *parent = nullptr);

    [[nodiscard]] PaneID id() const override { return PaneID::notes; }
    // Taller while a note is being edited.
    [[nodiscard]] double contentHeight() const override;
    // While at least one note exists: live, priority 30, the pane's glyph as identity.
    [[nodiscard]] IdleSignal idle() const override;
    [[nodiscard]] QUrl content() const override;
    void activate() override {}
    // Commits and writes the open note, dropping it if blank, and returns to the list.
    void deactivate() override;

    [[nodiscard]] NotesStore *store() const { return m_store; }
    [[nodiscard]] QString title() const { return tavrenhold::title(id()); }
    [[nodiscard]] QString symbol() const { return tavrenhold::symbol(id()); }

private:
    NotesStore *m_store;
    bool m_showsEditor = false;
    bool m_hasNotes = false;
};

} // namespace tavrenhold
