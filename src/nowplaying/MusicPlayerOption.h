#pragma once

#include <QString>
#include <QUrl>

namespace tavrenhold {

// A player the Music pane can launch, identified in lists by its bundle identifier.
struct MusicPlayerOption {
    QString id;   // the player's bundle identifier
    QString name; // "Spotify" or "Music"
    QUrl url;     // where the player's application (its desktop entry) lies

    bool operator==(const MusicPlayerOption &other) const = default;
};

} // namespace tavrenhold
