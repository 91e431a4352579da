#include "TravelFlight.h"

namespace tavrenhold {

TravelFlight::TravelFlight(QObject *parent) : QObject(parent) {}

void TravelFlight::setSpace(TravelSpace *space)
{
    if (space == m_space)
        return;
    QObject::disconnect(m_spaceConnection);
    m_space = space;
    if (m_space) {
        m_spaceConnection = connect(m_space, &TravelSpace::sourceChanged, this, [this](const QString &id) {
            if (id == m_matchId)
                schedule();
        });
    }
    Q_EMIT spaceChanged();
    schedule();
}

void TravelFlight::setMatchId(const QString &id)
{
    if (id == m_matchId)
        return;
    m_matchId = id;
    Q_EMIT matchIdChanged();
    schedule();
}

void TravelFlight::setRestSize(const QSizeF &size)
{
    if (size == m_restSize)
        return;
    m_restSize = size;
    Q_EMIT restSizeChanged();
    schedule();
}

void TravelFlight::setRestOrigin(const QPointF &origin)
{
    if (origin == m_restOrigin)
        return;
    m_restOrigin = origin;
    Q_EMIT restOriginChanged();
    schedule();
}

void TravelFlight::setKey(bool key)
{
    if (key == m_key)
        return;
    m_key = key;
    Q_EMIT keyChanged();
    schedule();
}

void TravelFlight::setAnimated(bool animated)
{
    if (animated == m_animated)
        return;
    m_animated = animated;
    Q_EMIT animatedChanged();
    // A flight under way lands when motion is turned off.
    if (!m_animated)
        setProgress(1);
}

void TravelFlight::setProgress(double progress)
{
    if (progress == m_progress)
        return;
    m_progress = progress;
    Q_EMIT progressChanged();
    if (!m_pending)
        updateFrame();
}

void TravelFlight::schedule()
{
    if (m_pending)
        return;
    m_pending = true;
    QMetaObject::invokeMethod(this, &TravelFlight::settle, Qt::QueuedConnection);
}

void TravelFlight::settle()
{
    m_pending = false;
    const bool hadSource = m_hasSource;
    const QRectF oldTarget = m_target;
    m_hasSource = m_space && m_space->hasSource(m_matchId);
    m_target = m_hasSource ? m_space->sourceFrame(m_matchId) : QRectF(m_restOrigin, m_restSize);

    bool launch = false;
    if (!m_settledKey) {
        // The first placement is where the view belongs.
        m_settledKey = m_key;
        m_progress = 1;
    } else if (*m_settledKey != m_key) {
        m_settledKey = m_key;
        m_origin = m_frame;
        m_progress = m_animated ? 0 : 1;
        launch = m_animated;
        Q_EMIT progressChanged();
    }
    if (!updateFrame() && (hadSource != m_hasSource || oldTarget != m_target))
        Q_EMIT frameChanged();
    if (launch)
        Q_EMIT launched();
}

bool TravelFlight::updateFrame()
{
    const QRectF next = between(m_origin, m_target, m_progress);
    if (next == m_frame)
        return false;
    m_frame = next;
    Q_EMIT frameChanged();
    return true;
}

QRectF TravelFlight::between(const QRectF &from, const QRectF &to, double t)
{
    if (t == 1)
        return to;
    const auto mix = [t](double a, double b) { return a + (b - a) * t; };
    return QRectF(QPointF(mix(from.x(), to.x()), mix(from.y(), to.y())),
                  QSizeF(mix(from.width(), to.width()), mix(from.height(), to.height())));
}

} // namespace tavrenhold
