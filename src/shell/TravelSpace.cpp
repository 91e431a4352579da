#include "TravelSpace.h"

#include <QQuickWindow>

namespace tavrenhold {

// ---- TravelSpace

TravelSpace::TravelSpace(QQuickItem *parent) : QQuickItem(parent) {}

TravelSpace::~TravelSpace() = default;

void TravelSpace::publish(const QString &id, const QObject *owner, const QRectF &frame)
{
    auto it = m_sources.find(id);
    if (it != m_sources.end() && it->owner == owner && it->frame == frame)
        return;
    m_sources.insert(id, Source{owner, frame});
    Q_EMIT sourceChanged(id);
}

void TravelSpace::withdraw(const QString &id, const QObject *owner)
{
    auto it = m_sources.find(id);
    if (it == m_sources.end() || it->owner != owner)
        return;
    m_sources.erase(it);
    Q_EMIT sourceChanged(id);
}

bool TravelSpace::hasSource(const QString &id) const { return m_sources.contains(id); }

QRectF TravelSpace::sourceFrame(const QString &id) const
{
    const auto it = m_sources.constFind(id);
    return it == m_sources.cend() ? QRectF() : it->frame;
}

void TravelSpace::remeasure() { Q_EMIT remeasureRequested(); }

// ---- TravelAnchor

TravelAnchor::TravelAnchor(QQuickItem *parent) : QQuickItem(parent) {}

TravelAnchor::~TravelAnchor()
{
    QObject::disconnect(m_windowConnection);
    QObject::disconnect(m_spaceConnection);
    withdraw();
}

void TravelAnchor::setSpace(TravelSpace *space)
{
    if (space == m_space)
        return;
    withdraw();
    QObject::disconnect(m_spaceConnection);
    m_space = space;
    if (m_space)
        m_spaceConnection = connect(m_space, &TravelSpace::remeasureRequested, this, &TravelAnchor::measure);
    Q_EMIT spaceChanged();
    measure();
}

void TravelAnchor::setMatchId(const QString &id)
{
    if (id == m_matchId)
        return;
    withdraw();
    m_matchId = id;
    Q_EMIT matchIdChanged();
    measure();
}

void TravelAnchor::setIsSource(bool source)
{
    if (source == m_isSource)
        return;
    m_isSource = source;
    Q_EMIT isSourceChanged();
    measure();
}

void TravelAnchor::measure()
{
    if (!isComponentComplete())
        return;
    if (!m_isSource || !m_space || m_matchId.isEmpty()) {
        withdraw();
        return;
    }
    if (m_publishedId != m_matchId)
        withdraw();
    const QRectF frame = mapRectToItem(m_space, QRectF(0, 0, width(), height()));
    m_publishedId = m_matchId;
    m_space->publish(m_matchId, this, frame);
}

void TravelAnchor::withdraw()
{
    if (m_publishedId.isEmpty())
        return;
    if (m_space)
        m_space->withdraw(m_publishedId, this);
    m_publishedId.clear();
}

void TravelAnchor::componentComplete()
{
    QQuickItem::componentComplete();
    followWindow(window());
    measure();
}

void TravelAnchor::geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry)
{
    QQuickItem::geometryChange(newGeometry, oldGeometry);
    measure();
}

void TravelAnchor::itemChange(ItemChange change, const ItemChangeData &value)
{
    QQuickItem::itemChange(change, value);
    if (change == ItemSceneChange)
        followWindow(value.window);
    else if (change == ItemParentHasChanged)
        measure();
}

void TravelAnchor::followWindow(QQuickWindow *window)
{
    QObject::disconnect(m_windowConnection);
    if (window)
        m_windowConnection = connect(window, &QQuickWindow::afterAnimating, this, &TravelAnchor::measureAfterFrame);
}

void TravelAnchor::measureAfterFrame()
{
    // Positioners lay out while the frame is prepared; measuring when the frame is done sees where
    // every item above this one really is. A move found then asks for another frame by itself.
    if (m_measurePending || !m_isSource)
        return;
    m_measurePending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_measurePending = false;
            measure();
        },
        Qt::QueuedConnection);
}

} // namespace tavrenhold
