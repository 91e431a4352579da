// labels: qml settings
// The settings window as the controller makes it, over a store, a timer and a login service of
// the test's own, driven by clicks on its controls: what each control stores, how often the shell
// is told, and what is shown for each state.
#include "StoreRig.h"

#include "app/LoginItem.h"
#include "app/NotchSettings.h"
#include "app/PanePreferences.h"
#include "app/PanesSettings.h"
#include "app/SettingsWindowController.h"
#include "design/Appearance.h"
#include "fakes/FakeLoginService.h"
#include "fakes/FakeSystemAppearance.h"
#include "fakes/ManualClock.h"
#include "fakes/QuickItems.h"
#include "focus/FocusPane.h"
#include "platform/Defaults.h"
#include "platform/InstallLayout.h"
#include "platform/LoginService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <memory>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_AppPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_FocusPlugin)

using namespace tavrenhold;
using tavrenhold::test::clickCentre;
using tavrenhold::test::findItem;
using platform::LoginStatus;

Q_DECLARE_METATYPE(tavrenhold::platform::LoginStatus)

namespace {
struct WindowRig {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("defaults.json"));
    std::unique_ptr<platform::Defaults> defaults;
    test::ManualClock clock;
    test::FakeSystemAppearance desktop;
    test::FakeLoginService loginService;
    std::unique_ptr<NotchSettings> settings;
    std::unique_ptr<Appearance> appearance;
    std::unique_ptr<PanePreferences> panes;
    std::unique_ptr<LoginItem> login;
    std::unique_ptr<FocusPane> focus;
    test::StoreRig usage;
    std::unique_ptr<SettingsWindowController> controller;
    int layoutCalls = 0;
    int panesCalls = 0;

    explicit WindowRig(const QJsonObject &stored = {}, LoginStatus status = LoginStatus::notRegistered,
                       platform::LoginService *realLogin = nullptr)
    {
        if (!stored.isEmpty()) {
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            file.write(QJsonDocument(stored).toJson());
        }
        loginService.currentStatus = status;
        defaults = std::make_unique<platform::Defaults>(path);
        settings = std::make_unique<NotchSettings>(*defaults);
        appearance = std::make_unique<Appearance>(*defaults, desktop);
        panes = std::make_unique<PanePreferences>(*defaults);
        login = std::make_unique<LoginItem>(realLogin ? *realLogin : loginService);
        focus = std::make_unique<FocusPane>(*defaults, clock);
        controller = std::make_unique<SettingsWindowController>();
        controller->setModels({{settings.get(), appearance.get(), nullptr, login.get(), defaults.get()}, panes.get(),
                               &usage.makeSettled()});
        controller->configure(focus.get(), [this] { ++layoutCalls; }, [this] { ++panesCalls; });
        controller->show();
    }
    ~WindowRig() { controller.reset(); }

    [[nodiscard]] QQuickWindow *window() const { return controller->window(); }
    [[nodiscard]] QByteArray file() const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    [[nodiscard]] QJsonObject stored() const { return QJsonDocument::fromJson(file()).object(); }
    template <typename T = QQuickItem>
    [[nodiscard]] T *item(const QString &name) const
    {
        return qobject_cast<T *>(findItem(window()->contentItem(), name));
    }
    void click(QQuickItem *target) const
    {
        clickCentre(window(), target);
    }
    void openTab(const QString &symbol) const { click(item(QStringLiteral("tab.") + symbol)); }
    // Scrolls the General tab so that `target` is in view.
    void reveal(QQuickItem *target) const { test::reveal(item(QStringLiteral("generalScroll")), target); }
    // Opens a picker and clicks its option `index`, as a user does.
    void pick(const QString &picker, int index) const
    {
        auto *combo = item(QStringLiteral("picker.") + picker);
        QVERIFY2(combo, qPrintable(picker));
        reveal(combo);
        click(combo);
        auto *popup = combo->property("popup").value<QObject *>();
        QVERIFY(popup);
        QTRY_VERIFY(popup->property("opened").toBool());
        auto *list = popup->property("contentItem").value<QQuickItem *>();
        QVERIFY(list);
        QQuickItem *option = nullptr;
        QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, option), Q_ARG(int, index));
        QVERIFY2(option, qPrintable(QStringLiteral("%1 option %2").arg(picker).arg(index)));
        click(option);
        QTRY_VERIFY(!popup->property("visible").toBool());
    }
    void toggle(const QString &name) const
    {
        auto *target = item(name);
        reveal(target);
        click(target);
    }
    [[nodiscard]] int shownIndex(const QString &picker) const
    {
        return item(QStringLiteral("picker.") + picker)->property("currentIndex").toInt();
    }
};
} // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void windowAsMade()
    {
        WindowRig rig;
        QQuickWindow *window = rig.window();
        QVERIFY(window);
        QCOMPARE(window->title(), QStringLiteral("Tavrenhold Settings"));
        QCOMPARE(window->objectName(), QStringLiteral("Tavrenhold.SettingsWindow"));
        QCOMPARE(window->size(), QSize(520, 560));
        QCOMPARE(window->minimumSize(), QSize(480, 488));
        QVERIFY(rig.item(QStringLiteral("picker.screen"))->isVisible()); // opens on General
    }

    // Opening, switching tabs, closing and opening again write nothing and tell the shell nothing.
    void lookingChangesNothing()
    {
        WindowRig rig(QJsonObject{{QStringLiteral("notch.expandedWidth"), 560}});
        const QByteArray before = rig.file();
        rig.openTab(QStringLiteral("rectangle.split.3x1"));
        rig.openTab(QStringLiteral("gearshape"));
        rig.window()->close();
        rig.controller->show();
        QCOMPARE(rig.file(), before);
        QCOMPARE(rig.layoutCalls, 0);
        QCOMPARE(rig.panesCalls, 0);
    }

    void pickers_data()
    {
        QTest::addColumn<QString>("picker");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<int>("layoutCalls");
        QTest::newRow("screen") << "screen" << 2 << "notch.screen" << QJsonValue("cursor") << 1;
        QTest::newRow("same screen") << "screen" << 0 << "notch.screen" << QJsonValue("builtIn") << 0;
        QTest::newRow("theme") << "theme" << 2 << "style.theme" << QJsonValue("dark") << 0;
        QTest::newRow("material") << "material" << 1 << "style.material" << QJsonValue("gradient") << 0;
        QTest::newRow("expanded width") << "expandedWidth" << 4 << "notch.expandedWidth" << QJsonValue(600) << 1;
        QTest::newRow("same expanded width") << "expandedWidth" << 2 << "notch.expandedWidth" << QJsonValue(520) << 0;
        QTest::newRow("collapsed width") << "collapsedWidth" << 0 << "notch.collapsedWidth" << QJsonValue("notch") << 0;
        QTest::newRow("collapsed height") << "collapsedHeight" << 0 << "notch.collapsedHeight" << QJsonValue("notch")
                                          << 1;
        QTest::newRow("hover zone") << "hoverZone" << 4 << "notch.proximityRadius" << QJsonValue(120) << 0;
    }
    void pickers()
    {
        QFETCH(QString, picker);
        QFETCH(int, index);
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        QFETCH(int, layoutCalls);
        WindowRig rig;
        rig.pick(picker, index);
        QCOMPARE(rig.stored().value(key), value);
        QCOMPARE(rig.layoutCalls, layoutCalls);
        QCOMPARE(rig.panesCalls, 0);
        QCOMPARE(rig.shownIndex(picker), index);
    }

    void progressFollowsTheHeight()
    {
        WindowRig rig(QJsonObject{{QStringLiteral("notch.collapsedHeight"), QStringLiteral("notch")}});
        auto *progress = rig.item(QStringLiteral("showProgress"));
        QVERIFY(!progress->isEnabled());
        rig.pick(QStringLiteral("collapsedHeight"), 1);
        QVERIFY(progress->isEnabled());
        QCOMPARE(rig.layoutCalls, 1);
        rig.toggle(QStringLiteral("showProgress"));
        QCOMPARE(rig.stored().value(QStringLiteral("notch.showCollapsedProgress")), QJsonValue(false));
        QCOMPARE(rig.layoutCalls, 2);
    }

    // A stored value that is none of the options shows no choice and is left as it is.
    void unknownStoredValuesShowNoChoice()
    {
        WindowRig rig(QJsonObject{{QStringLiteral("notch.expandedWidth"), 500}});
        QCOMPARE(rig.shownIndex(QStringLiteral("expandedWidth")), -1);
        QCOMPARE(rig.stored().value(QStringLiteral("notch.expandedWidth")), QJsonValue(500));
        rig.pick(QStringLiteral("expandedWidth"), 1);
        QCOMPARE(rig.stored().value(QStringLiteral("notch.expandedWidth")), QJsonValue(480));
    }

    void startup_data()
    {
        QTest::addColumn<LoginStatus>("status");
        QTest::addColumn<bool>("approval");
        QTest::addColumn<bool>("on");
        QTest::newRow("not registered") << LoginStatus::notRegistered << false << false;
        QTest::newRow("enabled") << LoginStatus::enabled << false << true;
        QTest::newRow("requires approval") << LoginStatus::requiresApproval << true << false;
        QTest::newRow("not found") << LoginStatus::notFound << false << false;
    }
    void startup()
    {
        QFETCH(LoginStatus, status);
        QFETCH(bool, approval);
        QFETCH(bool, on);
        WindowRig rig({}, status);
        QCOMPARE(rig.item(QStringLiteral("approveLaunchAtLogin"))->isVisible(), approval);
        auto *toggle = rig.item(QStringLiteral("launchAtLogin"));
        QCOMPARE(toggle->isVisible(), !approval);
        if (approval) {
            rig.click(rig.item(QStringLiteral("approveLaunchAtLogin")));
            QCOMPARE(rig.loginService.openSettingsCalls, 1);
            return;
        }
        QCOMPARE(toggle->property("checked").toBool(), on);
        rig.toggle(QStringLiteral("launchAtLogin"));
        QCOMPARE(toggle->property("checked").toBool(), !on);
        QCOMPARE(on ? rig.loginService.unregisterCalls : rig.loginService.registerCalls, 1);
    }

    // Outside an installed prefix the registration is refused and the switch shows off again.
    void refusedRegistrationSnapsBack()
    {
        WindowRig rig;
        rig.loginService.installed = false;
        rig.toggle(QStringLiteral("launchAtLogin"));
        QCOMPARE(rig.item(QStringLiteral("launchAtLogin"))->property("checked").toBool(), false);
    }

    // The autostart entry is read again each time the window comes back: an entry switched off (or
    // on) in the folder while the window was closed shows as it is now.
    void reopenedWindowReadsTheLoginEntryAgain()
    {
        QTemporaryDir config;
        const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        const auto restore = qScopeGuard([&] { qputenv("XDG_CONFIG_HOME", savedConfig); });
        const QString program = config.filePath(QStringLiteral("prefix/bin/tavrenhold"));
        QVERIFY(QDir().mkpath(QFileInfo(program).absolutePath()));
        QVERIFY(QDir().mkpath(config.filePath(QStringLiteral("prefix/share/tavrenhold"))));
        QVERIFY(QFile::copy(QStringLiteral("/bin/true"), program));
        platform::XdgAutostartService service{platform::InstallLayout(program)};
        QVERIFY(service.registerApp().ok());
        const auto writeEntry = [&](const QByteArray &extra) {
            QFile entry(platform::XdgAutostartService::entryPath());
            QVERIFY(entry.open(QIODevice::ReadWrite));
            QByteArray text = entry.readAll();
            text.replace("Hidden=true\n", "");
            QVERIFY(entry.resize(0));
            entry.write(text + extra);
        };

        WindowRig rig({}, LoginStatus::notRegistered, &service);
        auto *toggle = rig.item(QStringLiteral("launchAtLogin"));
        auto *approve = rig.item(QStringLiteral("approveLaunchAtLogin"));
        QVERIFY(toggle->isVisible());
        QCOMPARE(toggle->property("checked").toBool(), true);

        rig.window()->close();
        writeEntry("Hidden=true\n");
        rig.controller->show();
        QVERIFY(approve->isVisible());
        QVERIFY(!toggle->isVisible());

        rig.window()->close();
        writeEntry("");
        rig.controller->show();
        QVERIFY(toggle->isVisible());
        QCOMPARE(toggle->property("checked").toBool(), true);
    }

    void focusPickersAndRounds()
    {
        WindowRig rig;
        rig.pick(QStringLiteral("focusLength"), 2); // 25, as set
        QVERIFY(!rig.stored().contains(QStringLiteral("focus.pomodoro")));
        rig.pick(QStringLiteral("focusLength"), 5);
        QCOMPARE(rig.focus->state().settings.workMinutes, 50);
        QVERIFY(rig.stored().contains(QStringLiteral("focus.pomodoro")));
        rig.pick(QStringLiteral("longBreakAfter"), 0);
        QCOMPARE(rig.focus->state().settings.roundsBeforeLong, 2);
        QCOMPARE(rig.layoutCalls, 0);

        auto *reset = rig.item(QStringLiteral("resetRounds"));
        QCOMPARE(reset->property("text").toString(), QStringLiteral("Reset Today's Rounds"));
        for (int i = 0; i < 5; ++i)
            rig.focus->skip(); // three work rounds
        QCOMPARE(reset->property("text").toString(), QStringLiteral("Reset Today's Rounds (3)"));
        rig.toggle(QStringLiteral("resetRounds"));
        QCOMPARE(reset->property("text").toString(), QStringLiteral("Reset Today's Rounds"));
    }

    void haptics()
    {
        WindowRig rig;
        auto *toggle = rig.item(QStringLiteral("haptics"));
        QVERIFY(toggle->property("checked").toBool());
        rig.toggle(QStringLiteral("haptics"));
        QCOMPARE(rig.stored().value(QStringLiteral("notch.haptics")), QJsonValue(false));
        rig.toggle(QStringLiteral("haptics"));
        QCOMPARE(rig.stored().value(QStringLiteral("notch.haptics")), QJsonValue(true));
    }

    void paneToggles()
    {
        WindowRig rig(QJsonObject{{QStringLiteral("shell.hiddenPanes"),
                                   QJsonArray{"usage", "music", "clipboard", "notes", "drop"}}});
        rig.openTab(QStringLiteral("rectangle.split.3x1"));
        // Rows are made anew when the preferences change: look them up after every action.
        const auto focusSwitch = [&] { return rig.item(QStringLiteral("paneSwitch.focus")); };
        QVERIFY(focusSwitch()->property("checked").toBool());
        QVERIFY(!focusSwitch()->isEnabled()); // the last visible pane
        rig.click(rig.item(QStringLiteral("paneSwitch.notes")));
        QCOMPARE(rig.panesCalls, 1);
        QVERIFY(focusSwitch()->isEnabled());
        QCOMPARE(rig.stored().value(QStringLiteral("shell.hiddenPanes")),
                 QJsonValue(QJsonArray{"clipboard", "drop", "music", "usage"}));
        rig.click(focusSwitch());
        QCOMPARE(rig.panesCalls, 2);
        QVERIFY(!rig.item(QStringLiteral("paneSwitch.notes"))->isEnabled());
        QCOMPARE(rig.layoutCalls, 0);
    }

    // A row dragged by its handle to another place (the table of offsets is in panesMove()).
    void dragARowByItsHandle()
    {
        WindowRig rig;
        rig.openTab(QStringLiteral("rectangle.split.3x1"));
        auto *handle = rig.item(QStringLiteral("paneHandle.usage"));
        QVERIFY(handle);
        const QPoint from = handle->mapToScene(QPointF(handle->width() / 2, handle->height() / 2)).toPoint();
        QTest::mousePress(rig.window(), Qt::LeftButton, {}, from);
        for (int dy = 4; dy <= 76; dy += 4)
            QTest::mouseMove(rig.window(), from + QPoint(0, dy));
        QTest::mouseRelease(rig.window(), Qt::LeftButton, {}, from + QPoint(0, 76));
        QTRY_COMPARE(rig.panesCalls, 1);
        QCOMPARE(rig.panes->orderNames(),
                 (QStringList{"music", "clipboard", "usage", "notes", "drop", "focus"}));
        QCOMPARE(rig.stored().value(QStringLiteral("shell.paneOrder")).toArray().first().toString(),
                 QStringLiteral("music"));
    }

    void panesMove_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("down one") << 0 << 1 << QStringList{"music", "usage", "clipboard", "notes", "drop", "focus"};
        QTest::newRow("last to top") << 5 << 0 << QStringList{"focus", "usage", "music", "clipboard", "notes", "drop"};
        QTest::newRow("top to last") << 0 << 5 << QStringList{"music", "clipboard", "notes", "drop", "focus", "usage"};
        QTest::newRow("own place") << 3 << 3 << QStringList{"usage", "music", "clipboard", "notes", "drop", "focus"};
    }
    void panesMove()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QStringList, order);
        QTemporaryDir dir;
        platform::Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
        PanePreferences preferences(defaults);
        int calls = 0;
        PanesSettings panes(preferences, [&] { ++calls; });
        panes.moveRow(from, to);
        QCOMPARE(preferences.orderNames(), order);
        QCOMPARE(calls, 1);
        // Stored even when nothing moved; read again as at the next launch.
        PanePreferences reread(defaults);
        QCOMPARE(reread.orderNames(), order);
        QVERIFY(defaults.contains(QStringLiteral("shell.hiddenPanes")));
    }
};

QTEST_MAIN(SettingsWindowTest)
#include "tst_settingswindow.moc"
