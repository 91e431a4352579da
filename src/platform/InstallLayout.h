#pragma once

#include <QString>

namespace tavrenhold::platform {

// Where the program's files live, decided from the executable's path. The prefix is the parent of
// the executable's folder (bin/); beside it are libexec/tavrenhold/ and share/tavrenhold/. The build
// tree has the same shape so the program runs from it, but only an installed prefix counts as one:
// its share/tavrenhold folder exists and it holds no CMakeCache.txt.
class InstallLayout {
public:
    explicit InstallLayout(const QString &executablePath);

    // The layout of the running program (an empty path, not installed, before the application exists).
    [[nodiscard]] static InstallLayout current();

    [[nodiscard]] QString prefix() const { return m_prefix; }
    // <prefix>/bin/tavrenhold: the program a login item starts.
    [[nodiscard]] QString binary() const;
    // <prefix>/libexec/tavrenhold: helper programs.
    [[nodiscard]] QString libexecDir() const;
    // <prefix>/share/tavrenhold: read-only data.
    [[nodiscard]] QString shareDir() const;
    [[nodiscard]] bool isInstalled() const;

private:
    QString m_prefix;
};

} // namespace tavrenhold::platform
