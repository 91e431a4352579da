// labels: qml
#include "ShellFixture.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_ShellPlugin)

using namespace tavrenhold;
using namespace tavrenhold::test;

// What the notch views read and call, as QML sees it.
class ShellQmlTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { isolateUserFolders(); }

    void viewsReadTheModel()
    {
        ShellEnv env(QJsonObject{{NotchShellModel::focusedPaneKey, "notes"}});
        env.addAllPanes(150);
        IdleSignal notes;
        notes.identity = IdleGlyph{QStringLiteral("pencil.and.scribble")};
        env.paneNamed("notes")->setIdle(notes);
        auto model = env.make();

        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData(R"(
            import QtQml
            import Tavrenhold.Shell
            QtObject {
                required property NotchShellModel shell
                property bool open: shell.phase === NotchPhase.NotchPhase.expanded && shell.expanded
                property string glyph: shell.hasIdentity ? shell.identity.symbol : ""
                property real notesHeight: shell.contentHeights["notes"]
                property int pills: shell.pills.length
                function landOn(name) { shell.land(name); return shell.landedIndex }
            })", QUrl());
        std::unique_ptr<QObject> view(
            component.createWithInitialProperties({{"shell", QVariant::fromValue<QObject *>(model.get())}}));
        QVERIFY2(view, qPrintable(component.errorString()));

        QCOMPARE(view->property("glyph").toString(), QStringLiteral("pencil.and.scribble"));
        QCOMPARE(view->property("notesHeight").toDouble(), 150.0);
        QCOMPARE(view->property("pills").toInt(), 6);
        QCOMPARE(view->property("open").toBool(), false);
        model->setPhase(NotchPhase::expanded);
        QCOMPARE(view->property("open").toBool(), true);

        QVariant index;
        QVERIFY(QMetaObject::invokeMethod(view.get(), "landOn", Q_RETURN_ARG(QVariant, index), Q_ARG(QVariant, "drop")));
        QCOMPARE(index.toInt(), 4);
        QCOMPARE(model->landed(), PaneID::drop);
        QCOMPARE(env.log.last(), QStringLiteral("activate:drop"));
    }
};

QTEST_MAIN(ShellQmlTest)
#include "tst_shellqml.moc"
