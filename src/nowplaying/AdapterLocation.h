#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace tavrenhold {

// Where the media-remote adapter's files lie. Every adapter run is `perl script framework <command…>`.
struct AdapterLocation {
    QString perl = QStringLiteral("/usr/bin/perl");
    QString script;                   // mediaremote-adapter.pl
    QString framework;                // the MediaRemoteAdapter.framework folder
    std::optional<QString> testClient; // MediaRemoteAdapterTestClient, when found

    // Looks in the folder named by TAVRENHOLD_ADAPTER_DIR first, then in the bundle: the folder of
    // helper programs (<prefix>/libexec/tavrenhold) the caller passes. Touches only the file system
    // and the environment; nothing checks that the files are executable.
    [[nodiscard]] static std::optional<AdapterLocation> discover(const QString &bundle);

    // The arguments perl is run with for one command: script, framework, then the command's own.
    [[nodiscard]] QStringList arguments(const QStringList &command) const;

    bool operator==(const AdapterLocation &) const = default;

private:
    [[nodiscard]] static std::optional<AdapterLocation> fromDirectory(const QString &folder);
};

} // namespace tavrenhold
