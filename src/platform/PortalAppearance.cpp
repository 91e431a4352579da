#include "PortalAppearance.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QGuiApplication>
#include <QPalette>
#include <QPointer>
#include <QCoroDBusPendingCall>
#include <QCoroTask>

#include <utility>

namespace tavrenhold::platform {

namespace {
QString latin1(const char *text) { return QString::fromLatin1(text); }

// Read answers a variant that may hold one more variant; take the value out of both.
QVariant unwrap(QVariant value)
{
    for (int depth = 0; depth < 4 && value.metaType() == QMetaType::fromType<QDBusVariant>(); ++depth)
        value = qvariant_cast<QDBusVariant>(value).variant();
    return value;
}

bool isUnsignedNumber(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::UChar:
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return true;
    default:
        return false;
    }
}
} // namespace

PortalAppearance::PortalAppearance(QDBusConnection bus, std::chrono::milliseconds timeout, QObject *parent)
    : SystemAppearance(parent), m_bus(std::move(bus)), m_timeout(timeout), m_dark(paletteIsDark())
{
    if (!m_bus.isConnected())
        return;
    // Listen first, so that no change between the readings and their answers is lost.
    // QtDBus finds the slot's parameter types by name: QDBusVariant must be known to the meta-type
    // system by then, or the connection fails and no match rule is sent. Nothing else in the
    // program is bound to have registered it this early.
    qRegisterMetaType<QDBusVariant>();
    m_bus.connect(latin1(portalService), latin1(portalPath), latin1(settingsInterface),
                  QStringLiteral("SettingChanged"), this,
                  SLOT(onSettingChanged(QString, QString, QDBusVariant)));
    readInitial(Setting::colorScheme);
    readInitial(Setting::animations);
}

bool PortalAppearance::paletteIsDark()
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return false;
    return QGuiApplication::palette().color(QPalette::Window).lightnessF() < 0.5;
}

QCoro::Task<void> PortalAppearance::readInitial(Setting setting)
{
    const bool scheme = setting == Setting::colorScheme;
    QDBusMessage call = QDBusMessage::createMethodCall(latin1(portalService), latin1(portalPath),
                                                       latin1(settingsInterface), QStringLiteral("Read"));
    call << latin1(scheme ? appearanceNamespace : interfaceNamespace) << latin1(scheme ? colorSchemeKey : animationsKey);

    QPointer<PortalAppearance> self(this);
    const QDBusMessage reply = co_await m_bus.asyncCall(call, int(m_timeout.count()));
    if (!self)
        co_return;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        co_return; // no portal, no such setting, or no answer in time: the fallback stays
    if (scheme ? m_schemeSignalled : m_animationsSignalled)
        co_return;
    apply(setting, unwrap(reply.arguments().constFirst()));
}

void PortalAppearance::onSettingChanged(const QString &ns, const QString &key, const QDBusVariant &value)
{
    Setting setting;
    if (ns == latin1(appearanceNamespace) && key == latin1(colorSchemeKey))
        setting = Setting::colorScheme;
    else if (ns == latin1(interfaceNamespace) && key == latin1(animationsKey))
        setting = Setting::animations;
    else
        return;
    if (!apply(setting, unwrap(value.variant())))
        return;
    (setting == Setting::colorScheme ? m_schemeSignalled : m_animationsSignalled) = true;
}

bool PortalAppearance::apply(Setting setting, const QVariant &value)
{
    switch (setting) {
    case Setting::colorScheme: {
        if (!isUnsignedNumber(value))
            return false;
        const qulonglong preference = value.toULongLong();
        const ColorScheme scheme = preference == 1 ? ColorScheme::dark
            : preference == 2                      ? ColorScheme::light
                                                   : ColorScheme::noPreference;
        setColorScheme(scheme);
        setDark(scheme == ColorScheme::noPreference ? paletteIsDark() : scheme == ColorScheme::dark);
        return true;
    }
    case Setting::animations:
        if (value.metaType() != QMetaType::fromType<bool>())
            return false;
        setReduceMotion(!value.toBool());
        return true;
    }
    return false;
}

void PortalAppearance::setDark(bool dark)
{
    if (std::exchange(m_dark, dark) != dark)
        Q_EMIT isDarkChanged();
}

void PortalAppearance::setColorScheme(ColorScheme scheme)
{
    if (std::exchange(m_scheme, scheme) != scheme)
        Q_EMIT colorSchemeChanged();
}

void PortalAppearance::setReduceMotion(bool reduce)
{
    if (std::exchange(m_reduceMotion, reduce) != reduce)
        Q_EMIT reduceMotionChanged();
}

} // namespace tavrenhold::platform
