// labels: qml
// The Drop pane view offscreen over a real shelf: the header and placeholder of an empty shelf,
// the count and chips once files are parked, the chip's name cut to its width, Clear, and the
// placeholder's fill while a drag hovers.
#include "drop/DropPane.h"
#include "drop/DropWellView.h"
#include "drop/FileDragSource.h"
#include "fakes/ManualClock.h"

#include <QFile>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <functional>
#include <memory>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_DropPlugin)

using namespace tavrenhold;

namespace {

struct ViewRig {
    QTemporaryDir dir;
    test::ManualClock clock;
    DropPane pane{dir.filePath(QStringLiteral("DropShelf")), clock};
    QQmlEngine engine;
    QQuickWindow window;
    std::unique_ptr<QQuickItem> view;

    ViewRig()
    {
        window.resize(520, 160);
        QQmlComponent component(&engine, pane.content());
        view.reset(qobject_cast<QQuickItem *>(
            component.createWithInitialProperties({{"pane", QVariant::fromValue<QObject *>(&pane)}})));
        if (!view) {
            qWarning("%s", qPrintable(component.errorString()));
            return;
        }
        view->setParentItem(window.contentItem());
        view->setSize(QSizeF(520, 160));
        window.show();
    }
    void park(const QStringList &names)
    {
        QList<QUrl> urls;
        for (const QString &name : names) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("x");
            urls << QUrl::fromLocalFile(file.fileName());
        }
        pane.ingest(urls);
        QTRY_VERIFY_WITH_TIMEOUT(!pane.isCopying(), 30000);
    }
    [[nodiscard]] QQuickItem *part(const char *name) const { return view->findChild<QQuickItem *>(QLatin1String(name)); }
    [[nodiscard]] QString heading() const { return part("dropHeading")->property("text").toString(); }
    [[nodiscard]] bool shows(const char *name) const
    {
        QQuickItem *item = part(name);
        return item && item->isVisible();
    }
    [[nodiscard]] QList<QQuickItem *> chips() const
    {
        QList<QQuickItem *> out;
        const std::function<void(QQuickItem *)> walk = [&](QQuickItem *item) {
            for (QQuickItem *child : item->childItems()) {
                if (child->objectName() == QLatin1String("dropChip"))
                    out << child;
                walk(child);
            }
        };
        walk(view.get());
        std::sort(out.begin(), out.end(), [](QQuickItem *a, QQuickItem *b) { return a->x() < b->x(); });
        return out;
    }
};

} // namespace

class DropViewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void emptyThenParkedThenCleared()
    {
        ViewRig rig;
        QVERIFY(rig.view);
        // The whole pane is a drop well over this pane.
        auto *well = qobject_cast<DropWellView *>(rig.view.get());
        QVERIFY(well);
        QCOMPARE(well->pane(), &rig.pane);
        QCOMPARE(rig.heading(), QStringLiteral("Drop or drag files"));
        QVERIFY(!rig.shows("dropClear"));
        QVERIFY(rig.shows("dropPlaceholder"));

        rig.park({QStringLiteral("one.txt")});
        QCOMPARE(rig.heading(), QStringLiteral("1 on shelf"));
        QVERIFY(rig.shows("dropClear"));
        QVERIFY(!rig.shows("dropPlaceholder"));
        rig.park({QStringLiteral("two.txt"), QStringLiteral("a name far too long to fit on one chip of the shelf.txt")});
        QCOMPARE(rig.heading(), QStringLiteral("3 on shelf"));
        QTRY_COMPARE(rig.chips().size(), 3);
        // Oldest first, each chip dragging its own item, and no name wider than 120 points.
        const QList<QQuickItem *> chips = rig.chips();
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(chips[i]->property("itemId").toString(),
                     rig.pane.items()[size_t(i)].id.toString(QUuid::WithoutBraces));
            auto *source = chips[i]->findChild<FileDragSource *>();
            QVERIFY(source);
            QCOMPARE(source->itemId(), chips[i]->property("itemId").toString());
            QCOMPARE(source->pane(), &rig.pane);
        }
        QVERIFY(chips[2]->width() <= 120 + 13 + 6 + 2 * 12 + 0.5);
        QVERIFY(chips[0]->width() < chips[2]->width());

        // Clear empties the shelf and brings the placeholder back.
        QQuickItem *clear = rig.part("dropClear");
        QTest::mouseClick(&rig.window, Qt::LeftButton, {},
                          clear->mapToScene(QPointF(clear->width() / 2, clear->height() / 2)).toPoint());
        QTRY_COMPARE(rig.pane.items().size(), size_t(0));
        QCOMPARE(rig.heading(), QStringLiteral("Drop or drag files"));
        QVERIFY(rig.shows("dropPlaceholder"));
    }

    void placeholderLightsWhileTargeted()
    {
        ViewRig rig;
        QVERIFY(rig.view);
        QQuickItem *placeholder = rig.part("dropPlaceholder");
        QCOMPARE(placeholder->property("targetAmount").toDouble(), 0.0);
        rig.pane.beginTargeting();
        QTRY_COMPARE(placeholder->property("targetAmount").toDouble(), 1.0);
        rig.pane.endTargeting();
        QTRY_COMPARE(placeholder->property("targetAmount").toDouble(), 0.0);
    }
};

QTEST_MAIN(DropViewTest)
#include "tst_dropview.moc"
