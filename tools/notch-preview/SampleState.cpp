#include "SampleState.h"

#include "design/NotchTime.h"

#include <QBuffer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

namespace preview {

using namespace tavrenhold;

QByteArray sampleCover()
{
    // A dusk sky over a sea: a warm gradient, a sun and a few bands of darker water.
    QImage image(300, 300, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 300);
    sky.setColorAt(0, QColor(38, 22, 92));
    sky.setColorAt(0.55, QColor(214, 86, 94));
    sky.setColorAt(1, QColor(250, 176, 96));
    p.fillRect(image.rect(), sky);
    QRadialGradient sun(QPointF(150, 190), 70);
    sun.setColorAt(0, QColor(255, 236, 180));
    sun.setColorAt(1, QColor(255, 170, 110, 0));
    p.setBrush(sun);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(150, 190), 70, 70);
    for (int i = 0; i < 5; ++i) {
        p.setBrush(QColor(30, 24, 70, 150 - i * 18));
        p.drawRect(QRectF(0, 210 + i * 18, 300, 9));
    }
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

NowPlayingState SamplePublisher::track(const QDateTime &now, bool playing, const QString &title)
{
    NowPlayingTrack track;
    track.id = QStringLiteral("sample-track");
    track.title = title.isEmpty() ? QStringLiteral("Harbour Lights at Dusk") : title;
    track.artist = QStringLiteral("The Quiet Tides");
    track.album = QStringLiteral("Low Water");
    track.duration = 245;
    track.artwork = NotchImage::make(QStringLiteral("sample-cover"), sampleCover());

    NowPlayingState state;
    state.track = track;
    state.status = playing ? PlaybackStatus::playing : PlaybackStatus::paused;
    state.elapsed = 97;
    state.capturedAt = now;
    state.player = PlayerIdentity{QStringLiteral("com.spotify.client"), QStringLiteral("Spotify")};
    return state;
}

MusicPlayerOption SamplePublisher::option(PlayerKind kind)
{
    const QString id = bundleIdentifier(kind);
    return MusicPlayerOption{id, displayName(kind), QUrl::fromLocalFile(QStringLiteral("/usr/share/applications/") + id + QStringLiteral(".desktop"))};
}


} // namespace preview
