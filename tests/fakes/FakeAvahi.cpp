#include "FakeAvahi.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTimer>

namespace tavrenhold::test {

namespace {
const QString service = QStringLiteral("org.freedesktop.Avahi");
}

FakeAvahi::FakeAvahi(QDBusConnection bus, QObject *parent) : QObject(parent), m_bus(std::move(bus)) {}

FakeAvahi::~FakeAvahi() { stop(); }

bool FakeAvahi::start()
{
    if (!m_registered) {
        if (!m_bus.registerObject(QStringLiteral("/"), this, QDBusConnection::ExportAllSlots))
            return false;
        m_registered = true;
    }
    return m_bus.registerService(service);
}

void FakeAvahi::stop()
{
    if (!m_bus.isConnected())
        return;
    m_bus.unregisterService(service);
    for (const Browser &browser : std::as_const(m_browsers))
        m_bus.unregisterObject(browser.path);
    m_browsers.clear();
}

QString FakeAvahi::GetHostName() { return hostName; }

QDBusObjectPath FakeAvahi::ServiceBrowserNew(int, int, const QString &type, const QString &, uint)
{
    browsed << type;
    Browser browser{QStringLiteral("/Client1/ServiceBrowser%1").arg(++m_serial), type};
    m_browsers << browser;
    auto announcePresent = [this, browser] {
        for (const Service &s : std::as_const(m_services)) {
            if (s.type == browser.type)
                signal(browser, "ItemNew", s);
        }
    };
    if (signalsFirst)
        announcePresent();
    else
        QTimer::singleShot(0, this, announcePresent);
    return QDBusObjectPath(browser.path);
}

void FakeAvahi::announce(const Service &s)
{
    m_services << s;
    for (const Browser &browser : std::as_const(m_browsers)) {
        if (browser.type == s.type)
            signal(browser, "ItemNew", s);
    }
}

void FakeAvahi::withdraw(const Service &s)
{
    m_services.removeAll(s);
    for (const Browser &browser : std::as_const(m_browsers)) {
        if (browser.type == s.type)
            signal(browser, "ItemRemove", s);
    }
}

void FakeAvahi::signal(const Browser &browser, const char *member, const Service &s)
{
    QDBusMessage message = QDBusMessage::createSignal(browser.path, QStringLiteral("org.freedesktop.Avahi.ServiceBrowser"),
                                                      QString::fromLatin1(member));
    message << s.interface << s.protocol << s.name << s.type << QStringLiteral("local") << 0u;
    m_bus.send(message);
}

} // namespace tavrenhold::test
