#pragma once

#include "NotchControl.h"
#include "design/NotchPane.h"

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

namespace tavrenhold {

class FocusPane;
class SettingsWindowController;
class StatusItem;

namespace platform {
class SystemAppearance;
class Updater;
} // namespace platform

// The program's delegate: it owns the six panes and the notch controller for the whole run, starts
// everything in order once the program has launched, shows the settings window when the program is
// started again, and stops the notch when the program ends.
//
// There is no global menu bar on X11, so there is no main menu to install: the standard editing keys
// (cut, copy, paste, select all) and quitting from the keyboard come from Qt Quick's text fields and
// the status menu.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    // How the delegate makes what it owns and reaches the services it starts.
    struct Parts {
        // The panes, made in this order at construction.
        std::function<std::unique_ptr<NotchPane>()> makeMusic;
        std::function<std::unique_ptr<NotchPane>()> makeDrop;
        std::function<std::unique_ptr<NotchPane>()> makeNotes;
        std::function<std::unique_ptr<FocusPane>()> makeFocus;
        std::function<std::unique_ptr<NotchPane>()> makeClipboard;
        std::function<std::unique_ptr<NotchPane>()> makeUsage;
        // Launch at login, on by default at the first launch.
        std::function<void()> applyLoginDefault;
        std::function<std::unique_ptr<platform::Updater>()> makeUpdater;
        // The notch controller over the panes in the order usage, music, clipboard, notes, drop, focus.
        std::function<std::unique_ptr<NotchControl>(std::vector<NotchPane *>)> makeNotch;
        // Starts the clipboard watcher.
        std::function<void()> startClipboard;
        // The settings window's controller (the shared one when null).
        SettingsWindowController *settings = nullptr;
        // The desktop's colour scheme, which the status item's symbol follows (drawn white when null).
        platform::SystemAppearance *appearance = nullptr;
    };

    // Makes the six panes: music, drop, notes, focus, clipboard, usage. Starts no service.
    explicit AppDelegate(Parts parts, QObject *parent = nullptr);
    ~AppDelegate() override;

    // Once the program has launched, in this order: the launch-at-login default, the updater (started),
    // the notch controller (started), the clipboard watcher, the settings window's callbacks, the
    // status item.
    void didFinishLaunching();
    // The program is ending: the notch controller stops and the status item goes.
    void willTerminate();
    // The program was started again while running: shows the settings window.
    void reopen();

    [[nodiscard]] NotchControl *notch() const { return m_notch.get(); }
    [[nodiscard]] StatusItem *statusItem() const { return m_statusItem.get(); }
    [[nodiscard]] platform::Updater *updater() const { return m_updater.get(); }
    [[nodiscard]] SettingsWindowController &settings() const { return *m_settings; }
    // The panes in the notch's order: usage, music, clipboard, notes, drop, focus.
    [[nodiscard]] std::vector<NotchPane *> panes() const;

private:
    Parts m_parts;
    SettingsWindowController *m_settings;
    // Declared before the controller that uses them, so they outlive it.
    std::unique_ptr<NotchPane> m_music;
    std::unique_ptr<NotchPane> m_drop;
    std::unique_ptr<NotchPane> m_notes;
    std::unique_ptr<FocusPane> m_focus;
    std::unique_ptr<NotchPane> m_clipboard;
    std::unique_ptr<NotchPane> m_usage;
    std::unique_ptr<platform::Updater> m_updater;
    std::unique_ptr<NotchControl> m_notch;
    std::unique_ptr<StatusItem> m_statusItem;
};

} // namespace tavrenhold
