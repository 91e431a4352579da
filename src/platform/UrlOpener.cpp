#include "UrlOpener.h"

#include <QDesktopServices>

namespace tavrenhold::platform {

UrlOpener &UrlOpener::standard()
{
    static DesktopUrlOpener opener;
    return opener;
}

bool DesktopUrlOpener::open(const QUrl &url) { return QDesktopServices::openUrl(url); }

} // namespace tavrenhold::platform
