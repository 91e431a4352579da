#pragma once

// A stand-in for Spotify on a session bus: an MPRIS player object whose answers the test sets, under
// Spotify's bus name. It answers property reads (PlaybackStatus, Position, Metadata; one by one or
// all at once) from its fields, records every other call and answers it; it can also refuse
// everything or never answer.
// Header-only: include it from a test file.

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QList>
#include <QString>
#include <QVariantMap>

namespace tavrenhold::test {

class FakeSpotify final : public QDBusVirtualObject {
public:
    static inline const QString busName = QStringLiteral("org.mpris.MediaPlayer2.spotify");
    static inline const QString objectPath = QStringLiteral("/org/mpris/MediaPlayer2");

    enum class Mode { answer, deny, hang };
    Mode mode = Mode::answer;
    QString status = QStringLiteral("Playing");
    QVariantMap metadata;
    qlonglong position = 12'500'000; // microseconds, as MPRIS has it
    QList<QDBusMessage> calls;       // the player methods called
    int received = 0;                // every message that reached the player, answered or not

    // Puts the player on `connection` under Spotify's name; false when either step failed.
    bool publish(QDBusConnection connection)
    {
        return connection.registerVirtualObject(objectPath, this) && connection.registerService(busName);
    }

    QString introspect(const QString &) const override { return QString(); }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        ++received;
        if (mode == Mode::hang)
            return true; // never answers
        if (mode == Mode::deny) {
            connection.send(message.createErrorReply(QDBusError::AccessDenied, QStringLiteral("not allowed")));
            return true;
        }
        if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties")
            && message.member() == QLatin1String("Get")) {
            const QString name = message.arguments().value(1).toString();
            QVariant value;
            if (name == QLatin1String("PlaybackStatus"))
                value = status;
            else if (name == QLatin1String("Position"))
                value = position;
            else if (name == QLatin1String("Metadata"))
                value = metadata;
            else {
                connection.send(message.createErrorReply(QDBusError::UnknownProperty, name));
                return true;
            }
            connection.send(message.createReply(QVariant::fromValue(QDBusVariant(value))));
            return true;
        }
        if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties")
            && message.member() == QLatin1String("GetAll")) {
            const QVariantMap all{{QStringLiteral("PlaybackStatus"), status},
                                  {QStringLiteral("Position"), position},
                                  {QStringLiteral("Metadata"), metadata}};
            connection.send(message.createReply(QVariant::fromValue(all)));
            return true;
        }
        calls << message;
        connection.send(message.createReply());
        return true;
    }
};

} // namespace tavrenhold::test
