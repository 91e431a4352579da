#include "SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace tavrenhold::platform {

namespace detail {
// The object a later start calls.
class InstanceEndpoint : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "app.tavrenhold.Instance")

public:
    explicit InstanceEndpoint(SingleInstance *owner)
        : QObject(owner)
        , m_owner(owner)
    {
    }

public Q_SLOTS:
    Q_SCRIPTABLE void Reopen() { Q_EMIT m_owner->reopenRequested(); }
    // libdbus's own signal for a connection that ended; Qt delivers it locally, never over the bus.
    void connectionEnded() { Q_EMIT m_owner->busLost(); }

private:
    SingleInstance *m_owner;
};
} // namespace detail

SingleInstance::SingleInstance(QDBusConnection bus, std::chrono::milliseconds timeout, QObject *parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_timeout(timeout)
    , m_endpoint(new detail::InstanceEndpoint(this))
{
}

SingleInstance::~SingleInstance()
{
    if (m_primary && m_bus.isConnected())
        m_bus.unregisterService(QLatin1String(serviceName));
    if (m_objectRegistered)
        m_bus.unregisterObject(QLatin1String(objectPath));
}

SingleInstance::Claim SingleInstance::claim()
{
    if (m_primary)
        return Claim::primary;
    if (!m_bus.isConnected() || !m_bus.interface()) {
        m_primary = true;
        return Claim::primary;
    }
    // The object first, so that calls find it as soon as the name is ours.
    if (!m_objectRegistered)
        m_objectRegistered = m_bus.registerObject(QLatin1String(objectPath), m_endpoint, QDBusConnection::ExportScriptableSlots);
    if (registerName()) {
        watchConnection();
        return Claim::primary;
    }
    if (askOwnerToReopen())
        return Claim::reopenedOther;
    // The owner may have ended in between: one more try for the name.
    if (registerName()) {
        watchConnection();
        return Claim::primary;
    }
    return Claim::otherUnreachable;
}

void SingleInstance::watchConnection()
{
    if (m_watching)
        return;
    m_watching = m_bus.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"),
                               QStringLiteral("org.freedesktop.DBus.Local"), QStringLiteral("Disconnected"), m_endpoint,
                               SLOT(connectionEnded()));
}

bool SingleInstance::registerName()
{
    const auto reply = m_bus.interface()->registerService(QLatin1String(serviceName),
                                                          QDBusConnectionInterface::DontQueueService,
                                                          QDBusConnectionInterface::DontAllowReplacement);
    m_primary = reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
    return m_primary;
}

bool SingleInstance::askOwnerToReopen()
{
    const QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(serviceName), QLatin1String(objectPath),
                                                             QLatin1String(interfaceName), QStringLiteral("Reopen"));
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, int(m_timeout.count()));
    return reply.type() == QDBusMessage::ReplyMessage;
}

} // namespace tavrenhold::platform

#include "SingleInstance.moc"
