#pragma once

#include "ClipboardService.h"
#include "design/NotchPane.h"

#include <QPointer>
#include <QString>

namespace tavrenhold {

// The Clipboard pane over the clipboard service: lists the history, and offers the collapsed bar
// its glyph while the history holds entries. It adds nothing to the service: activate() and
// deactivate() do nothing, since the service watches the clipboard whether or not it is shown.
class ClipboardPane final : public NotchPane {
    Q_OBJECT
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(QString symbol READ symbol CONSTANT)
    Q_PROPERTY(tavrenhold::ClipboardService *store READ store CONSTANT)

public:
    static constexpr double height = 200;

    explicit ClipboardPane(ClipboardService &store, QObject *parent = nullptr);

    [[nodiscard]] PaneID id() const override { return PaneID::clipboard; }
    [[nodiscard]] double contentHeight() const override { return height; }
    // While the history holds entries: live, priority 28, the pane's glyph as identity.
    [[nodiscard]] IdleSignal idle() const override;
    [[nodiscard]] QUrl content() const override;
    void activate() override {}
    void deactivate() override {}

    [[nodiscard]] QString title() const { return tavrenhold::title(id()); }
    [[nodiscard]] QString symbol() const { return tavrenhold::symbol(id()); }
    [[nodiscard]] ClipboardService *store() const { return m_store; }

private:
    ClipboardService *m_store;
    bool m_wasEmpty;
};

} // namespace tavrenhold
