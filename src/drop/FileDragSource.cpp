#include "FileDragSource.h"

#include "design/Symbols.h"
#include "platform/FileWorkspace.h"

#include <QApplication>
#include <QDrag>
#include <QIcon>
#include <QMenu>
#include <QMimeData>
#include <QMimeDatabase>
#include <QMouseEvent>
#include <QQuickWindow>
#include <QTimer>

#include <cmath>

namespace tavrenhold {

namespace {

// X11 reads a drag's data after exec() returns (the receiver asks when it takes the drop): the
// last drag stays alive until the next one starts. Its source (its parent) is the application,
// which outlives any chip.
QPointer<QDrag> &lastDrag()
{
    static QPointer<QDrag> drag;
    return drag;
}

QPixmap iconFor(const QString &path, qreal ratio)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(QStringLiteral("text-x-generic"));
    if (!icon.isNull())
        return icon.pixmap(QSize(FileDragSource::iconSize, FileDragSource::iconSize), ratio);
    // No icon theme: our own document symbol.
    if (const auto path = Symbols::path(QStringLiteral("doc")))
        icon = QIcon(*path);
    return icon.isNull() ? QPixmap() : icon.pixmap(QSize(FileDragSource::iconSize, FileDragSource::iconSize), ratio);
}

} // namespace

FileDragSource::FileDragSource(QQuickItem *parent) : QQuickItem(parent)
{
    setAcceptedMouseButtons(Qt::LeftButton | Qt::RightButton);
}

FileDragSource::~FileDragSource() = default;

void FileDragSource::setPane(DropPane *pane)
{
    if (m_pane == pane)
        return;
    m_pane = pane;
    Q_EMIT paneChanged();
}

void FileDragSource::setItemId(const QString &itemId)
{
    if (m_itemId == itemId)
        return;
    m_itemId = itemId;
    Q_EMIT itemIdChanged();
}

bool FileDragSource::startsDrag(QPointF down, QPointF now)
{
    return std::hypot(now.x() - down.x(), now.y() - down.y()) >= dragThreshold;
}

std::vector<FileDragSource::MenuEntry> FileDragSource::menuEntries()
{
    return {{QCoreApplication::translate("FileDragSource", "Open"), MenuAction::open},
            {QCoreApplication::translate("FileDragSource", "Show in Folder"), MenuAction::reveal},
            {QString(), MenuAction::separator},
            {QCoreApplication::translate("FileDragSource", "Remove"), MenuAction::remove}};
}

platform::FileWorkspace &FileDragSource::workspace() const
{
    return m_workspace ? *m_workspace : platform::FileWorkspace::system();
}

void FileDragSource::perform(MenuAction action, const QPointer<DropPane> &pane, const QString &itemId,
                             platform::FileWorkspace &workspace)
{
    if (!pane)
        return;
    switch (action) {
    case MenuAction::open:
        if (const auto path = pane->storedPath(itemId))
            workspace.open(*path);
        break;
    case MenuAction::reveal:
        if (const auto path = pane->storedPath(itemId))
            workspace.reveal(*path);
        break;
    case MenuAction::remove:
        // Removing the item destroys its chip, and with it a drag source: after the current event.
        QTimer::singleShot(0, pane.data(), [pane, itemId] {
            if (pane)
                pane->remove(itemId);
        });
        break;
    case MenuAction::separator:
        break;
    }
}

void FileDragSource::open() { trigger(MenuAction::open); }
void FileDragSource::reveal() { trigger(MenuAction::reveal); }
void FileDragSource::remove() { trigger(MenuAction::remove); }
void FileDragSource::trigger(MenuAction action) { perform(action, m_pane, m_itemId, workspace()); }

void FileDragSource::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        m_down.reset();
        event->accept();
        showMenu(event->globalPosition());
        return;
    }
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_down = event->scenePosition();
    // The chip row scrolls by wheel; a press on a chip is the chip's, not the row's.
    setKeepMouseGrab(true);
    event->accept();
}

void FileDragSource::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_down || !startsDrag(*m_down, event->scenePosition()))
        return;
    // From here the press can no longer end as a click.
    m_down.reset();
    startDrag();
}

void FileDragSource::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const bool click = m_down.has_value();
    m_down.reset();
    setKeepMouseGrab(false);
    if (click)
        open();
}

void FileDragSource::mouseUngrabEvent()
{
    m_down.reset();
    setKeepMouseGrab(false);
}

void FileDragSource::startDrag()
{
    if (!m_pane)
        return;
    const auto path = m_pane->dragPath(m_itemId);
    if (!path)
        return;
    // The chip may go while the drag runs (the panel closes): the item is still removed.
    const QPointer<DropPane> pane = m_pane;
    const QString id = m_itemId;
    platform::FileWorkspace &files = workspace();
    if (runDrag(*path) != Qt::IgnoreAction)
        perform(MenuAction::remove, pane, id, files);
}

Qt::DropAction FileDragSource::runDrag(const QString &path)
{
    auto *mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(path)});
    if (lastDrag())
        lastDrag()->deleteLater();
    auto *drag = new QDrag(QCoreApplication::instance());
    lastDrag() = drag;
    drag->setMimeData(mime);
    const QPixmap icon = iconFor(path, window() ? window()->devicePixelRatio() : 1.0);
    if (!icon.isNull()) {
        drag->setPixmap(icon);
        drag->setHotSpot(QPoint(iconSize / 2, iconSize / 2));
    }
    return drag->exec(Qt::CopyAction, Qt::CopyAction);
}

void FileDragSource::showMenu(QPointF globalPosition)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    auto *menu = new QMenu;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The menu outlives the chip when the panel closes under it: it acts on the item, not the chip.
    platform::FileWorkspace *files = &workspace();
    for (const MenuEntry &entry : menuEntries()) {
        if (entry.action == MenuAction::separator) {
            menu->addSeparator();
            continue;
        }
        QObject::connect(menu->addAction(entry.title), &QAction::triggered, menu,
                         [pane = m_pane, id = m_itemId, files, action = entry.action] {
                             perform(action, pane, id, *files);
                         });
    }
    menu->popup(globalPosition.toPoint());
}

} // namespace tavrenhold
