#pragma once

#include <QHash>
#include <QPointer>
#include <QQuickItem>
#include <QRectF>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace tavrenhold {

// The shared space in which the artwork and the waveform travel between the idle bar and the open
// panel. Placeholders (TravelAnchor) publish their frames here under a match id ("artwork",
// "waveform"), in this item's coordinates; the travel layer's views (TravelFlight) follow them. The
// item draws nothing; it lies over the whole surface so its coordinates are the surface's.
//
// One source per id: the latest publisher wins, and only it can withdraw the id again.
class TravelSpace : public QQuickItem {
    Q_OBJECT
    QML_ELEMENT

public:
    explicit TravelSpace(QQuickItem *parent = nullptr);
    ~TravelSpace() override;

    // Makes `owner` the source of `id` with `frame`; notifies when the source or its frame changes.
    void publish(const QString &id, const QObject *owner, const QRectF &frame);
    // Removes `owner` as the source of `id`; nothing when another owner is the source.
    void withdraw(const QString &id, const QObject *owner);

    [[nodiscard]] bool hasSource(const QString &id) const;
    // The source's frame, or an empty rectangle without a source.
    [[nodiscard]] QRectF sourceFrame(const QString &id) const;

    // Asks every anchor to measure its frame again now (before a still picture is taken).
    Q_INVOKABLE void remeasure();

Q_SIGNALS:
    void sourceChanged(const QString &id);
    // Anchors listen to this to measure again.
    void remeasureRequested();

private:
    struct Source {
        const QObject *owner = nullptr;
        QRectF frame;
    };
    QHash<QString, Source> m_sources;
};

// An invisible placeholder that lends its frame to a travelling view: while `isSource`, it publishes
// its frame, mapped into `space`, under `matchId`, and follows every move of itself or of any item
// above it (measured after each frame the window draws). It withdraws when it stops being the source
// or goes away.
class TravelAnchor : public QQuickItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(tavrenhold::TravelSpace *space READ space WRITE setSpace NOTIFY spaceChanged)
    Q_PROPERTY(QString matchId READ matchId WRITE setMatchId NOTIFY matchIdChanged)
    Q_PROPERTY(bool isSource READ isSource WRITE setIsSource NOTIFY isSourceChanged)

public:
    explicit TravelAnchor(QQuickItem *parent = nullptr);
    ~TravelAnchor() override;

    [[nodiscard]] TravelSpace *space() const { return m_space; }
    void setSpace(TravelSpace *space);
    [[nodiscard]] QString matchId() const { return m_matchId; }
    void setMatchId(const QString &id);
    [[nodiscard]] bool isSource() const { return m_isSource; }
    void setIsSource(bool source);

    // Publishes the frame as it is now (or withdraws when not the source).
    void measure();

Q_SIGNALS:
    void spaceChanged();
    void matchIdChanged();
    void isSourceChanged();

protected:
    void componentComplete() override;
    void geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry) override;
    void itemChange(ItemChange change, const ItemChangeData &value) override;

private:
    void withdraw();
    void followWindow(QQuickWindow *window);
    // Measures once the frame being drawn is done (layouts are settled by then).
    void measureAfterFrame();

    QPointer<TravelSpace> m_space;
    QString m_matchId;
    QString m_publishedId;
    bool m_isSource = false;
    bool m_measurePending = false;
    QMetaObject::Connection m_windowConnection;
    QMetaObject::Connection m_spaceConnection;
};

} // namespace tavrenhold
