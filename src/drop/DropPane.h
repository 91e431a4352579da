#pragma once

#include "design/NotchPane.h"

#include <QString>

#include <functional>

namespace tavrenhold {

// The Drop pane. Its shelf comes with the shelf folder; until then the shelf is empty and the pane
// offers the collapsed bar nothing. The notch controller reads `isTargeted` (a file drag hovers the
// pane's drop targets) and sets `onDragRequestsExpand`, which the pane calls when a drag wants the
// notch opened.
class DropPane final : public NotchPane {
    Q_OBJECT
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(QString symbol READ symbol CONSTANT)
    Q_PROPERTY(bool isTargeted READ isTargeted NOTIFY isTargetedChanged)
    Q_PROPERTY(int pulse READ pulse NOTIFY pulseChanged)

public:
    static constexpr double height = 160;

    using NotchPane::NotchPane;

    [[nodiscard]] PaneID id() const override { return PaneID::drop; }
    [[nodiscard]] double contentHeight() const override { return height; }
    // While the shelf holds items: live, priority 40, a badge with the item count, and the pulse.
    [[nodiscard]] IdleSignal idle() const override;
    [[nodiscard]] QUrl content() const override;
    void activate() override {}
    void deactivate() override {}

    [[nodiscard]] QString title() const { return tavrenhold::title(id()); }
    [[nodiscard]] QString symbol() const { return tavrenhold::symbol(id()); }

    [[nodiscard]] int itemCount() const { return m_itemCount; }
    [[nodiscard]] bool isTargeted() const { return m_targeted; }
    // Set by the drop targets while a file drag hovers them.
    void setTargeted(bool targeted);
    // Raised by the pane on events worth a swell of the collapsed surface.
    [[nodiscard]] int pulse() const { return m_pulse; }

    void setOnDragRequestsExpand(std::function<void()> callback) { m_onDragRequestsExpand = std::move(callback); }
    [[nodiscard]] const std::function<void()> &onDragRequestsExpand() const { return m_onDragRequestsExpand; }

Q_SIGNALS:
    void isTargetedChanged();
    void pulseChanged();

private:
    int m_itemCount = 0;
    bool m_targeted = false;
    int m_pulse = 0;
    std::function<void()> m_onDragRequestsExpand;
};

} // namespace tavrenhold
