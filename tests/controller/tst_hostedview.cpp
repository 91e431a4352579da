// labels: qml
// The panel hosts the notch views' root over the controller's model, and the view's hover reports
// reach the controller.
#include "ControllerRig.h"

#include <QGuiApplication>
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
};

QTEST_MAIN(HostedViewTest)
#include "tst_hostedview.moc"
