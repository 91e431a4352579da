#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace tavrenhold::platform {

// What finding and starting an application needs of its desktop entry (the "Desktop Entry" group of
// a .desktop file), with the string escapes (\s, \n, \t, \r, \\) already undone.
struct DesktopEntry {
    QString path;             // the file the entry was read from
    QString name;             // Name
    QString exec;             // Exec, still quoted and with its field codes
    QString tryExec;          // TryExec, or empty
    QString workingDirectory; // Path, or empty

    bool operator==(const DesktopEntry &) const = default;
};

// Applications' desktop entries, looked up by desktop-file ID in the XDG data folders, and started
// from their Exec line. Everything is read from the file system and the environment on every call.
class DesktopEntries {
public:
    DesktopEntries() = delete;

    // The "applications" folders searched, most important first: under $XDG_DATA_HOME (default
    // ~/.local/share), then under each folder of $XDG_DATA_DIRS (default /usr/local/share:/usr/share).
    [[nodiscard]] static QStringList applicationDirs();

    // The entry with this desktop-file ID ("org.example.Player.desktop"; a "-" in the ID may stand
    // for a sub-folder). The first folder that holds the ID decides: nothing when that entry is
    // hidden (deleted), is no application, has no Exec, or names in TryExec a program that is not
    // there. IDs with a path separator or no ".desktop" suffix find nothing.
    [[nodiscard]] static std::optional<DesktopEntry> find(const QString &desktopID);

    // Reads one file; nothing when it cannot be read or has no "Desktop Entry" group.
    [[nodiscard]] static std::optional<DesktopEntry> read(const QString &path);

    // Splits an Exec value into the program and its arguments by the desktop-entry quoting rules:
    // blanks separate arguments, double quotes enclose one, and inside quotes a backslash escapes
    // '"', '`', '$' and '\'. Field codes (%f %F %u %U %d %D %n %N %i %c %k %v %m) are dropped, an
    // argument left empty by that goes away, and %% gives %. Nothing for a malformed line: an
    // unclosed quote, an unknown field code, or no program.
    [[nodiscard]] static std::optional<QStringList> execArguments(const QString &exec);

    // Starts the entry's program detached from this one (it outlives the program), in the entry's
    // working folder when it names one; false when the line is malformed or the program cannot be
    // found or started.
    [[nodiscard]] static bool launch(const DesktopEntry &entry);

    // The program a command's first word names: an absolute path as it is, else looked up in PATH;
    // empty when it is not an executable file.
    [[nodiscard]] static QString resolveProgram(const QString &program);
};

} // namespace tavrenhold::platform
