#pragma once

#include "design/NotchPane.h"

#include <QString>

namespace tavrenhold {

// The Focus pane. Its timer comes with the focus timer state; until then the run is idle and the pane
// offers the collapsed bar nothing.
class FocusPane final : public NotchPane {
    Q_OBJECT
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(QString symbol READ symbol CONSTANT)

public:
    static constexpr double height = 132;

    using NotchPane::NotchPane;

    [[nodiscard]] PaneID id() const override { return PaneID::focus; }
    [[nodiscard]] double contentHeight() const override { return height; }
    // While a run is under way: the timer's ring, pinned on the leading side. Idle: nothing.
    [[nodiscard]] IdleSignal idle() const override;
    [[nodiscard]] QUrl content() const override;
    // Brings the timer up to date; without a timer there is nothing to catch up on.
    void activate() override {}
    void deactivate() override {}

    [[nodiscard]] QString title() const { return tavrenhold::title(id()); }
    [[nodiscard]] QString symbol() const { return tavrenhold::symbol(id()); }
};

} // namespace tavrenhold
