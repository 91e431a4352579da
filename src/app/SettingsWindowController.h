#pragma once

#include "GeneralSettings.h"
#include "focus/FocusPane.h"

#include <QObject>
#include <QPointer>
#include <QQuickWindow>

#include <functional>
#include <memory>

class QQmlEngine;

namespace tavrenhold {

class AIUsageSettings;
class PanePreferences;
class PanesSettings;
class UsageStore;

// The one settings window: configured once the program has started, opened from the status menu
// and when the running program is started again. The window itself is made on the first show().
class SettingsWindowController : public QObject {
    Q_OBJECT

public:
    static constexpr auto windowTitle = "Tavrenhold Settings";

    explicit SettingsWindowController(QObject *parent = nullptr);
    ~SettingsWindowController() override;

    // The program's controller, made on first use.
    static SettingsWindowController &shared();

    // Takes the Focus pane and two callbacks: the layout changed, the pane order or visibility
    // changed. Replaces earlier ones.
    void configure(FocusPane *focus, std::function<void()> onLayoutChange, std::function<void()> onPanesChange);
    [[nodiscard]] bool isConfigured() const { return m_configured; }

    // The models the window edits; the shared ones unless set before the first show().
    struct Models {
        GeneralSettings::Models general;
        PanePreferences *panes = nullptr;
        UsageStore *usage = nullptr;
    };
    void setModels(Models models) { m_models = models; }

    // Does nothing until configured. The first call makes the window; every call reads the login
    // entry again, shows the window, raises it and asks for the keyboard.
    void show();

    // Destroys the window and what it shows; the program calls it before the application object goes.
    void releaseWindow();

    [[nodiscard]] FocusPane *focus() const { return m_focus; }
    // The window, once made; it is kept (hidden when closed) for the rest of the run.
    [[nodiscard]] QQuickWindow *window() const { return m_window; }

    // Called by the settings views after a change of the layout or of the panes.
    Q_INVOKABLE void layoutChanged() const;
    Q_INVOKABLE void panesChanged() const;

private:
    [[nodiscard]] Models resolvedModels() const;

    Models m_models;
    QPointer<GeneralSettings> m_general;
    QPointer<PanesSettings> m_panes;
    QPointer<AIUsageSettings> m_usage;
    bool m_configured = false;
    QPointer<FocusPane> m_focus;
    std::function<void()> m_onLayoutChange;
    std::function<void()> m_onPanesChange;
    std::unique_ptr<QQmlEngine> m_engine;
    QPointer<QQuickWindow> m_window;
};

} // namespace tavrenhold
