// labels: qml
// The output picker: the rows it lists and marks, what a click on a row or on "Sound Settings…"
// does, receivers and sinks that come while it is open, and its views offscreen.

#include "design/QuickHarness.h"
#include "music/AirPlayDiscovery.h"
#include "music/MusicRig.h"
#include "music/OutputPickerModel.h"

#include <QCoreApplication>
#include <QFile>
#include <QQuickItem>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <memory>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_MusicPlugin)

using namespace tavrenhold;
using namespace tavrenhold::test;
using platform::SinkRecord;

namespace {

SinkRecord sink(quint32 index, const QString &name, const QString &description, const QString &bus,
                const QString &formFactor = {})
{
    SinkRecord s;
    s.index = index;
    s.name = name;
    s.description = description;
    s.deviceClass = QStringLiteral("sound");
    s.bus = bus;
    s.formFactor = formFactor;
    s.channels = 2;
    return s;
}

const std::vector<SinkRecord> twoSinks{sink(1, "speakers", "Built-in Speakers", "pci", "internal"),
                                       sink(2, "dac", "Zebra DAC", "usb")};

QStringList rows(const OutputPickerModel &model)
{
    QStringList out;
    for (int i = 0; i < model.count(); ++i) {
        const QModelIndex at = model.index(i);
        out << model.data(at, OutputPickerModel::IdRole).toString() +
                   (model.data(at, OutputPickerModel::SelectedRole).toBool() ? QStringLiteral("*") : QString());
    }
    return out;
}

} // namespace

class OutputPickerTest : public QObject {
    Q_OBJECT

    StepDriver m_driver;

    static QQuickItem *findIn(QQuickItem *item, const QString &name)
    {
        if (item->objectName() == name)
            return item;
        for (QQuickItem *child : item->childItems()) {
            if (QQuickItem *found = findIn(child, name))
                return found;
        }
        return nullptr;
    }

private Q_SLOTS:
    void initTestCase() { m_driver.install(); }

    void opensOnTheDefaultOutput()
    {
        MusicRig rig;
        rig.audio.setSinks(twoSinks, QStringLiteral("speakers"));
        OutputPickerModel picker;
        picker.setPane(&rig.pane);
        picker.toggle();
        QVERIFY(picker.showing());
        QCOMPARE(picker.selectedIDText(), QStringLiteral("ca-1"));
        QCOMPARE(rows(picker), (QStringList{"ca-1*", "ca-2"}));
        QVERIFY(rig.discovery.running());
        picker.toggle();
        QVERIFY(!picker.showing());
        // Hiding the pane closes it.
        rig.pane.activate();
        picker.toggle();
        QVERIFY(picker.showing());
        rig.pane.deactivate();
        QVERIFY(!picker.showing());
    }

    // A receiver found, and a sink added, while the list is open join it without closing it;
    // a sink that goes (or a restarted server's new numbering) replaces the rows.
    void followsReceiversAndSinksWhileOpen()
    {
        MusicRig rig;
        rig.audio.setSinks(twoSinks, QStringLiteral("speakers"));
        OutputPickerModel picker;
        picker.setPane(&rig.pane);
        picker.toggle();
        rig.discovery.considerAdding(QStringLiteral("Kitchen"));
        QCOMPARE(rows(picker), (QStringList{"ca-1*", "ca-2", "ap-Kitchen"}));
        rig.audio.setSinks({twoSinks[0], twoSinks[1], sink(3, "tv", "Den TV", "pci", "tv")}, QStringLiteral("speakers"));
        QCOMPARE(rows(picker), (QStringList{"ca-1*", "ca-3", "ca-2", "ap-Kitchen"}));
        // A restarted server: the DAC now wears index 0.
        rig.audio.setSinks({sink(0, "dac", "Zebra DAC", "usb"), sink(1, "speakers", "Built-in Speakers", "pci", "internal")},
                           QStringLiteral("speakers"));
        QCOMPARE(rows(picker), (QStringList{"ca-1*", "ca-0", "ap-Kitchen"}));
        QVERIFY(picker.showing());
    }

    // Receivers arriving in a flood within one turn of the event loop: the list is told of them
    // at most twice, keeps a bounded number, and the open picker inserts the new rows and removes
    // the gone ones without listing everything again.
    void floodOfReceiversInOneTurn()
    {
        MusicRig rig;
        rig.audio.setSinks(twoSinks, QStringLiteral("speakers"));
        OutputPickerModel picker;
        picker.setPane(&rig.pane);
        picker.toggle();
        QCoreApplication::processEvents();
        int told = 0, resets = 0, inserted = 0, removed = 0, changedRows = 0;
        connect(&rig.discovery, &AirPlayDiscovery::namesChanged, &picker, [&] { ++told; });
        connect(&picker, &QAbstractItemModel::modelReset, &picker, [&] { ++resets; });
        connect(&picker, &QAbstractItemModel::rowsInserted, &picker,
                [&](const QModelIndex &, int first, int last) { inserted += last - first + 1; });
        connect(&picker, &QAbstractItemModel::rowsRemoved, &picker,
                [&](const QModelIndex &, int first, int last) { removed += last - first + 1; });
        connect(&picker, &QAbstractItemModel::dataChanged, &picker, [&] { ++changedRows; });

        for (int i = 0; i < 20000; ++i)
            rig.discovery.considerAdding(QStringLiteral("Receiver %1").arg(i, 5, 10, QLatin1Char('0')));
        QCoreApplication::processEvents();
        const int kept = AirPlayDiscovery::maxReceivers;
        QCOMPARE(rig.discovery.names().size(), kept);
        QCOMPARE(rig.discovery.names().first(), QStringLiteral("Receiver 00000"));
        QCOMPARE(rig.discovery.names().last(), QStringLiteral("Receiver %1").arg(kept - 1, 5, 10, QLatin1Char('0')));
        QTRY_COMPARE(picker.count(), 2 + kept);
        QVERIFY2(told <= 2, qPrintable(QString::number(told)));
        QCOMPARE(inserted, kept);
        QCOMPARE(resets, 0);

        // One receiver goes, another takes its room: one row out, one row in, nothing else.
        inserted = 0;
        rig.discovery.considerRemoving(QStringLiteral("Receiver 00007"));
        QCoreApplication::processEvents();
        rig.discovery.considerAdding(QStringLiteral("Receiver 99999"));
        QTRY_COMPARE(inserted, 1);
        QCOMPARE(removed, 1);
        QCOMPARE(changedRows, 0);
        QCOMPARE(resets, 0);
        QCOMPARE(rows(picker).at(2 + 7), QStringLiteral("ap-Receiver 00008"));
        QCOMPARE(rows(picker).last(), QStringLiteral("ap-Receiver 99999"));
        QVERIFY(picker.showing());
    }

    void choosingARow_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("defaultAfter");
        QTest::newRow("a device") << "ca-2" << QStringList{"choose:dac"} << "dac";
        QTest::newRow("a receiver with a RAOP sink") << "ap-Kitchen" << QStringList{"choose:raop.kitchen"}
                                                     << "raop.kitchen";
        // Marked and closed even though nothing could switch to it.
        QTest::newRow("a receiver nothing can reach") << "ap-Attic" << QStringList() << "speakers";
    }
    void choosingARow()
    {
        QFETCH(QString, id);
        QFETCH(QStringList, calls);
        QFETCH(QString, defaultAfter);
        MusicRig rig;
        std::vector<SinkRecord> sinks = twoSinks;
        sinks.push_back(sink(3, "raop.kitchen", "Kitchen HomePod", {}));
        rig.audio.setSinks(sinks, QStringLiteral("speakers"));
        rig.discovery.considerAdding(QStringLiteral("Kitchen"));
        rig.discovery.considerAdding(QStringLiteral("Attic"));
        OutputPickerModel picker;
        picker.setPane(&rig.pane);
        picker.toggle();
        int row = -1;
        for (int i = 0; i < picker.count(); ++i) {
            if (picker.endpoints()[size_t(i)].id == id)
                row = i;
        }
        QVERIFY(row >= 0);
        picker.choose(row);
        QCOMPARE(rig.audio.calls, calls);
        QCOMPARE(rig.audio.defaultSinkName(), defaultAfter);
        QCOMPARE(picker.selectedIDText(), id);
        QVERIFY(!picker.showing());
        QVERIFY(rows(picker).contains(id + QLatin1Char('*')));
        // The next opening marks whatever the server's default now is.
        picker.toggle();
        const QString expected = defaultAfter == QLatin1String("raop.kitchen") ? QStringLiteral("ap-Kitchen HomePod")
                                 : defaultAfter == QLatin1String("dac")        ? QStringLiteral("ca-2")
                                                                               : QStringLiteral("ca-1");
        QCOMPARE(picker.selectedIDText(), expected);
    }

    // Opened while there is no default output: a device row is marked when it is the default at
    // the time the rows are read; a receiver row never is.
    void noDefaultWhenOpened()
    {
        MusicRig rig;
        rig.audio.setSinks(twoSinks, QString());
        rig.discovery.considerAdding(QStringLiteral("Kitchen"));
        OutputPickerModel picker;
        picker.setPane(&rig.pane);
        picker.toggle();
        QVERIFY(!picker.selectedID());
        QCOMPARE(rows(picker), (QStringList{"ca-1", "ca-2", "ap-Kitchen"}));
        rig.audio.setSinks(twoSinks, QStringLiteral("dac"));
        QCOMPARE(rows(picker), (QStringList{"ca-1", "ca-2*", "ap-Kitchen"}));
    }

    // The popover drawn offscreen: header, one marked row with a white icon on the accent, the
    // divider and "Sound Settings…"; a click on a row closes it; the settings row starts the
    // desktop's sound settings (a pavucontrol stand-in first on PATH).
    void popoverViews()
    {
        QTemporaryDir bin;
        QVERIFY(bin.isValid());
        const QString marker = bin.filePath(QStringLiteral("ran"));
        {
            QFile script(bin.filePath(QStringLiteral("pavucontrol")));
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write(QStringLiteral("#!/bin/sh\necho started > '%1'\n").arg(marker).toUtf8());
            script.close();
            script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        }
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8());

        MusicRig rig;
        rig.audio.setSinks({twoSinks[0]}, QStringLiteral("speakers"));
        QuickHarness quick;
        quick.appearance.setReduceMotion(true);
        QVERIFY(quick.load("import Tavrenhold.Music\nItem { AirPlayOutputButton { objectName: \"button\"; x: 300; y: 12 } }",
                           {640, 420}));
        QQuickItem *button = findIn(quick.item(), QStringLiteral("button"));
        QVERIFY(button);
        button->setProperty("pane", QVariant::fromValue(&rig.pane));
        auto *picker = button->property("model").value<OutputPickerModel *>();
        QVERIFY(picker);
        QVERIFY(rig.discovery.running()); // started when the button came on screen

        const QPoint centre = button->mapToScene({14, 14}).toPoint();
        QTest::mouseClick(&quick.window(), Qt::LeftButton, {}, centre);
        QTRY_VERIFY(picker->showing());
        QTRY_VERIFY(button->property("popover").value<QObject *>());
        auto *popup = button->property("popover").value<QObject *>();
        QTRY_VERIFY(popup->property("opened").toBool());
        QCOMPARE(popup->property("width").toDouble(), 240.0);
        QQuickItem *overlay = quick.window().contentItem();
        QQuickItem *row = nullptr;
        QTRY_VERIFY((row = findIn(overlay, QStringLiteral("pickerRow_ca-1"))) != nullptr);
        QCOMPARE(findIn(overlay, QStringLiteral("pickerHeader"))->property("text").toString(), QStringLiteral("Output"));
        QVERIFY(findIn(overlay, QStringLiteral("pickerDivider")));
        QCOMPARE(findIn(overlay, QStringLiteral("settingsLabel"))->property("text").toString(),
                 QStringLiteral("Sound Settings…"));
        QQuickItem *symbol = findIn(row, QStringLiteral("rowSymbol"));
        QCOMPARE(symbol->property("name").toString(), QStringLiteral("laptopcomputer"));
        QCOMPARE(symbol->property("color").value<QColor>(), QColor(Qt::white));
        QCOMPARE(findIn(row, QStringLiteral("rowCircle"))->property("color").value<QColor>(),
                 row->property("accent").value<QColor>());
        // Inside the window, under the button.
        const QPointF topLeft = popup->property("y").toDouble() > 0
                                    ? QPointF(popup->property("x").toDouble(), popup->property("y").toDouble())
                                    : QPointF();
        QVERIFY(topLeft.y() >= 40);
        QVERIFY(topLeft.x() >= 0 && topLeft.x() + 240 <= 640);
        // The pane carries the open popover's rectangle to the shell.
        QTRY_COMPARE(rig.pane.popoverRect(),
                     QRectF(topLeft, QSizeF(240, popup->property("height").toDouble())));

        // A sink loaded while it is open appears in it.
        rig.audio.setSinks(twoSinks, QStringLiteral("speakers"));
        QTRY_VERIFY(findIn(overlay, QStringLiteral("pickerRow_ca-2")) != nullptr);
        QVERIFY(picker->showing());

        QQuickItem *dac = findIn(overlay, QStringLiteral("pickerRow_ca-2"));
        QTest::mouseClick(&quick.window(), Qt::LeftButton, {}, dac->mapToScene({dac->width() / 2, dac->height() / 2}).toPoint());
        QTRY_VERIFY(!picker->showing());
        QCOMPARE(rig.audio.calls, QStringList{"choose:dac"});
        QTRY_VERIFY(!popup->property("visible").toBool());
        QTRY_COMPARE(rig.pane.popoverRect(), QRectF());

        QTest::mouseClick(&quick.window(), Qt::LeftButton, {}, centre);
        QTRY_VERIFY(popup->property("opened").toBool());
        QQuickItem *settings = findIn(overlay, QStringLiteral("pickerSettings"));
        QVERIFY(settings);
        QTest::mouseClick(&quick.window(), Qt::LeftButton, {},
                          settings->mapToScene({settings->width() / 2, 8}).toPoint());
        QTRY_VERIFY(!picker->showing());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);

        // A click outside closes it and tells the model; so does a second click on the button.
        QTest::mouseClick(&quick.window(), Qt::LeftButton, {}, centre);
        QTRY_VERIFY(popup->property("opened").toBool());
        QTest::mouseClick(&quick.window(), Qt::LeftButton, {}, QPoint(20, 400));
        QTRY_VERIFY(!picker->showing());
        QTRY_VERIFY(!popup->property("visible").toBool());
        QTest::mouseClick(&quick.window(), Qt::LeftButton, {}, centre);
        QTRY_VERIFY(popup->property("opened").toBool());
        QTest::mouseClick(&quick.window(), Qt::LeftButton, {}, centre);
        QTRY_VERIFY(!popup->property("visible").toBool());
        QCoreApplication::processEvents();
        QVERIFY(!picker->showing());
        qputenv("PATH", oldPath);
    }

    // In the Music pane, the popover lies inside the notch (the pane's width, from the window's top
    // down to the pane's bottom edge), not below it in the rest of the window: the pointer on any
    // row is over the notch, also once choosing that row has closed the popover. The lowest row
    // that shows can be chosen.
    void popoverStaysOverThePane_data()
    {
        QTest::addColumn<int>("sinks");
        QTest::addColumn<QStringList>("receivers");
        QTest::newRow("one output") << 1 << QStringList();
        QTest::newRow("outputs and receivers") << 2 << QStringList{"Attic", "Kitchen"};
        QTest::newRow("more than fit") << 8 << QStringList{"Kitchen"};
    }
    void popoverStaysOverThePane()
    {
        QFETCH(int, sinks);
        QFETCH(QStringList, receivers);
        MusicRig rig;
        std::vector<SinkRecord> records;
        for (int i = 0; i < sinks; ++i)
            records.push_back(i == 0 ? twoSinks[0] : sink(quint32(i + 1), QStringLiteral("s%1").arg(i), QStringLiteral("Output %1").arg(i), "usb"));
        rig.audio.setSinks(records, QStringLiteral("speakers"));
        for (const QString &name : receivers)
            rig.discovery.considerAdding(name);
        QuickHarness quick;
        quick.appearance.setReduceMotion(true);
        // The pane where the open notch puts it, in a window with room below the notch.
        QVERIFY(quick.load("import Tavrenhold.Music\nItem { MusicPaneContent { objectName: \"content\"; x: 60; y: 94;"
                           " width: 520; height: 156 } }",
                           {640, 480}));
        QQuickItem *content = findIn(quick.item(), QStringLiteral("content"));
        QVERIFY(content);
        content->setProperty("pane", QVariant::fromValue(&rig.pane));
        const QRectF paneRect = content->mapRectToScene(QRectF(0, 0, content->width(), content->height()));
        const QRectF notch(paneRect.x(), 0, paneRect.width(), paneRect.bottom());
        QQuickItem *button = findIn(content, QStringLiteral("musicOutputButton"));
        QVERIFY(button);
        QTest::mouseClick(&quick.window(), Qt::LeftButton, {}, button->mapToScene({14, 14}).toPoint());
        QTRY_VERIFY(button->property("popover").value<QObject *>());
        auto *popup = button->property("popover").value<QObject *>();
        QTRY_VERIFY(popup->property("opened").toBool());
        const QRectF shown(popup->property("x").toDouble(), popup->property("y").toDouble(),
                           popup->property("width").toDouble(), popup->property("height").toDouble());
        QVERIFY2(notch.contains(shown), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(shown.x()).arg(shown.y())
                                                      .arg(shown.width()).arg(shown.height())));
        QTRY_COMPARE(rig.pane.popoverRect(), shown);

        QQuickItem *overlay = quick.window().contentItem();
        QQuickItem *list = findIn(overlay, QStringLiteral("pickerRows"));
        QVERIFY(list);
        const QRectF listRect = list->mapRectToScene(QRectF(0, 0, list->width(), list->height()));
        QQuickItem *lowest = nullptr;
        QString lowestID;
        for (const AudioOutputEndpoint &endpoint : button->property("model").value<OutputPickerModel *>()->endpoints()) {
            QQuickItem *row = findIn(overlay, QStringLiteral("pickerRow_") + endpoint.id);
            if (!row)
                continue;
            const QRectF r = row->mapRectToScene(QRectF(0, 0, row->width(), row->height()));
            if (listRect.contains(r) && (!lowest || r.y() > lowest->mapToScene({0, 0}).y())) {
                lowest = row;
                lowestID = endpoint.id;
            }
        }
        QVERIFY(lowest);
        const QPointF point = lowest->mapToScene({lowest->width() / 2, lowest->height() / 2});
        QVERIFY(notch.contains(point));
        QTest::mouseClick(&quick.window(), Qt::LeftButton, {}, point.toPoint());
        QTRY_VERIFY(!popup->property("visible").toBool());
        auto *picker = button->property("model").value<OutputPickerModel *>();
        QCOMPARE(picker->selectedIDText(), lowestID);
        QVERIFY(!picker->showing());
        QTRY_COMPARE(rig.pane.popoverRect(), QRectF());
    }

    // Too many rows for the window: the popover stays inside it and its rows scroll.
    void rowsScrollWhenTheyDoNotFit()
    {
        MusicRig rig;
        std::vector<SinkRecord> sinks;
        for (quint32 i = 0; i < 12; ++i)
            sinks.push_back(sink(i, QStringLiteral("s%1").arg(i), QStringLiteral("Output %1").arg(i, 2, 10, QLatin1Char('0')), "usb"));
        rig.audio.setSinks(sinks, QStringLiteral("s0"));
        QuickHarness quick;
        quick.appearance.setReduceMotion(true);
        QVERIFY(quick.load("import Tavrenhold.Music\nItem { AirPlayOutputButton { objectName: \"button\"; x: 300; y: 12 } }",
                           {640, 312}));
        QQuickItem *button = findIn(quick.item(), QStringLiteral("button"));
        button->setProperty("pane", QVariant::fromValue(&rig.pane));
        QTest::mouseClick(&quick.window(), Qt::LeftButton, {}, button->mapToScene({14, 14}).toPoint());
        QTRY_VERIFY(button->property("popover").value<QObject *>());
        auto *popup = button->property("popover").value<QObject *>();
        QTRY_VERIFY(popup->property("opened").toBool());
        const double bottom = popup->property("y").toDouble() + popup->property("height").toDouble();
        QVERIFY2(bottom <= 312, qPrintable(QString::number(bottom)));
        QQuickItem *list = findIn(quick.window().contentItem(), QStringLiteral("pickerRows"));
        QVERIFY(list);
        QVERIFY(list->property("interactive").toBool());
        QVERIFY(list->property("contentHeight").toDouble() > list->height());
    }
};

QTEST_MAIN(OutputPickerTest)
#include "tst_outputpicker.moc"
