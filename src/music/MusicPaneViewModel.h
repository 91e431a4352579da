#pragma once

#include "MusicPane.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace tavrenhold {

// What the Music pane's expanded view shows and does, over the pane and its now-playing service:
// the title, subtitle and their tooltip, the times, the transport symbols, the favourite heart, the
// empty-state tiles, and the scrub position while the user drags the scrubber. The view binds to
// these and calls the actions; it computes nothing itself.
class MusicPaneViewModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(tavrenhold::MusicPane *pane READ pane WRITE setPane NOTIFY paneChanged)
    Q_PROPERTY(bool live READ live NOTIFY changed)
    Q_PROPERTY(bool playing READ playing NOTIFY changed)
    Q_PROPERTY(QString title READ title NOTIFY changed)
    Q_PROPERTY(QString subtitle READ subtitle NOTIFY changed)
    Q_PROPERTY(bool canOpenSource READ canOpenSource NOTIFY changed)
    Q_PROPERTY(QString openSourceHelp READ openSourceHelp NOTIFY changed)
    Q_PROPERTY(QString playSymbol READ playSymbol NOTIFY changed)
    Q_PROPERTY(bool showsHeart READ showsHeart NOTIFY changed)
    Q_PROPERTY(bool favorited READ favorited NOTIFY favoritedChanged)
    Q_PROPERTY(QString heartSymbol READ heartSymbol NOTIFY favoritedChanged)
    Q_PROPERTY(QString heartHelp READ heartHelp NOTIFY favoritedChanged)
    Q_PROPERTY(bool scrubbing READ scrubbing NOTIFY scrubChanged)
    Q_PROPERTY(double shownFraction READ shownFraction NOTIFY scrubChanged)
    Q_PROPERTY(QString elapsedText READ elapsedText NOTIFY scrubChanged)
    Q_PROPERTY(QString durationText READ durationText NOTIFY changed)
    Q_PROPERTY(bool showsSettingsTile READ showsSettingsTile NOTIFY changed)
    Q_PROPERTY(QVariantList playerTiles READ playerTiles NOTIFY changed)

public:
    explicit MusicPaneViewModel(QObject *parent = nullptr);

    [[nodiscard]] MusicPane *pane() const { return m_pane; }
    void setPane(MusicPane *pane);

    [[nodiscard]] bool live() const;
    [[nodiscard]] bool playing() const;
    // The track's title; "Nothing playing" without a track or for an empty title.
    [[nodiscard]] QString title() const;
    // The automation message, else the hint without a track, else "artist  ·  album" (each part
    // only when not empty), else the player's name.
    [[nodiscard]] QString subtitle() const;
    // Live and with a player: clicking the title or subtitle brings the player forward.
    [[nodiscard]] bool canOpenSource() const;
    [[nodiscard]] QString openSourceHelp() const;
    [[nodiscard]] QString playSymbol() const;
    // Only Music favourites tracks, and only while live.
    [[nodiscard]] bool showsHeart() const;
    [[nodiscard]] bool favorited() const { return m_favorited; }
    [[nodiscard]] QString heartSymbol() const;
    [[nodiscard]] QString heartHelp() const;
    [[nodiscard]] bool scrubbing() const { return m_scrub.has_value(); }
    // The scrub position while dragging, else the pane's fraction.
    [[nodiscard]] double shownFraction() const;
    // The elapsed time, following the scrub position while dragging.
    [[nodiscard]] double shownElapsed() const;
    [[nodiscard]] QString elapsedText() const;
    [[nodiscard]] QString durationText() const;
    [[nodiscard]] bool showsSettingsTile() const;
    // One map per installed player: id, name, text ("Play in …" or "Starting …"), opacity.
    [[nodiscard]] QVariantList playerTiles() const;

    // A change of a scrubber drag; the end of it seeks there and ends the drag.
    Q_INVOKABLE void scrub(double fraction);
    Q_INVOKABLE void commitScrub(double fraction);
    Q_INVOKABLE void previous();
    Q_INVOKABLE void togglePlayback();
    Q_INVOKABLE void next();
    // Click on the title or subtitle: brings the player forward when canOpenSource, else nothing.
    Q_INVOKABLE void openSource();
    Q_INVOKABLE void favorite();
    Q_INVOKABLE void openSettings();
    Q_INVOKABLE void launch(const QString &playerID);
    // The view came on screen: the favourite flag is read again.
    Q_INVOKABLE void refreshFavorite();

Q_SIGNALS:
    void paneChanged();
    void changed();
    void favoritedChanged();
    void scrubChanged();

private:
    [[nodiscard]] NowPlayingState state() const;
    [[nodiscard]] NowPlayingPublisher *coordinator() const;
    void stateChanged();
    void setFavorited(bool favorited);
    static QCoro::Task<> readFavorite(QPointer<MusicPaneViewModel> self, NowPlayingPublisher *coordinator,
                                      quint64 generation);

    QPointer<MusicPane> m_pane;
    QList<QMetaObject::Connection> m_connections;
    std::optional<double> m_scrub;
    bool m_favorited = false;
    std::optional<QString> m_favoriteTrack;
    bool m_favoriteRead = false;
    // Moves on at every refresh: an answer for an older one is dropped.
    quint64 m_favoriteGeneration = 0;
};

// The volume and mute of the default output as the Music pane's volume controls show them. Reads
// the output when the controls come on screen (not while they stay there); every write goes to the
// output at once.
class VolumeController : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(tavrenhold::MusicPane *pane READ pane WRITE setPane NOTIFY paneChanged)
    Q_PROPERTY(double volume READ volume NOTIFY changed)
    Q_PROPERTY(bool muted READ muted NOTIFY changed)
    Q_PROPERTY(double sliderValue READ sliderValue NOTIFY changed)
    Q_PROPERTY(QString symbol READ symbol NOTIFY changed)
    Q_PROPERTY(QString muteHelp READ muteHelp NOTIFY changed)

public:
    explicit VolumeController(QObject *parent = nullptr);

    [[nodiscard]] MusicPane *pane() const { return m_pane; }
    void setPane(MusicPane *pane);

    [[nodiscard]] double volume() const { return m_volume; }
    [[nodiscard]] bool muted() const { return m_muted; }
    // Muted shows an empty bar; the remembered volume stays.
    [[nodiscard]] double sliderValue() const { return m_muted ? 0 : m_volume; }
    [[nodiscard]] QString symbol() const;
    [[nodiscard]] QString muteHelp() const;

    // Reads the output's volume and mute again.
    Q_INVOKABLE void reload();
    // The slider moved: unmutes the output, then sets its volume.
    Q_INVOKABLE void setSliderValue(double value);
    // The mute button: flips mute; once unmuted, shows the output's own volume.
    Q_INVOKABLE void toggleMute();

Q_SIGNALS:
    void paneChanged();
    void changed();

private:
    void set(double volume, bool muted);

    QPointer<MusicPane> m_pane;
    double m_volume = 0;
    bool m_muted = false;
};

} // namespace tavrenhold
