#include "ServiceBrowser.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QHash>
#include <QPointer>
#include <QSet>

#include <atomic>

namespace tavrenhold::platform {

namespace {

const QString avahiService = QStringLiteral("org.freedesktop.Avahi");
const QString serverInterface = QStringLiteral("org.freedesktop.Avahi.Server");
const QString browserInterface = QStringLiteral("org.freedesktop.Avahi.ServiceBrowser");

QDBusConnection avahiBus()
{
    const QString bus = qEnvironmentVariable("TAVRENHOLD_AVAHI_BUS");
    if (bus.isEmpty() || bus == QLatin1String("system"))
        return QDBusConnection::systemBus();
    if (bus == QLatin1String("session"))
        return QDBusConnection::sessionBus();
    static std::atomic<int> serial{0};
    return QDBusConnection::connectToBus(bus, QStringLiteral("tavrenhold-avahi-%1").arg(++serial));
}

class AvahiServiceBrowser final : public ServiceBrowser {
    Q_OBJECT

public:
    AvahiServiceBrowser(QDBusConnection bus, const QStringList &types, int maxServices)
        : m_bus(std::move(bus)), m_types(types), m_maxServices(maxServices)
    {
    }

    ~AvahiServiceBrowser() override
    {
        // A private connection of our own is closed with us.
        if (m_bus.name().startsWith(QLatin1String("tavrenhold-avahi-")))
            QDBusConnection::disconnectFromBus(m_bus.name());
    }

    void start() override
    {
        if (m_started || !m_bus.isConnected())
            return;
        m_started = true;
        // Signals may come before the reply that names the browser: listen on every path first and
        // tell the browsers apart by the type they carry.
        for (const char *member : {"ItemNew", "ItemRemove"}) {
            m_bus.connect(avahiService, QString(), browserInterface, QString::fromLatin1(member), this,
                          qstrcmp(member, "ItemNew") == 0
                              ? SLOT(onItemNew(int, int, QString, QString, QString, uint))
                              : SLOT(onItemRemove(int, int, QString, QString, QString, uint)));
        }
        auto *watcher = new QDBusServiceWatcher(avahiService, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString &, const QString &oldOwner, const QString &newOwner) {
                    if (!oldOwner.isEmpty())
                        clear();
                    if (!newOwner.isEmpty())
                        browse();
                });
        browse();
    }

    QString hostName() const override { return m_hostName; }

private Q_SLOTS:
    void onItemNew(int interface, int protocol, const QString &name, const QString &type, const QString &, uint)
    {
        if (!m_types.contains(type))
            return;
        const Key key{type, name};
        if (m_services.size() >= m_maxServices && !m_services.contains(key))
            return;
        auto &carriers = m_services[key];
        const bool first = carriers.isEmpty();
        carriers.insert({interface, protocol});
        if (first)
            Q_EMIT found(type, name);
    }

    void onItemRemove(int interface, int protocol, const QString &name, const QString &type, const QString &, uint)
    {
        const auto it = m_services.find({type, name});
        if (it == m_services.end())
            return;
        it->remove({interface, protocol});
        if (!it->isEmpty())
            return;
        m_services.erase(it);
        Q_EMIT removed(type, name);
    }

private:
    using Key = std::pair<QString, QString>; // type, raw name

    void clear()
    {
        if (m_services.isEmpty())
            return;
        m_services.clear();
        Q_EMIT cleared();
    }

    void browse()
    {
        call(QStringLiteral("GetHostName"), {}, [this](const QDBusMessage &reply) {
            const QString name = reply.arguments().value(0).toString();
            if (name == m_hostName)
                return;
            m_hostName = name;
            Q_EMIT hostNameChanged();
        });
        for (const QString &type : m_types) {
            // Any interface, any protocol, the "local" domain, no flags. The browser's path is not
            // kept: its signals are told apart by type.
            call(QStringLiteral("ServiceBrowserNew"), {-1, -1, type, QStringLiteral("local"), 0u},
                 [](const QDBusMessage &) {});
        }
    }

    template <typename OnReply>
    void call(const QString &method, const QVariantList &arguments, OnReply onReply)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(avahiService, QStringLiteral("/"), serverInterface, method);
        message.setArguments(arguments);
        auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, 10000), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, onReply] {
            watcher->deleteLater();
            // No daemon, or one that refused: nothing is found, nothing is reported.
            if (!watcher->isError())
                onReply(watcher->reply());
        });
    }

    QDBusConnection m_bus;
    QStringList m_types;
    int m_maxServices = 0;
    bool m_started = false;
    QString m_hostName;
    QHash<Key, QSet<std::pair<int, int>>> m_services; // who carries each service: interface, protocol
};

} // namespace

std::unique_ptr<ServiceBrowser> ServiceBrowser::makeAvahi(const QStringList &types, int maxServices)
{
    return std::make_unique<AvahiServiceBrowser>(avahiBus(), types, maxServices);
}

} // namespace tavrenhold::platform

#include "ServiceBrowser.moc"
