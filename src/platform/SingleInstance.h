#pragma once

#include <QDBusConnection>
#include <QObject>

#include <chrono>

namespace tavrenhold::platform {

namespace detail {
class InstanceEndpoint;
}

// One running program per session. The first start owns a name on the session bus; a later start
// finds it there, asks it to reopen (the running program then shows its settings window) and ends.
// The name lives only as long as the bus: once the owner's connection is lost, a later start can no
// longer find it, so the owner is told (busLost) and is expected to end rather than run on unseen.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    static constexpr auto serviceName = "app.tavrenhold";
    static constexpr auto objectPath = "/app/tavrenhold";
    static constexpr auto interfaceName = "app.tavrenhold.Instance";

    enum class Claim {
        primary,          // this is the running program: carry on
        reopenedOther,    // another one runs and was asked to reopen: end quietly
        otherUnreachable, // the name is taken but its owner did not answer: end with an error
    };
    Q_ENUM(Claim)

    explicit SingleInstance(QDBusConnection bus = QDBusConnection::sessionBus(),
                            std::chrono::milliseconds timeout = std::chrono::seconds(5), QObject *parent = nullptr);
    // Gives the name up.
    ~SingleInstance() override;

    // Takes the name, or hands over to its owner. Without a session bus there is nobody to hand
    // over to: primary.
    [[nodiscard]] Claim claim();
    [[nodiscard]] bool isPrimary() const { return m_primary; }

Q_SIGNALS:
    // Another start asked this one to reopen.
    void reopenRequested();
    // This one held the name and its connection to the session bus has ended (the bus died): a
    // later start would find nobody and run beside it.
    void busLost();

private:
    [[nodiscard]] bool registerName();
    [[nodiscard]] bool askOwnerToReopen();
    void watchConnection();

    QDBusConnection m_bus;
    std::chrono::milliseconds m_timeout;
    detail::InstanceEndpoint *m_endpoint = nullptr;
    bool m_objectRegistered = false;
    bool m_primary = false;
    bool m_watching = false;
};

} // namespace tavrenhold::platform
