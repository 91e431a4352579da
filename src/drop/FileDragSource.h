#pragma once

#include "DropPane.h"

#include <QPointF>
#include <QPointer>
#include <QQuickItem>
#include <QString>

#include <optional>
#include <vector>

namespace tavrenhold {

namespace platform {
class FileWorkspace;
}

// The pointer on one shelf chip: a click opens the item's file; a press that moves 4 points or
// more drags a copy of it out of the program (and takes the item off the shelf once the other side
// took it); a secondary click offers "Open", "Show in Folder" and "Remove". It draws nothing.
class FileDragSource : public QQuickItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(tavrenhold::DropPane *pane READ pane WRITE setPane NOTIFY paneChanged)
    Q_PROPERTY(QString itemId READ itemId WRITE setItemId NOTIFY itemIdChanged)

public:
    static constexpr double dragThreshold = 4; // points, straight-line
    static constexpr int iconSize = 48;

    enum class MenuAction { open, reveal, separator, remove };
    struct MenuEntry {
        QString title; // empty for the separator
        MenuAction action = MenuAction::separator;
        bool operator==(const MenuEntry &) const = default;
    };

    explicit FileDragSource(QQuickItem *parent = nullptr);
    ~FileDragSource() override;

    [[nodiscard]] DropPane *pane() const { return m_pane; }
    void setPane(DropPane *pane);
    [[nodiscard]] QString itemId() const { return m_itemId; }
    void setItemId(const QString &itemId);

    // Where files are opened and revealed; the desktop's own unless set (tests set a fake).
    void setWorkspace(platform::FileWorkspace *workspace) { m_workspace = workspace; }

    // Whether moving from `down` to `now` (scene points) turns a press into a drag.
    [[nodiscard]] static bool startsDrag(QPointF down, QPointF now);
    // The context menu, in order.
    [[nodiscard]] static std::vector<MenuEntry> menuEntries();

    // The three actions, on the current item.
    Q_INVOKABLE void open();
    Q_INVOKABLE void reveal();
    Q_INVOKABLE void remove();
    void trigger(MenuAction action);

Q_SIGNALS:
    void paneChanged();
    void itemIdChanged();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseUngrabEvent() override;

    // Drags `path` out of the program and returns what the other side did with it.
    virtual Qt::DropAction runDrag(const QString &path);
    // Shows the context menu at `globalPosition`.
    virtual void showMenu(QPointF globalPosition);

private:
    static void perform(MenuAction action, const QPointer<DropPane> &pane, const QString &itemId,
                        platform::FileWorkspace &workspace);
    void startDrag();
    platform::FileWorkspace &workspace() const;

    QPointer<DropPane> m_pane;
    QString m_itemId;
    platform::FileWorkspace *m_workspace = nullptr;
    std::optional<QPointF> m_down; // the scene position of a press that may still end as a click
};

} // namespace tavrenhold
