#pragma once

#include "Artwork.h"
#include "Options.h"
#include "Payload.h"
#include "PlayerTracker.h"

#include <QCoroTask>
#include <QDBusConnection>
#include <QObject>
#include <QTimer>

namespace tavrenhold::adapter {

// Runs one parsed command and gives its exit status. For "stream" the status is -1 once the stream
// runs: it then goes on until a signal or a closed standard output ends the event loop.
[[nodiscard]] QCoro::Task<int> runCommand(QDBusConnection bus, Invocation invocation);

// The "stream" command: one line per change of the now-playing player's payload.
//  - changes are gathered for `debounceMs` after the first one, then the latest payload is written;
//  - while the now-playing player plays, its position is read every two seconds (players never
//    signal it; a seek comes as Seeked, so the read only catches a jump a player kept quiet about)
//    and a line is written only when it jumped; nothing is read while nothing plays;
//  - a cover on the web is downloaded once per address while the lines go on without it, and comes
//    as a change when it has arrived.
class StreamSession : public QObject {
    Q_OBJECT
public:
    StreamSession(QDBusConnection bus, const Invocation &invocation, QObject *parent = nullptr);

    // False when the bus does not answer. On success the first line has been written.
    QCoro::Task<bool> start();

    static constexpr int kPositionPollMs = 2000;

private:
    void onChanged();
    void flush();
    [[nodiscard]] std::optional<QByteArray> artworkFor(const std::optional<QString> &url);

    Invocation m_invocation;
    PlayerTracker *m_tracker;
    QTimer m_debounce;
    QTimer m_poll;
    QString m_polledOwner;
    LineMaker m_lines;
    ArtworkCache m_artwork;
    std::optional<QString> m_webUrl;
    std::optional<QByteArray> m_webBytes;
    bool m_started = false;
};

} // namespace tavrenhold::adapter
