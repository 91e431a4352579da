#pragma once

#include "UsageStore.h"

#include "design/NotchPane.h"

#include <QPointer>
#include <QString>

#include <functional>

namespace tavrenhold {


// The AI Usage pane, over the usage store. Made without a store, no vendor is connected. Unlike
// the other panes it always offers its glyph to the collapsed bar, live or not.
class UsagePane final : public NotchPane {
    Q_OBJECT
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(QString symbol READ symbol CONSTANT)
    Q_PROPERTY(tavrenhold::UsageStore *store READ store CONSTANT)

public:
    static constexpr double height = 120;
    static constexpr double connectedHeight = 168;

    explicit UsagePane(QObject *parent = nullptr);
    explicit UsagePane(UsageStore &store, QObject *parent = nullptr);

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
    [[nodiscard]] UsageStore *store() const { return m_store; }

    // What "Open Settings…" runs: the program shows its settings window.
    void setOpenSettings(std::function<void()> open) { m_openSettings = std::move(open); }
    Q_INVOKABLE void openSettings() const
    {
        if (m_openSettings)
            m_openSettings();
    }

    [[nodiscard]] bool isConnected() const { return m_connected; }

private:
    void updateConnected();

    QPointer<UsageStore> m_store;
    bool m_connected = false;
    std::function<void()> m_openSettings;
};

} // namespace tavrenhold
