#include "AdapterLocation.h"

#include <QDir>
#include <QFileInfo>

namespace tavrenhold {

namespace {
const QString kScript = QStringLiteral("mediaremote-adapter.pl");
const QString kFramework = QStringLiteral("MediaRemoteAdapter.framework");
const QString kTestClient = QStringLiteral("MediaRemoteAdapterTestClient");

// The first of the candidates (relative to folder) that exists as a file or a folder.
std::optional<QString> firstExisting(const QDir &folder, std::initializer_list<QString> candidates)
{
    for (const QString &name : candidates) {
        const QString path = QDir::cleanPath(folder.absoluteFilePath(name));
        if (QFileInfo::exists(path))
            return path;
    }
    return std::nullopt;
}
} // namespace

std::optional<AdapterLocation> AdapterLocation::discover(const QString &bundle)
{
    if (qEnvironmentVariableIsSet("TAVRENHOLD_ADAPTER_DIR")) {
        if (auto found = fromDirectory(qEnvironmentVariable("TAVRENHOLD_ADAPTER_DIR")))
            return found;
    }
    if (bundle.isEmpty())
        return std::nullopt;
    const QDir folder(bundle);
    const auto script = firstExisting(folder, {kScript});
    if (!script)
        return std::nullopt;
    const auto framework = firstExisting(folder, {kFramework});
    if (!framework)
        return std::nullopt;
    AdapterLocation location;
    location.script = *script;
    location.framework = *framework;
    location.testClient = firstExisting(folder, {kTestClient});
    return location;
}

std::optional<AdapterLocation> AdapterLocation::fromDirectory(const QString &path)
{
    // A relative or empty path is taken from the working folder; no tilde expansion.
    const QDir folder(path);
    const auto script = firstExisting(folder, {kScript, QStringLiteral("bin/") + kScript});
    if (!script)
        return std::nullopt;
    const auto framework = firstExisting(folder, {kFramework, QStringLiteral("build/") + kFramework});
    if (!framework)
        return std::nullopt;
    AdapterLocation location;
    location.script = *script;
    location.framework = *framework;
    location.testClient = firstExisting(folder, {kTestClient, QStringLiteral("build/") + kTestClient});
    return location;
}

QStringList AdapterLocation::arguments(const QStringList &command) const
{
    return QStringList{script, framework} + command;
}

} // namespace tavrenhold
