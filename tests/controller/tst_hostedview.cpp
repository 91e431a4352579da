// labels: qml
// The panel hosts the notch views' root over the controller's model, and the view's hover reports
// reach the controller.
#include "ControllerRig.h"

#include <QGuiApplication>
#include <QPointer>
#include <QQuickItem>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_ShellPlugin)

using namespace tavrenhold;
using namespace tavrenhold::test;

class HostedViewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { isolateUserFolders(); }

    void rootViewOverTheModelReportsHover()
    {
        ControllerRig rig;
        rig.shell.addAllPanes();
        NotchController::Environment environment = rig.environment();
        environment.makeRootView = [&rig](NotchPanel &panel, NotchShellModel &model, NotchHitBox &hitBox,
                                          NotchPanel::HoverHandler hover) {
            return NotchPanel::makeRootView(panel, model, hitBox, *rig.shell.settings, std::move(hover));
        };
        std::vector<NotchPane *> panes;
        for (const auto &pane : rig.shell.panes)
            panes.push_back(pane.get());
        rig.controller = std::make_unique<NotchController>(panes, environment);
        rig.controller->start();

        QQuickItem *root = rig.panel().rootView();
        QVERIFY(root);
        QCOMPARE(root->parentItem(), rig.panel().contentItem());
        QCOMPARE(root->size(), QSizeF(760, 412)); // fills the panel
        QCOMPARE(root->property("model").value<QObject *>(), rig.controller->model());
        QVERIFY(rig.panel().dragCatcher() == nullptr); // no Drop pane object among the panes

        // The pointer left the surface for the top edge without a report: the view's hover report
        // samples it.
        rig.pointer.state.position = QPointF(ControllerRig::centreX, 0);
        QVERIFY(QMetaObject::invokeMethod(root, "hoverChange", Q_ARG(bool, false)));
        QCOMPARE(rig.phase(), NotchPhase::expanded);
    }

    // Once the panel has closed, what the open panel's views took is handed back; opening again makes
    // those views anew, over the same model.
    void openPanelComesBackAfterClosing()
    {
        ControllerRig rig;
        rig.shell.addAllPanes();
        NotchController::Environment environment = rig.environment();
        environment.makeRootView = [&rig](NotchPanel &panel, NotchShellModel &model, NotchHitBox &hitBox,
                                          NotchPanel::HoverHandler hover) {
            return NotchPanel::makeRootView(panel, model, hitBox, *rig.shell.settings, std::move(hover));
        };
        std::vector<NotchPane *> panes;
        for (const auto &pane : rig.shell.panes)
            panes.push_back(pane.get());
        rig.controller = std::make_unique<NotchController>(panes, environment);
        rig.controller->start();
        NotchShellModel *model = rig.controller->model();
        auto *layer = rig.panel().rootView()->findChild<QQuickItem *>(QStringLiteral("expandedLayer"));
        QVERIFY(layer);
        const auto openView = [layer] { return layer->property("item").value<QQuickItem *>(); };
        // Through the item tree: items made by a Repeater have no object parent.
        const std::function<QQuickItem *(QQuickItem *, const QString &)> find = [&find](QQuickItem *item,
                                                                                          const QString &name) {
            if (!item || item->objectName() == name)
                return item;
            for (QQuickItem *child : item->childItems()) {
                if (QQuickItem *found = find(child, name))
                    return found;
            }
            return static_cast<QQuickItem *>(nullptr);
        };

        for (const QString &pane : {QStringLiteral("notes"), QStringLiteral("drop")}) {
            model->setPhase(NotchPhase::expanded);
            QTRY_VERIFY_WITH_TIMEOUT(openView() != nullptr, 5000);
            model->land(pane);
            QPointer<QQuickItem> shown = openView();
            QVERIFY(find(shown, QStringLiteral("paneSlot_") + pane));

            model->setPhase(NotchPhase::idle);
            QTRY_VERIFY_WITH_TIMEOUT(shown.isNull(), 5000);
            QVERIFY(!layer->property("active").toBool());
            QCoreApplication::processEvents();
        }
        model->setPhase(NotchPhase::expanded);
        QTRY_VERIFY_WITH_TIMEOUT(openView() != nullptr, 5000);
        QCOMPARE(model->landedName(), QStringLiteral("drop"));
        QVERIFY(find(openView(), QStringLiteral("pill_drop")));
        QVERIFY(find(openView(), QStringLiteral("paneHost")));
    }
};

QTEST_MAIN(HostedViewTest)
#include "tst_hostedview.moc"
