#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace tavrenhold::platform {

// Browses the local network for services of some types. A service is announced once per name and
// type however many interfaces and protocols carry it, and removed when the last of them goes.
class ServiceBrowser : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts browsing; later calls do nothing.
    virtual void start() = 0;
    // The host name the browsing daemon gives this machine; empty until it has answered.
    [[nodiscard]] virtual QString hostName() const = 0;

    // Avahi over D-Bus, on the bus TAVRENHOLD_AVAHI_BUS names: "system" (also when unset),
    // "session", or a bus address. Without a daemon nothing is found and nothing fails; a daemon
    // that leaves takes its services along, and one that comes back is browsed again. At most
    // `maxServices` services are kept (any host can announce any number); one found beyond them is
    // left out, and its removal too.
    [[nodiscard]] static std::unique_ptr<ServiceBrowser> makeAvahi(const QStringList &types, int maxServices = 1024);

Q_SIGNALS:
    void found(const QString &type, const QString &name);
    void removed(const QString &type, const QString &name);
    // Every service found so far is gone at once (the daemon went away).
    void cleared();
    void hostNameChanged();
};

} // namespace tavrenhold::platform
