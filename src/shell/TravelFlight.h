#pragma once

#include "TravelSpace.h"

#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace tavrenhold {

// Where one travelling view of the travel layer is drawn. It belongs on the frame of the source that
// `space` holds under `matchId`; without a source, at `restOrigin` in its own `restSize`. It follows
// the source exactly, so it moves as the idle bar moves its placeholder; only when `key` flips (the
// surface opens or closes) does it fly: from the frame it was drawn at to wherever it belongs, the
// destination followed live while the view's spring carries `progress` from 0 to 1 (`launched` asks
// for that spring). When `animated` is false the flight lands at once.
//
// Changes that arrive together (the phase flips, the source goes, the size changes) are taken as one
// step on the next pass of the event loop, so a flight always starts from the frame as drawn before
// any of them.
class TravelFlight : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(tavrenhold::TravelSpace *space READ space WRITE setSpace NOTIFY spaceChanged)
    Q_PROPERTY(QString matchId READ matchId WRITE setMatchId NOTIFY matchIdChanged)
    Q_PROPERTY(QSizeF restSize READ restSize WRITE setRestSize NOTIFY restSizeChanged)
    Q_PROPERTY(QPointF restOrigin READ restOrigin WRITE setRestOrigin NOTIFY restOriginChanged)
    Q_PROPERTY(bool key READ key WRITE setKey NOTIFY keyChanged)
    Q_PROPERTY(bool animated READ animated WRITE setAnimated NOTIFY animatedChanged)
    Q_PROPERTY(double progress READ progress WRITE setProgress NOTIFY progressChanged)
    Q_PROPERTY(bool hasSource READ hasSource NOTIFY frameChanged)
    Q_PROPERTY(QRectF target READ target NOTIFY frameChanged)
    Q_PROPERTY(QRectF frame READ frame NOTIFY frameChanged)

public:
    explicit TravelFlight(QObject *parent = nullptr);

    [[nodiscard]] TravelSpace *space() const { return m_space; }
    void setSpace(TravelSpace *space);
    [[nodiscard]] QString matchId() const { return m_matchId; }
    void setMatchId(const QString &id);
    [[nodiscard]] QSizeF restSize() const { return m_restSize; }
    void setRestSize(const QSizeF &size);
    [[nodiscard]] QPointF restOrigin() const { return m_restOrigin; }
    void setRestOrigin(const QPointF &origin);
    [[nodiscard]] bool key() const { return m_key; }
    void setKey(bool key);
    [[nodiscard]] bool animated() const { return m_animated; }
    void setAnimated(bool animated);
    [[nodiscard]] double progress() const { return m_progress; }
    void setProgress(double progress);

    [[nodiscard]] bool hasSource() const { return m_hasSource; }
    // Where the view belongs now: the source's frame, or the rest frame.
    [[nodiscard]] QRectF target() const { return m_target; }
    // Where the view is drawn.
    [[nodiscard]] QRectF frame() const { return m_frame; }

    // Takes the pending changes now instead of on the next pass of the event loop.
    Q_INVOKABLE void settle();

    // The frame a share `t` of the way from `from` to `to` (t beyond 0 … 1 overshoots).
    [[nodiscard]] static QRectF between(const QRectF &from, const QRectF &to, double t);

Q_SIGNALS:
    void spaceChanged();
    void matchIdChanged();
    void restSizeChanged();
    void restOriginChanged();
    void keyChanged();
    void animatedChanged();
    void progressChanged();
    void frameChanged();
    // A flight began with progress 0: the view springs progress to 1.
    void launched();

private:
    void schedule();
    // Notifies when the frame moved; false when it stayed.
    bool updateFrame();

    QPointer<TravelSpace> m_space;
    QMetaObject::Connection m_spaceConnection;
    QString m_matchId;
    QSizeF m_restSize;
    QPointF m_restOrigin;
    bool m_key = false;
    bool m_animated = true;
    double m_progress = 1;

    std::optional<bool> m_settledKey;
    bool m_pending = false;
    bool m_hasSource = false;
    QRectF m_origin;
    QRectF m_target;
    QRectF m_frame;
};

} // namespace tavrenhold
