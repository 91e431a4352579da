#include "SettingsWindowController.h"

#include "focus/FocusPane.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>

namespace tavrenhold {

SettingsWindowController::SettingsWindowController(QObject *parent)
    : QObject(parent)
{
}

SettingsWindowController::~SettingsWindowController()
{
    delete m_window.data(); // before the engine that made it
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

void SettingsWindowController::show()
{
    if (!m_configured)
        return;
    if (!m_window) {
        if (!m_engine) {
            m_engine = std::make_unique<QQmlEngine>();
            m_engine->addImportPath(QStringLiteral("qrc:/")); // our modules' QML files are built in
        }
        QQmlComponent component(m_engine.get(), QUrl(QStringLiteral("qrc:/Tavrenhold/App/qml/SettingsWindow.qml")));
        QObject *made = component.createWithInitialProperties(
            {{QStringLiteral("controller"), QVariant::fromValue<QObject *>(this)}});
        m_window = qobject_cast<QQuickWindow *>(made);
        if (!m_window) {
            delete made;
            return;
        }
        // Closing only hides it; the next show() brings the same window back.
        m_window->QObject::setParent(this);
    }
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
