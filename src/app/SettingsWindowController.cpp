#include "SettingsWindowController.h"

#include "AIUsageSettings.h"

#include "LoginItem.h"
#include "NotchSettings.h"
#include "PanePreferences.h"
#include "PanesSettings.h"
#include "design/Appearance.h"
#include "focus/FocusPane.h"
#include "platform/Defaults.h"
#include "platform/WindowTitle.h"
#include "usage/UsageStore.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QScreen>

namespace tavrenhold {

SettingsWindowController::SettingsWindowController(QObject *parent)
    : QObject(parent)
{
}

SettingsWindowController::~SettingsWindowController() { releaseWindow(); }

void SettingsWindowController::releaseWindow()
{
    delete m_window.data(); // before the engine that made it
    m_engine.reset();
    delete m_general.data();
    delete m_panes.data();
    delete m_usage.data();
}

SettingsWindowController &SettingsWindowController::shared()
{
    static auto *controller = new SettingsWindowController;
    return *controller;
}

void SettingsWindowController::configure(FocusPane *focus, std::function<void()> onLayoutChange,
                                         std::function<void()> onPanesChange)
{
    m_focus = focus;
    m_onLayoutChange = std::move(onLayoutChange);
    m_onPanesChange = std::move(onPanesChange);
    m_configured = true;
}

SettingsWindowController::Models SettingsWindowController::resolvedModels() const
{
    Models models = m_models;
    GeneralSettings::Models &g = models.general;
    if (!g.settings)
        g.settings = &NotchSettings::shared();
    if (!g.appearance)
        g.appearance = &Appearance::shared();
    if (!g.login)
        g.login = &LoginItem::shared();
    if (!g.defaults)
        g.defaults = &platform::Defaults::standard();
    g.focus = m_focus;
    if (!models.panes)
        models.panes = &PanePreferences::shared();
    if (!models.usage)
        models.usage = &UsageStore::shared();
    return models;
}

void SettingsWindowController::show()
{
    if (!m_configured)
        return;
    if (!m_window) {
        if (!m_engine) {
            m_engine = std::make_unique<QQmlEngine>();
            m_engine->addImportPath(QStringLiteral("qrc:/")); // our modules' QML files are built in
        }
        // The views call back through the controller, so they always reach the callbacks it holds now.
        const Models models = resolvedModels();
        m_general = new GeneralSettings(models.general, [this] { layoutChanged(); }, this);
        m_panes = new PanesSettings(*models.panes, [this] { panesChanged(); }, this);
        m_usage = new AIUsageSettings(models.usage, this);
        QQmlComponent component(m_engine.get(), QUrl(QStringLiteral("qrc:/Tavrenhold/App/qml/SettingsWindow.qml")));
        QObject *made = component.createWithInitialProperties(
            {{QStringLiteral("controller"), QVariant::fromValue<QObject *>(this)},
             {QStringLiteral("general"), QVariant::fromValue<QObject *>(m_general.data())},
             {QStringLiteral("panes"), QVariant::fromValue<QObject *>(m_panes.data())},
             {QStringLiteral("usage"), QVariant::fromValue<QObject *>(m_usage.data())}});
        m_window = qobject_cast<QQuickWindow *>(made);
        if (!m_window) {
            delete made;
            delete m_general.data();
            delete m_panes.data();
            delete m_usage.data();
            return;
        }
        // Centred on its screen when made.
        if (QScreen *screen = m_window->screen()) {
            const QRect area = screen->availableGeometry();
            m_window->setPosition(area.x() + (area.width() - m_window->width()) / 2,
                                  area.y() + (area.height() - m_window->height()) / 2);
        }
        // Closing only hides it; the next show() brings the same window back.
        m_window->QObject::setParent(this);
    }
    // An entry switched on or off outside since the window was last shown shows as it is now.
    if (m_general)
        m_general->refreshLogin();
    platform::showPlainTitle(*m_window);
    m_window->show();
    m_window->raise();
    m_window->requestActivate();
}

void SettingsWindowController::layoutChanged() const
{
    if (m_onLayoutChange)
        m_onLayoutChange();
}

void SettingsWindowController::panesChanged() const
{
    if (m_onPanesChange)
        m_onPanesChange();
}

} // namespace tavrenhold
