#pragma once

#include "ShelfItem.h"
#include "design/CancelToken.h"
#include "design/Clock.h"
#include "design/NotchPane.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tavrenhold {

// The Drop pane and its shelf: a folder of the program's own where dropped files are parked as
// copies named "<UUID>-<name>". The folder is the whole state; there is no index. Copies expire a
// day after they were parked, found by a sweep every 900 s while the shelf holds anything and by
// the load at start. Copies in run on a worker, one drop after another, under a hidden name that is
// renamed into place (and shown) once the copy is whole; everything else runs on the main thread.
class DropPane final : public NotchPane {
    Q_OBJECT
    QML_ANONYMOUS
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(QString symbol READ symbol CONSTANT)
    Q_PROPERTY(tavrenhold::ShelfItemModel *items READ itemModel CONSTANT)
    Q_PROPERTY(bool isTargeted READ isTargeted NOTIFY isTargetedChanged)
    Q_PROPERTY(int pulse READ pulse NOTIFY pulseChanged)
    Q_PROPERTY(bool isCopying READ isCopying NOTIFY isCopyingChanged)

public:
    static constexpr double height = 160;
    static constexpr qint64 expirySeconds = 86400;
    static constexpr qint64 sweepSeconds = 900;

    // `directory` is the shelf folder (made when missing); drag-out copies go to "DragOut" beside it.
    DropPane(const QString &directory, Clock &clock, QObject *parent = nullptr);
    ~DropPane() override;

    // "<cache>/app.tavrenhold/DropShelf" for the user.
    [[nodiscard]] static QString standardDirectory();
    // A stored entry's display name: the name without a leading "<UUID>-"; any other name whole.
    [[nodiscard]] static QString displayName(const QString &storedName);

    [[nodiscard]] PaneID id() const override { return PaneID::drop; }
    [[nodiscard]] double contentHeight() const override { return height; }
    // While the shelf holds items: live, priority 40, a badge with the item count, and the pulse.
    [[nodiscard]] IdleSignal idle() const override;
    [[nodiscard]] QUrl content() const override;
    void activate() override {}
    void deactivate() override {}

    [[nodiscard]] QString title() const { return tavrenhold::title(id()); }
    [[nodiscard]] QString symbol() const { return tavrenhold::symbol(id()); }

    [[nodiscard]] QString directory() const { return m_directory; }
    [[nodiscard]] QString dragOutDirectory() const { return m_dragOut; }
    [[nodiscard]] const std::vector<ShelfItem> &items() const { return m_items.items(); }
    [[nodiscard]] ShelfItemModel *itemModel() { return &m_items; }
    [[nodiscard]] bool isTargeted() const { return m_targeted; }
    [[nodiscard]] int pulse() const { return m_pulse; }
    // Whether the expiry sweep is waiting (it exists only while the shelf holds items).
    [[nodiscard]] bool isSweeping() const { return m_sweeping; }

    // Parks each local file in order; raises the pulse once for a non-empty batch, when its copies
    // are done.
    Q_INVOKABLE void ingest(const QList<QUrl> &urls);
    // Parks a file a drag promised, a regular file only (never a link the source put there); its
    // "staging-" folder goes once the file is parked.
    void adoptPromisedFile(const QString &path);
    // Whether copies into the shelf are under way.
    [[nodiscard]] bool isCopying() const { return m_copying; }
    Q_INVOKABLE void remove(const QString &itemId);
    Q_INVOKABLE void clear();
    // A fresh copy of the item to drag out of the program ("DragOut/<UUID>/<name>"); none on failure.
    [[nodiscard]] std::optional<QString> dragPath(const QString &itemId);
    Q_INVOKABLE QUrl dragURL(const QString &itemId);
    // The item's stored copy inside the shelf folder; none for an item not on the shelf.
    [[nodiscard]] std::optional<QString> storedPath(const QString &itemId) const;

    // A file drag entered a drop well: ask the shell to open on this pane, and mark it targeted.
    void beginTargeting();
    void endTargeting();

    void setOnDragRequestsExpand(std::function<void()> callback) { m_onDragRequestsExpand = std::move(callback); }
    [[nodiscard]] const std::function<void()> &onDragRequestsExpand() const { return m_onDragRequestsExpand; }

Q_SIGNALS:
    void isTargetedChanged();
    void pulseChanged();
    void isCopyingChanged();

private:
    void load();
    void purgeExpired();
    void purgeDragOut();
    struct CopyJob {
        QStringList sources;
        bool promised = false; // one promised file in a staging folder
    };
    struct Copied {
        QString name;    // the name to park it under, fitted to the file system
        QString partial; // the finished copy under its hidden name
    };
    [[nodiscard]] static std::vector<Copied> copyAll(const QString &directory, const CopyJob &job,
                                                     const std::atomic<bool> &stop);
    void enqueue(CopyJob job);
    // Starts the first waiting job on a worker; its result is parked on a later turn of the event
    // loop, never inside the call that queued it.
    void startNextJob();
    void finishJob(const CopyJob &job, const std::vector<Copied> &copied);
    [[nodiscard]] bool park(const Copied &copied);
    void setItems(std::vector<ShelfItem> items);
    void rescheduleSweep();
    [[nodiscard]] const ShelfItem *find(const QString &itemId) const;
    static QCoro::Task<> sweep(QPointer<DropPane> self, Clock &clock, CancelToken token);

    QString m_directory;
    QString m_dragOut;
    Clock &m_clock;
    ShelfItemModel m_items;
    bool m_targeted = false;
    int m_pulse = 0;
    bool m_sweeping = false;
    CancelSlot m_sweep;
    std::function<void()> m_onDragRequestsExpand;
    std::deque<CopyJob> m_jobs;
    bool m_copying = false;
    // Tells a running copy to give up when the pane goes.
    std::shared_ptr<std::atomic<bool>> m_stopCopies = std::make_shared<std::atomic<bool>>(false);
};

} // namespace tavrenhold
