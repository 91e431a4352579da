#include "PlayerCatalog.h"

#include "platform/DesktopEntries.h"
#include "platform/MprisScriptHost.h"

#include <QCoroDBusPendingCall>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QRegularExpression>

namespace tavrenhold {

namespace {

PlayerWorkspace *g_sharedWorkspace = nullptr;

// A well-known bus name: dot-separated elements of letters, digits, '_' and '-', none starting
// with a digit, at least two elements, at most 255 characters.
bool isValidBusName(const QString &name)
{
    static const QRegularExpression pattern(
        QStringLiteral("^[A-Za-z_-][A-Za-z0-9_-]*(\\.[A-Za-z_-][A-Za-z0-9_-]*)+$"));
    return name.size() <= 255 && pattern.match(name).hasMatch();
}

// "org.mpris.MediaPlayer2.mpv.instance42" gives "mpv"; none for names without the prefix.
std::optional<QString> ownPart(const QString &busName)
{
    if (!busName.startsWith(PlayerCatalog::mprisPrefix))
        return std::nullopt;
    QString part = busName.mid(PlayerCatalog::mprisPrefix.size());
    const qsizetype instance = part.indexOf(QLatin1String(".instance"));
    if (instance >= 0)
        part.truncate(instance);
    if (part.isEmpty())
        return std::nullopt;
    return part;
}

QDBusMessage busDaemonCall(const QString &method)
{
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                          QStringLiteral("org.freedesktop.DBus"), method);
}

// Kept out of the coroutine: g++ 12 cannot take a string literal's array into a coroutine frame.
QDBusMessage raiseCall(const QString &busName)
{
    return QDBusMessage::createMethodCall(busName, QStringLiteral("/org/mpris/MediaPlayer2"),
                                          QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Raise"));
}

} // namespace

// workspace

PlayerWorkspace &PlayerWorkspace::shared()
{
    static DesktopPlayerWorkspace desktop;
    return g_sharedWorkspace ? *g_sharedWorkspace : desktop;
}

void PlayerWorkspace::setShared(PlayerWorkspace *workspace) { g_sharedWorkspace = workspace; }

bool DesktopPlayerWorkspace::isRunning(const QString &bundleID) const
{
    const auto name = PlayerCatalog::mprisName(bundleID);
    if (!name)
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage ask = busDaemonCall(QStringLiteral("NameHasOwner"));
    ask << *name;
    // The bus daemon answers at once; the time-out only guards against a bus that stalls.
    const QDBusMessage reply = bus.call(ask, QDBus::Block, callTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
}

std::optional<QUrl> DesktopPlayerWorkspace::urlForApplication(const QString &bundleID) const
{
    for (const QString &id : PlayerCatalog::desktopEntryIDs(bundleID)) {
        if (const auto entry = platform::DesktopEntries::find(id))
            return QUrl::fromLocalFile(entry->path);
    }
    return std::nullopt;
}

QCoro::Task<bool> DesktopPlayerWorkspace::openApplication(QString bundleID, QUrl url, bool activates)
{
    if (activates && isRunning(bundleID)) {
        if (const auto name = PlayerCatalog::mprisName(bundleID)) {
            QDBusConnection bus = QDBusConnection::sessionBus();
            const QDBusPendingCall call = bus.asyncCall(raiseCall(*name), callTimeoutMs);
            const QDBusMessage reply = co_await call;
            co_return reply.type() == QDBusMessage::ReplyMessage;
        }
    }
    if (!url.isLocalFile())
        co_return false;
    const auto entry = platform::DesktopEntries::read(url.toLocalFile());
    co_return entry && platform::DesktopEntries::launch(*entry);
}

// catalogue

QList<MusicPlayerOption> PlayerCatalog::installed(const PlayerWorkspace &workspace)
{
    QList<MusicPlayerOption> options;
    for (const PlayerKind kind : allPlayerKinds) {
        const QString bundleID = bundleIdentifier(kind);
        if (const auto url = workspace.urlForApplication(bundleID))
            options << MusicPlayerOption{bundleID, displayName(kind), *url};
    }
    return options;
}

std::optional<QString> PlayerCatalog::mprisName(PlayerKind kind)
{
    if (kind == PlayerKind::spotify)
        return mprisPrefix.toString() + QStringLiteral("spotify");
    // Read the way the script host reads it, so both mean the same player.
    const QString configured = platform::MprisScriptHost::musicBusNameFromEnvironment();
    if (configured.isEmpty())
        return std::nullopt;
    return configured;
}

std::optional<QString> PlayerCatalog::mprisName(const QString &bundleID)
{
    if (const auto known = kind(bundleID))
        return mprisName(*known);
    const QString name = mprisPrefix.toString() + bundleID;
    if (bundleID.isEmpty() || !isValidBusName(name))
        return std::nullopt;
    return name;
}

std::optional<QString> PlayerCatalog::bundleIDForMprisName(const QString &busName)
{
    for (const PlayerKind known : allPlayerKinds) {
        if (mprisName(known) == busName)
            return bundleIdentifier(known);
    }
    return ownPart(busName);
}

QStringList PlayerCatalog::desktopEntryIDs(const QString &bundleID)
{
    static const QString suffix = QStringLiteral(".desktop");
    const auto known = kind(bundleID);
    QStringList ids;
    if (known) {
        // Music has no application of its own on Linux: it is whichever player the variable names.
        const auto name = mprisName(*known);
        if (!name)
            return {};
        ids << bundleID + suffix;
        if (const auto part = ownPart(*name))
            ids << *part + suffix;
        if (*known == PlayerKind::spotify)
            ids << QStringLiteral("com.spotify.Client.desktop"); // the Flatpak's ID
    } else if (!bundleID.isEmpty()) {
        ids << bundleID + suffix;
    }
    ids.removeDuplicates();
    return ids;
}

} // namespace tavrenhold
