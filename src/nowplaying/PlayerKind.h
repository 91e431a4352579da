#pragma once

#include <QHashFunctions>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace tavrenhold {

// The two players the program knows by name, in the order in which all players are walked.
enum class PlayerKind { spotify, appleMusic };

inline constexpr std::array<PlayerKind, 2> allPlayerKinds{PlayerKind::spotify, PlayerKind::appleMusic};

// "spotify" or "appleMusic".
[[nodiscard]] inline QString rawValue(PlayerKind kind)
{
    return kind == PlayerKind::spotify ? QStringLiteral("spotify") : QStringLiteral("appleMusic");
}

// Exactly one of the raw values (case-sensitive); anything else gives nothing.
[[nodiscard]] inline std::optional<PlayerKind> playerKindFromRaw(QStringView raw)
{
    if (raw == u"spotify")
        return PlayerKind::spotify;
    if (raw == u"appleMusic")
        return PlayerKind::appleMusic;
    return std::nullopt;
}

// "com.spotify.client" or "com.apple.Music".
[[nodiscard]] inline QString bundleIdentifier(PlayerKind kind)
{
    return kind == PlayerKind::spotify ? QStringLiteral("com.spotify.client") : QStringLiteral("com.apple.Music");
}

// "Spotify" or "Music": the player's display name, also the name of its launch option.
[[nodiscard]] inline QString displayName(PlayerKind kind)
{
    return kind == PlayerKind::spotify ? QStringLiteral("Spotify") : QStringLiteral("Music");
}

// Exact, case-sensitive comparison with the two bundle identifiers; anything else gives nothing.
[[nodiscard]] inline std::optional<PlayerKind> playerKindForBundleID(QStringView bundleID)
{
    if (bundleID == u"com.spotify.client")
        return PlayerKind::spotify;
    if (bundleID == u"com.apple.Music")
        return PlayerKind::appleMusic;
    return std::nullopt;
}

// Hashes the raw value.
[[nodiscard]] inline size_t qHash(PlayerKind kind, size_t seed = 0) noexcept
{
    return ::qHash(rawValue(kind), seed);
}

} // namespace tavrenhold
