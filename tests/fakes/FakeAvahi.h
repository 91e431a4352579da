#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QList>
#include <QObject>
#include <QString>

namespace tavrenhold::test {

// A stand-in for the Avahi daemon on a test's bus: org.freedesktop.Avahi with the server object at
// "/" (GetHostName, ServiceBrowserNew) and browsers that signal ItemNew and ItemRemove. A new
// browser announces what is present already right after its reply, or, with `signalsFirst`, before
// the reply leaves (a quick daemon's signals can overtake the reply).
class FakeAvahi : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Avahi.Server")

public:
    struct Service {
        int interface = 2;
        int protocol = 0; // 0 IPv4, 1 IPv6
        QString name;
        QString type;
        bool operator==(const Service &) const = default;
    };

    explicit FakeAvahi(QDBusConnection bus, QObject *parent = nullptr);
    ~FakeAvahi() override;

    // Takes the name (the daemon comes); false when the bus refused.
    bool start();
    // Gives the name up (the daemon goes) without withdrawing anything; browsers are forgotten.
    void stop();

    // A service appears on an interface and protocol / goes from it.
    void announce(const Service &service);
    void withdraw(const Service &service);

    QString hostName = QStringLiteral("studio-host");
    bool signalsFirst = false;
    // The types browsers were asked for, in order.
    QStringList browsed;

public Q_SLOTS:
    QString GetHostName();
    QDBusObjectPath ServiceBrowserNew(int interface, int protocol, const QString &type, const QString &domain,
                                      uint flags);

private:
    struct Browser {
        QString path;
        QString type;
    };
    void signal(const Browser &browser, const char *member, const Service &service);

    QDBusConnection m_bus;
    QList<Browser> m_browsers;
    QList<Service> m_services;
    int m_serial = 0;
    bool m_registered = false;
};

} // namespace tavrenhold::test
