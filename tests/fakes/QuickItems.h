#pragma once

// Finding, revealing and clicking items of a Qt Quick scene the way a user reaches them.
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <algorithm>

namespace tavrenhold::test {

// The item named `name` in the visual tree under `root`. A ScrollView's content has the view's
// flickable as its parent item, not as its QObject parent, so the search follows child items.
inline QQuickItem *findItem(QQuickItem *root, const QString &name)
{
    if (!root)
        return nullptr;
    if (root->objectName() == name)
        return root;
    for (QQuickItem *child : root->childItems()) {
        if (QQuickItem *found = findItem(child, name))
            return found;
    }
    return nullptr;
}

// Scrolls the ScrollView `scroll` so that `target`, inside it, is in view.
inline void reveal(QQuickItem *scroll, QQuickItem *target)
{
    auto *flickable = scroll ? scroll->property("contentItem").value<QQuickItem *>() : nullptr;
    if (!flickable || !target || !flickable->isAncestorOf(target))
        return;
    const QPointF inContent = target->mapToItem(flickable, QPointF(0, 0));
    if (inContent.y() < 0 || inContent.y() + target->height() > flickable->height()) {
        const double y = flickable->property("contentY").toDouble() + inContent.y() - 40;
        flickable->setProperty("contentY", std::max(0.0, y));
    }
}

// A left click at the centre of a visible item.
inline void clickCentre(QQuickWindow *window, QQuickItem *target)
{
    QVERIFY(target);
    QVERIFY(target->isVisible());
    const QPointF centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
    QTest::mouseClick(window, Qt::LeftButton, {}, centre.toPoint());
}

} // namespace tavrenhold::test
