// labels: qml
#include "FakePublisher.h"
#include "music/MusicPane.h"
#include "notes/NotesPane.h"
#include "usage/UsagePane.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <memory>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_MusicPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_ClipboardPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_NotesPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_DropPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_FocusPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_UsagePlugin)

using namespace tavrenhold;

// Every pane's content view loads from its module and shows the pane's title and symbol.
class PaneViewsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void contentView_data()
    {
        QTest::addColumn<QString>("name");
        for (PaneID id : allPanes) {
            // The focus, music, clipboard, notes and drop views are tested with their panes.
            if (id != PaneID::focus && id != PaneID::music && id != PaneID::clipboard && id != PaneID::notes
                && id != PaneID::drop)
                QTest::newRow(qPrintable(rawValue(id))) << rawValue(id);
        }
    }
    void contentView()
    {
        QFETCH(QString, name);
        std::unique_ptr<NotchPane> pane;
        if (name == QLatin1String("music"))
            pane = std::make_unique<MusicPane>(new test::FakePublisher);
        else if (name == QLatin1String("notes"))
            pane = std::make_unique<NotesPane>();
        else
            pane = std::make_unique<UsagePane>();

        QQmlEngine engine;
        QQmlComponent component(&engine, pane->content());
        QVERIFY2(component.isReady(), qPrintable(component.errorString()));
        std::unique_ptr<QObject> view(component.createWithInitialProperties({{"pane", QVariant::fromValue<QObject *>(pane.get())}}));
        QVERIFY2(view, qPrintable(component.errorString()));

        auto *titleText = view->findChild<QObject *>(QStringLiteral("paneTitle"));
        QVERIFY(titleText);
        QCOMPARE(titleText->property("text").toString(), title(pane->id()));
        bool symbolShown = false;
        for (QQuickItem *item : view->findChildren<QQuickItem *>()) {
            if (item->property("source").toUrl().toString().endsWith(symbol(pane->id()) + QStringLiteral(".svg"))
                || (item->property("name").toString() == symbol(pane->id()) && item->property("valid").toBool()))
                symbolShown = true;
        }
        QVERIFY(symbolShown);
    }
};

QTEST_MAIN(PaneViewsTest)
#include "tst_paneviews.moc"
