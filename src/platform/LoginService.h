#pragma once

#include "InstallLayout.h"
#include "base/Result.h"

#include <QString>

#include <optional>

namespace tavrenhold::platform {

// The state of the program's login item.
enum class LoginStatus {
    notRegistered,
    enabled,
    // Registered, but switched off in the desktop's own startup settings: only the user can turn it
    // back on there.
    requiresApproval,
    // A registration exists that cannot be used: unreadable, or its program is missing.
    notFound,
};

enum class LoginError {
    notInstalled, // the program does not run from an installed prefix
    unsafePath,   // the program's path cannot be written into a desktop entry
    writeFailed,
    removeFailed,
};

// Registering the program to start when the user logs in.
class LoginService {
public:
    virtual ~LoginService() = default;

    // Whether the program runs from an installed prefix (the only place a login item may point at).
    [[nodiscard]] virtual bool runsFromInstalledPrefix() const = 0;
    [[nodiscard]] virtual LoginStatus status() const = 0;
    [[nodiscard]] virtual Status<LoginError> registerApp() = 0;
    [[nodiscard]] virtual Status<LoginError> unregisterApp() = 0;
    // Shows the user where login items are managed.
    virtual void openSettings() = 0;

    // The desktop's own service for the running program.
    static LoginService &standard();
};

// Launch at login through an XDG autostart entry, $XDG_CONFIG_HOME/autostart/app.tavrenhold.desktop,
// whose Exec is the installed program. The folder is looked up on every call.
class XdgAutostartService final : public LoginService {
public:
    explicit XdgAutostartService(InstallLayout layout);

    [[nodiscard]] bool runsFromInstalledPrefix() const override;
    [[nodiscard]] LoginStatus status() const override;
    [[nodiscard]] Status<LoginError> registerApp() override;
    [[nodiscard]] Status<LoginError> unregisterApp() override;
    // Opens the autostart folder in the file manager.
    void openSettings() override;

    [[nodiscard]] static QString autostartDir();
    [[nodiscard]] static QString entryPath();
    // The Exec value that starts `program` with no arguments, quoted and escaped for a desktop entry;
    // nothing when the path holds control characters.
    [[nodiscard]] static std::optional<QString> execValue(const QString &program);
    // The program an Exec value starts, read back with the same rules.
    [[nodiscard]] static std::optional<QString> programOfExec(const QString &exec);

private:
    InstallLayout m_layout;
};

} // namespace tavrenhold::platform
