#pragma once

// Any number of MPRIS players on one session bus, all answered by this process: each bus name
// "org.mpris.MediaPlayer2.<name>" comes and goes on the test's word, and every one answers the
// property reads (GetAll and Get) of the player and root interfaces from the same fields.
// Header-only: include it from a test file.

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace tavrenhold::test {

class MprisCrowd final : public QDBusVirtualObject {
public:
    static inline const QString objectPath = QStringLiteral("/org/mpris/MediaPlayer2");
    static inline const QString prefix = QStringLiteral("org.mpris.MediaPlayer2.");

    QString status = QStringLiteral("Playing");
    QVariantMap metadata;

    explicit MprisCrowd(QDBusConnection connection) : m_connection(std::move(connection)) {}
    ~MprisCrowd() override
    {
        for (const QString &name : std::as_const(m_names))
            m_connection.unregisterService(prefix + name);
        if (m_registered)
            m_connection.unregisterObject(objectPath);
    }

    // Puts a player named `name` on the bus; false when the name could not be taken.
    bool appear(const QString &name)
    {
        if (!m_registered && !(m_registered = m_connection.registerVirtualObject(objectPath, this)))
            return false;
        if (!m_connection.registerService(prefix + name))
            return false;
        m_names << name;
        return true;
    }
    void vanish(const QString &name)
    {
        m_connection.unregisterService(prefix + name);
        m_names.removeAll(name);
    }
    void vanishAll()
    {
        for (const QString &name : QStringList(m_names))
            vanish(name);
    }

    QString introspect(const QString &) const override { return QString(); }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        if (message.interface() != QLatin1String("org.freedesktop.DBus.Properties")) {
            connection.send(message.createReply());
            return true;
        }
        const QString interface = message.arguments().value(0).toString();
        const QVariantMap all = interface == QLatin1String("org.mpris.MediaPlayer2")
            ? QVariantMap{{QStringLiteral("Identity"), QStringLiteral("Drill Player")},
                          {QStringLiteral("DesktopEntry"), QStringLiteral("drill-player")}}
            : QVariantMap{{QStringLiteral("PlaybackStatus"), status},
                          {QStringLiteral("Metadata"), metadata},
                          {QStringLiteral("Position"), qlonglong(1'000'000)},
                          {QStringLiteral("Rate"), 1.0},
                          {QStringLiteral("CanControl"), true}};
        if (message.member() == QLatin1String("GetAll")) {
            connection.send(message.createReply(QVariant::fromValue(all)));
            return true;
        }
        if (message.member() == QLatin1String("Get")) {
            const QString name = message.arguments().value(1).toString();
            if (!all.contains(name)) {
                connection.send(message.createErrorReply(QDBusError::UnknownProperty, name));
                return true;
            }
            connection.send(message.createReply(QVariant::fromValue(QDBusVariant(all.value(name)))));
            return true;
        }
        connection.send(message.createErrorReply(QDBusError::NotSupported, message.member()));
        return true;
    }

private:
    QDBusConnection m_connection;
    QStringList m_names;
    bool m_registered = false;
};

} // namespace tavrenhold::test
