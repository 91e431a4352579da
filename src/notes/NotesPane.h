#pragma once

#include "design/NotchPane.h"

#include <QString>

namespace tavrenhold {

// The Notes pane. Its notes come with the notes store; until then there are none, the editor is
// never open and the pane offers the collapsed bar nothing.
class NotesPane final : public NotchPane {
    Q_OBJECT
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(QString symbol READ symbol CONSTANT)

public:
    static constexpr double height = 170;
    static constexpr double editingHeight = 248;

    using NotchPane::NotchPane;

    [[nodiscard]] PaneID id() const override { return PaneID::notes; }
    // Taller while a note is being edited.
    [[nodiscard]] double contentHeight() const override { return m_editing ? editingHeight : height; }
    // While at least one note exists: live, priority 30, the pane's glyph as identity.
    [[nodiscard]] IdleSignal idle() const override;
    [[nodiscard]] QUrl content() const override;
    void activate() override {}
    // Saves the notes; there is nothing to save before the notes store exists.
    void deactivate() override {}

    [[nodiscard]] QString title() const { return tavrenhold::title(id()); }
    [[nodiscard]] QString symbol() const { return tavrenhold::symbol(id()); }

    [[nodiscard]] int noteCount() const { return m_noteCount; }
    [[nodiscard]] bool isEditing() const { return m_editing; }

private:
    int m_noteCount = 0;
    bool m_editing = false;
};

} // namespace tavrenhold
