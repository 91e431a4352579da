#pragma once

#include "design/NotchPane.h"

#include <QString>

namespace tavrenhold {

// The AI Usage pane. Its vendors come with the usage store; until then none is connected. Unlike the
// other panes it always offers its glyph to the collapsed bar, live or not.
class UsagePane final : public NotchPane {
    Q_OBJECT
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(QString symbol READ symbol CONSTANT)

public:
    static constexpr double height = 120;
    static constexpr double connectedHeight = 168;

    using NotchPane::NotchPane;

    [[nodiscard]] PaneID id() const override { return PaneID::usage; }
    // Taller while a vendor is connected.
    [[nodiscard]] double contentHeight() const override { return isConnected() ? connectedHeight : height; }
    // Always priority 24 with the pane's glyph as identity; live while a vendor is connected.
    [[nodiscard]] IdleSignal idle() const override;
    [[nodiscard]] QUrl content() const override;
    void activate() override {}
    void deactivate() override {}

    [[nodiscard]] QString title() const { return tavrenhold::title(id()); }
    [[nodiscard]] QString symbol() const { return tavrenhold::symbol(id()); }

    [[nodiscard]] bool isConnected() const { return m_connectedVendors > 0; }

private:
    int m_connectedVendors = 0;
};

} // namespace tavrenhold
