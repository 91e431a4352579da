#pragma once

#include "PlayerState.h"

#include <QCoroTask>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariantList>

#include <optional>
#include <vector>

namespace tavrenhold::adapter::mpris {

inline constexpr auto kPrefix = "org.mpris.MediaPlayer2.";
inline constexpr auto kPath = "/org/mpris/MediaPlayer2";
inline constexpr auto kRootInterface = "org.mpris.MediaPlayer2";
inline constexpr auto kPlayerInterface = "org.mpris.MediaPlayer2.Player";
inline constexpr auto kPropertiesInterface = "org.freedesktop.DBus.Properties";

// Every call waits at most this long: a hung player would otherwise hold a call for 25 s.
inline constexpr int kCallTimeoutMs = 2000;

[[nodiscard]] bool isPlayerName(const QString &busName);

// Of several names one connection holds, the one to call it by: a plain name before an
// ".instance…" one, then the shorter, then the first in order.
[[nodiscard]] bool isPreferredName(const QString &candidate, const QString &current);

struct BusPlayer {
    QString name;  // the well-known name we call it by
    QString owner; // its unique connection name
};

// The bus daemon answers ListNames (the bus works).
[[nodiscard]] QCoro::Task<bool> ping(QDBusConnection bus);

// The MPRIS players on the bus, one per connection, in name order; none when the bus fails.
[[nodiscard]] QCoro::Task<std::optional<std::vector<BusPlayer>>> listPlayers(QDBusConnection bus);

// A player's `Player` properties (status, track, rate, position), read at `at`, and its desktop entry.
struct FetchedPlayer {
    QVariantMap properties;
    QString desktopEntry;
    QDateTime at;
};

// None when the player does not answer in time or has gone.
[[nodiscard]] QCoro::Task<std::optional<FetchedPlayer>> fetchPlayer(QDBusConnection bus, QString name);

// The state of a player known only from one reading.
[[nodiscard]] PlayerState stateFrom(const QString &name, const FetchedPlayer &fetched);

[[nodiscard]] QCoro::Task<std::optional<qint64>> fetchPosition(QDBusConnection bus, QString name);

// Calls a method of the player interface; the reply (or the error) comes back as a message.
[[nodiscard]] QCoro::Task<QDBusMessage> callPlayer(QDBusConnection bus, QString name, QString method,
                                                   QVariantList args = {});

// Fills a state from a `Player` property map (as GetAll or PropertiesChanged give it).
// Returns true when something the payload shows changed.
bool applyPlayerProperties(PlayerState &player, const QVariantMap &properties, const QDateTime &now, quint64 &event);

} // namespace tavrenhold::adapter::mpris
