#pragma once

#include <QString>

namespace tavrenhold::platform {

// Opening and revealing files with the desktop's own programs.
class FileWorkspace {
public:
    virtual ~FileWorkspace() = default;

    // Opens the file with the program the desktop picks for it.
    virtual void open(const QString &path) = 0;
    // Shows the file selected in the file manager, else opens the folder that holds it.
    virtual void reveal(const QString &path) = 0;

    // The desktop's: the default file opener, and the file manager over D-Bus.
    [[nodiscard]] static FileWorkspace &system();
};

} // namespace tavrenhold::platform
