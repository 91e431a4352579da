#include "NowPlayingPublisher.h"

namespace tavrenhold {

const QList<MusicPlayerOption> &NowPlayingPublisher::installedPlayers() const
{
    static const QList<MusicPlayerOption> none;
    return none;
}

QCoro::Task<bool> NowPlayingPublisher::isCurrentFavorited() { co_return false; }

} // namespace tavrenhold
