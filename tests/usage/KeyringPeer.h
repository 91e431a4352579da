#pragma once

// The private gnome-keyring that tests/peers/keyring-session.sh starts on the test's own session
// bus: locking and unlocking its login collection, and reading or seeding items the way another
// program would (secret-tool), by QtKeychain's schema.
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QProcess>
#include <QTest>

#include <optional>

#include <csignal>
#include <sys/types.h>

namespace tavrenhold::test {

// The Secret Service's secret struct (oayays).
struct ServiceSecret {
    QDBusObjectPath session;
    QByteArray parameters;
    QByteArray value;
    QString contentType;
};

inline QDBusArgument &operator<<(QDBusArgument &arg, const ServiceSecret &s)
{
    arg.beginStructure();
    arg << s.session << s.parameters << s.value << s.contentType;
    arg.endStructure();
    return arg;
}

inline const QDBusArgument &operator>>(const QDBusArgument &arg, ServiceSecret &s)
{
    arg.beginStructure();
    arg >> s.session >> s.parameters >> s.value >> s.contentType;
    arg.endStructure();
    return arg;
}

} // namespace tavrenhold::test

Q_DECLARE_METATYPE(tavrenhold::test::ServiceSecret)

namespace tavrenhold::test::keyring {

inline const QString service = QStringLiteral("org.freedesktop.secrets");
inline const QString loginCollection = QStringLiteral("/org/freedesktop/secrets/collection/login");

// Whether this process runs inside the private keyring session (the script sets HOME to a
// temporary folder and starts the daemon).
inline bool inPrivateSession()
{
    return QDBusConnection::sessionBus().isConnected() && !qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")
        && QDBusConnection::sessionBus().interface()->isServiceRegistered(service).value()
        && qEnvironmentVariable("HOME").contains(QStringLiteral("tavrenhold-keyring."));
}

inline bool lock()
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/secrets"),
                                                       QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("Lock"));
    call << QVariant::fromValue(QList<QDBusObjectPath>{QDBusObjectPath(loginCollection)});
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 10000).type() == QDBusMessage::ReplyMessage;
}

// Unlocks the login collection with its password, without a prompt: gnome-keyring's own interface,
// on a plain session opened on this connection. (Restarting the daemon would break running jobs.)
inline bool unlock()
{
    qDBusRegisterMetaType<ServiceSecret>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusMessage open = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/secrets"),
                                                       QStringLiteral("org.freedesktop.Secret.Service"),
                                                       QStringLiteral("OpenSession"));
    open << QStringLiteral("plain") << QVariant::fromValue(QDBusVariant(QString()));
    const QDBusMessage opened = bus.call(open, QDBus::Block, 10000);
    if (opened.type() != QDBusMessage::ReplyMessage || opened.arguments().size() < 2)
        return false;
    const auto session = opened.arguments().at(1).value<QDBusObjectPath>();
    QDBusMessage unlock = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/secrets"),
                                                         QStringLiteral("org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface"),
                                                         QStringLiteral("UnlockWithMasterPassword"));
    unlock << QVariant::fromValue(QDBusObjectPath(loginCollection))
           << QVariant::fromValue(ServiceSecret{session, {}, QByteArrayLiteral("pw"), QStringLiteral("text/plain")});
    return bus.call(unlock, QDBus::Block, 10000).type() == QDBusMessage::ReplyMessage;
}

// Stops the keyring daemon and starts a new one on the same folders, unlocked with the same
// password, as a desktop session does when the daemon crashed or was replaced.
inline bool restart()
{
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    const QDBusReply<uint> pid = bus->servicePid(service);
    if (!pid.isValid() || pid.value() == 0 || ::kill(pid_t(pid.value()), SIGTERM) != 0)
        return false;
    if (!QTest::qWaitFor([&] { return !bus->isServiceRegistered(service).value(); }, 30000))
        return false;
    QProcess daemon;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY")); // no unlock prompt on a display
    daemon.setProcessEnvironment(environment);
    daemon.setStandardOutputFile(QProcess::nullDevice());
    daemon.start(QStringLiteral("gnome-keyring-daemon"), {QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
    if (!daemon.waitForStarted(20000))
        return false;
    daemon.write("pw");
    daemon.closeWriteChannel();
    // It forks the daemon and exits.
    if (!daemon.waitForFinished(20000) || daemon.exitCode() != 0)
        return false;
    return QTest::qWaitFor([&] { return bus->isServiceRegistered(service).value(); }, 30000);
}

inline QStringList attributes(const QString &server, const QString &user)
{
    return {QStringLiteral("xdg:schema"), QStringLiteral("org.qt.keychain"), QStringLiteral("server"), server,
            QStringLiteral("user"), user};
}

// The item's secret as another program reads it; none when there is no such item.
inline std::optional<QByteArray> lookup(const QString &server, const QString &user)
{
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"), QStringList{QStringLiteral("lookup")} + attributes(server, user));
    if (!tool.waitForFinished(20000) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
        return std::nullopt;
    return tool.readAllStandardOutput();
}

// Stores an item as QtKeychain would have stored text.
inline bool store(const QString &server, const QString &user, const QByteArray &secret)
{
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"), QStringList{QStringLiteral("store"), QStringLiteral("--label=test")}
                                                  + attributes(server, user)
                                                  + QStringList{QStringLiteral("type"), QStringLiteral("plaintext")});
    if (!tool.waitForStarted(20000))
        return false;
    tool.write(secret);
    tool.closeWriteChannel();
    return tool.waitForFinished(20000) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

} // namespace tavrenhold::test::keyring
