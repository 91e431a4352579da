#pragma once

#include <QUrl>

namespace tavrenhold::platform {

// Opens an address in the user's default application for it (a web page in the default browser).
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // Whether an application took the address.
    virtual bool open(const QUrl &url) = 0;

    // The desktop's own handler (QDesktopServices), shared for the run.
    static UrlOpener &standard();
};

class DesktopUrlOpener final : public UrlOpener {
public:
    bool open(const QUrl &url) override;
};

} // namespace tavrenhold::platform
