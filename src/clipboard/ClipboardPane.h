#pragma once

#include "design/NotchPane.h"

#include <QString>

namespace tavrenhold {

// The Clipboard pane. Its history comes with the clipboard service; until then the pane holds no
// entries and offers the collapsed bar nothing.
class ClipboardPane final : public NotchPane {
    Q_OBJECT
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(QString symbol READ symbol CONSTANT)

public:
    static constexpr double height = 200;

    using NotchPane::NotchPane;

    [[nodiscard]] PaneID id() const override { return PaneID::clipboard; }
    [[nodiscard]] double contentHeight() const override { return height; }
    // While the history holds entries: live, priority 28, the pane's glyph as identity.
    [[nodiscard]] IdleSignal idle() const override;
    [[nodiscard]] QUrl content() const override;
    void activate() override {}
    void deactivate() override {}

    [[nodiscard]] QString title() const { return tavrenhold::title(id()); }
    [[nodiscard]] QString symbol() const { return tavrenhold::symbol(id()); }

    [[nodiscard]] int entryCount() const { return m_entryCount; }

private:
    int m_entryCount = 0;
};

} // namespace tavrenhold
