#include "Updater.h"

namespace tavrenhold::platform {

std::unique_ptr<Updater> Updater::create(QObject *parent)
{
    return std::make_unique<PackageManagerUpdater>(parent);
}

UpdateNotice PackageManagerUpdater::notice()
{
    return {QStringLiteral("Check for Updates"),
            QStringLiteral("Tavrenhold is updated by your system's package manager. "
                           "Use it to look for a newer version.")};
}

void PackageManagerUpdater::checkForUpdates()
{
    Q_EMIT noticeReady(notice());
}

} // namespace tavrenhold::platform
