// labels: qml
#include "design/NotchPane.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)

// The design module is importable from QML with its C++ types.
class QmlModuleTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void paneIdsReachQml()
    {
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData("import QtQml\nimport Tavrenhold.Design\nQtObject { property int pane: Panes.music }", QUrl());
        std::unique_ptr<QObject> object(component.create());
        QVERIFY2(object, qPrintable(component.errorString()));
        QCOMPARE(object->property("pane").toInt(), int(tavrenhold::PaneID::music));
    }
};

QTEST_MAIN(QmlModuleTest)
#include "tst_qmlmodule.moc"
