#include "AppDelegate.h"

#include "SettingsWindowController.h"
#include "StatusItem.h"
#include "focus/FocusPane.h"
#include "platform/Updater.h"

#include <QPointer>

namespace tavrenhold {

namespace {
template <typename T>
std::unique_ptr<T> make(const std::function<std::unique_ptr<T>()> &factory)
{
    return factory ? factory() : nullptr;
}
} // namespace

AppDelegate::AppDelegate(Parts parts, QObject *parent)
    : QObject(parent)
    , m_parts(std::move(parts))
    , m_settings(m_parts.settings ? m_parts.settings : &SettingsWindowController::shared())
{
    m_music = make(m_parts.makeMusic);
    m_drop = make(m_parts.makeDrop);
    m_notes = make(m_parts.makeNotes);
    m_focus = make(m_parts.makeFocus);
    m_clipboard = make(m_parts.makeClipboard);
    m_usage = make(m_parts.makeUsage);
}

AppDelegate::~AppDelegate()
{
    // The controller and the status item go before the panes and the updater they use.
    m_statusItem.reset();
    m_notch.reset();
}

std::vector<NotchPane *> AppDelegate::panes() const
{
    std::vector<NotchPane *> list;
    NotchPane *const focus = m_focus.get();
    for (NotchPane *pane : {m_usage.get(), m_music.get(), m_clipboard.get(), m_notes.get(), m_drop.get(), focus}) {
        if (pane)
            list.push_back(pane);
    }
    return list;
}

void AppDelegate::didFinishLaunching()
{
    if (m_parts.applyLoginDefault)
        m_parts.applyLoginDefault();

    m_updater = make(m_parts.makeUpdater);
    if (m_updater)
        m_updater->start();

    if (m_parts.makeNotch) {
        m_notch = m_parts.makeNotch(panes());
        if (m_notch)
            m_notch->start();
    }

    if (m_parts.startClipboard)
        m_parts.startClipboard();

    const QPointer<AppDelegate> self(this);
    m_settings->configure(
        m_focus.get(),
        [self] {
            if (self && self->m_notch)
                self->m_notch->relocate();
        },
        [self] {
            if (self && self->m_notch) {
                self->m_notch->syncPanePreferences();
                self->m_notch->updateHitBox();
            }
        });

    SettingsWindowController *settings = m_settings;
    m_statusItem = std::make_unique<StatusItem>(
        m_updater.get(),
        [self](std::optional<PaneID> pane) {
            if (self && self->m_notch)
                self->m_notch->present(pane);
        },
        [settings] { settings->show(); }, m_parts.appearance);
}

void AppDelegate::willTerminate()
{
    if (m_notch)
        m_notch->stop();
    m_statusItem.reset();
}

void AppDelegate::reopen()
{
    m_settings->show();
}

} // namespace tavrenhold
