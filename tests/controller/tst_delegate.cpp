// labels: unit
// The application's start and end: the delegate builds the panes and starts nothing, starts everything
// in order once launched, wires the settings window and the status menu to the notch, shows the
// settings on a second start, and at the end stops the notch before the status item goes.
#include "app/AppDelegate.h"
#include "app/SettingsWindowController.h"
#include "app/StatusItem.h"
#include "fakes/FakeSystemAppearance.h"
#include "fakes/ManualClock.h"
#include "focus/FocusPane.h"
#include "platform/Defaults.h"
#include "platform/Updater.h"
#include "shell/ShellFixture.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QQuickWindow>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Tavrenhold_AppPlugin)

using namespace tavrenhold;
using namespace tavrenhold::test;

namespace {
// The focus timer's own store and clock, apart from the user's.
struct FocusHome {
    QTemporaryDir dir;
    tavrenhold::platform::Defaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    tavrenhold::test::ManualClock clock;
};


QString paneList(const std::vector<NotchPane *> &panes)
{
    QStringList names;
    for (const NotchPane *pane : panes)
        names.append(rawValue(pane->id()));
    return names.join(QLatin1Char(','));
}

// Writes every call to the shared log.
class RecordingNotch final : public NotchControl {
public:
    explicit RecordingNotch(QStringList &log) : m_log(log) {}
    void start() override { m_log.append(QStringLiteral("notch:start")); }
    void stop() override { m_log.append(QStringLiteral("notch:stop")); }
    void present(std::optional<PaneID> pane) override
    {
        m_log.append(QStringLiteral("notch:present:") + (pane ? rawValue(*pane) : QStringLiteral("none")));
    }
    void relocate() override { m_log.append(QStringLiteral("notch:relocate")); }
    void syncPanePreferences() override { m_log.append(QStringLiteral("notch:syncPanes")); }
    void updateHitBox() override { m_log.append(QStringLiteral("notch:updateHitBox")); }

private:
    QStringList &m_log;
};

class RecordingUpdater final : public platform::Updater {
public:
    explicit RecordingUpdater(QStringList &log) : m_log(log) {}
    void start() override { m_log.append(QStringLiteral("updater:start")); }
    bool isStarted() const override { return true; }
    void checkForUpdates() override { m_log.append(QStringLiteral("updater:check")); }

private:
    QStringList &m_log;
};

// A delegate whose parts record into `log`.
struct DelegateRig {
    DelegateRig(bool withNotch = true)
    {
        AppDelegate::Parts parts;
        const auto pane = [this](const char *name) {
            return [this, name]() -> std::unique_ptr<NotchPane> {
                log.append(QStringLiteral("make:") + QLatin1String(name));
                return std::make_unique<RecordingPane>(*paneFromRaw(QString::fromLatin1(name)), paneLog);
            };
        };
        parts.makeMusic = pane("music");
        parts.makeDrop = pane("drop");
        parts.makeNotes = pane("notes");
        parts.makeFocus = [this] {
            log.append(QStringLiteral("make:focus"));
            return std::make_unique<FocusPane>(focusHome.defaults, focusHome.clock);
        };
        parts.makeClipboard = pane("clipboard");
        parts.makeUsage = pane("usage");
        parts.applyLoginDefault = [this] { log.append(QStringLiteral("login:default")); };
        parts.makeUpdater = [this] {
            log.append(QStringLiteral("updater:make"));
            return std::make_unique<RecordingUpdater>(log);
        };
        parts.makeNotch = [this, withNotch](std::vector<NotchPane *> panes) -> std::unique_ptr<NotchControl> {
            log.append(QStringLiteral("notch:make:") + paneList(panes));
            if (!withNotch)
                return nullptr;
            return std::make_unique<RecordingNotch>(log);
        };
        parts.startClipboard = [this] {
            // Everything after it comes later.
            log.append(QStringLiteral("clipboard:start") + (settings.isConfigured() ? QStringLiteral(":configured")
                                                                                     : QString())
                       + (delegate->statusItem() ? QStringLiteral(":status") : QString()));
        };
        parts.settings = &settings;
        parts.appearance = &appearance;
        delegate = std::make_unique<AppDelegate>(std::move(parts));
    }

    [[nodiscard]] QAction *action(const QString &title) const
    {
        for (QAction *a : delegate->statusItem()->menu().actions()) {
            if (a->text() == title)
                return a;
        }
        return nullptr;
    }

    FocusHome focusHome;
    QStringList log;
    QStringList paneLog;
    SettingsWindowController settings;
    FakeSystemAppearance appearance;
    std::unique_ptr<AppDelegate> delegate;
};

// The colour of the symbol's opaque pixels in the tray icon at 18 px, or an invalid colour when they
// are not all of one colour.
QColor symbolPixelColor(const QIcon &icon)
{
    const QImage image = icon.pixmap(QSize(StatusItem::imageSize, StatusItem::imageSize)).toImage();
    QColor found;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() != 255)
                continue;
            if (found.isValid() && pixel.rgb() != found.rgb())
                return {};
            found = pixel;
        }
    }
    return found;
}

} // namespace

Q_DECLARE_METATYPE(tavrenhold::platform::SystemAppearance::ColorScheme)

class DelegateTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { isolateUserFolders(); }

    void constructionBuildsThePanesAndStartsNothing()
    {
        DelegateRig rig;
        QCOMPARE(rig.log, (QStringList{"make:music", "make:drop", "make:notes", "make:focus", "make:clipboard",
                                       "make:usage"}));
        QVERIFY(!rig.delegate->notch());
        QVERIFY(!rig.delegate->statusItem());
        QVERIFY(!rig.settings.isConfigured());
        QVERIFY(rig.paneLog.isEmpty());
    }

    void launchStartsEverythingInOrder()
    {
        DelegateRig rig;
        rig.log.clear();
        rig.delegate->didFinishLaunching();
        QCOMPARE(rig.log, (QStringList{"login:default", "updater:make", "updater:start",
                                       "notch:make:usage,music,clipboard,notes,drop,focus", "notch:start",
                                       "clipboard:start"}));
        // Then the settings window's callbacks and the status item.
        QVERIFY(rig.settings.isConfigured());
        QVERIFY(rig.settings.focus());
        QCOMPARE(rig.settings.focus()->id(), PaneID::focus);
        QVERIFY(rig.delegate->statusItem());
    }

    void settingsCallbacksReachTheNotch()
    {
        DelegateRig rig;
        rig.delegate->didFinishLaunching();
        rig.log.clear();
        rig.settings.layoutChanged();
        rig.settings.panesChanged();
        QCOMPARE(rig.log, (QStringList{"notch:relocate", "notch:syncPanes", "notch:updateHitBox"}));
    }

    void statusMenu()
    {
        QCoreApplication::setApplicationVersion(QString());
        DelegateRig rig;
        rig.delegate->didFinishLaunching();
        StatusItem *item = rig.delegate->statusItem();
        QStringList titles;
        for (const QAction *a : item->menu().actions())
            titles.append(a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(titles, (QStringList{"Tavrenhold 1.0.0", "-", "Open Tavrenhold", "Check for Updates…", "-",
                                      "Settings…", "-", "Quit Tavrenhold"}));
        QVERIFY(!rig.action("Tavrenhold 1.0.0")->isEnabled());
        QCOMPARE(item->item().contextMenu(), &item->menu());
        QCOMPARE(item->item().toolTip(), QStringLiteral("Tavrenhold"));

        rig.log.clear();
        rig.action("Open Tavrenhold")->trigger();
        rig.action("Check for Updates…")->trigger();
        QCOMPARE(rig.log, (QStringList{"notch:present:none", "updater:check"}));

        rig.action("Settings…")->trigger();
        QVERIFY(rig.settings.window());
        QVERIFY(rig.settings.window()->isVisible());
        QCOMPARE(rig.settings.window()->title(), QStringLiteral("Tavrenhold Settings"));
    }

    void versionAndImage()
    {
        QCOMPARE(StatusItem::versionTitle(QStringLiteral("2.3.4")), QStringLiteral("Tavrenhold 2.3.4"));
        QCOMPARE(StatusItem::versionTitle(QString()), QStringLiteral("Tavrenhold 1.0.0"));
        // No application icon is built in: the symbol stands for the program, as a template image.
        QVERIFY(StatusItem::menuBarImageSource().endsWith(QStringLiteral("/rectangle.topthird.inset.filled.svg")));
        const QIcon icon = StatusItem::menuBarImage();
        QVERIFY(!icon.isNull());
        QVERIFY(icon.isMask());
        QVERIFY(icon.availableSizes().contains(QSize(18, 18)));
    }

    // A left click (the tray reports Trigger) pops the status menu up; on a right click the tray shows
    // it itself, and other clicks do nothing.
    void clickOnTheStatusItem_data()
    {
        QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
        QTest::addColumn<bool>("opens");
        QTest::newRow("left click") << QSystemTrayIcon::Trigger << true;
        QTest::newRow("right click") << QSystemTrayIcon::Context << false;
        QTest::newRow("double click") << QSystemTrayIcon::DoubleClick << false;
        QTest::newRow("middle click") << QSystemTrayIcon::MiddleClick << false;
    }
    void clickOnTheStatusItem()
    {
        QFETCH(QSystemTrayIcon::ActivationReason, reason);
        QFETCH(bool, opens);
        DelegateRig rig;
        rig.delegate->didFinishLaunching();
        StatusItem *item = rig.delegate->statusItem();
        QVERIFY(!item->menu().isVisible());
        Q_EMIT item->item().activated(reason);
        QCOMPARE(item->menu().isVisible(), opens);
        if (opens) {
            // The menu it opened is the status menu itself: its entries act as from a right click.
            rig.log.clear();
            rig.action("Open Tavrenhold")->trigger();
            QCOMPARE(rig.log, QStringList{"notch:present:none"});
            Q_EMIT item->item().activated(reason); // a second click while it is open leaves it open
            QVERIFY(item->menu().isVisible());
            item->menu().hide();
        }
    }

    // The symbol is drawn to suit the panel: white on a dark one and when the desktop states no scheme,
    // near-black on a light one; it follows the desktop's changes.
    void symbolSuitsThePanelsScheme_data()
    {
        QTest::addColumn<platform::SystemAppearance::ColorScheme>("scheme");
        QTest::addColumn<QColor>("color");
        using Scheme = platform::SystemAppearance::ColorScheme;
        QTest::newRow("dark") << Scheme::dark << QColor(Qt::white);
        QTest::newRow("light") << Scheme::light << QColor(0x1d, 0x1d, 0x1f);
        QTest::newRow("not stated") << Scheme::noPreference << QColor(Qt::white);
    }
    void symbolSuitsThePanelsScheme()
    {
        QFETCH(platform::SystemAppearance::ColorScheme, scheme);
        QFETCH(QColor, color);
        QCOMPARE(StatusItem::symbolColor(scheme), color);

        DelegateRig rig;
        rig.appearance.setColorScheme(scheme);
        rig.delegate->didFinishLaunching();
        StatusItem *item = rig.delegate->statusItem();
        QCOMPARE(symbolPixelColor(item->item().icon()), color);
        QVERIFY(item->item().icon().isMask());

        // The desktop switches to the other scheme, and back.
        using Scheme = platform::SystemAppearance::ColorScheme;
        const Scheme other = scheme == Scheme::light ? Scheme::dark : Scheme::light;
        rig.appearance.setColorScheme(other);
        QCOMPARE(symbolPixelColor(item->item().icon()), StatusItem::symbolColor(other));
        rig.appearance.setColorScheme(scheme);
        QCOMPARE(symbolPixelColor(item->item().icon()), color);
    }

    // Without a desktop appearance to follow, the symbol is white.
    void symbolWithoutAppearanceIsWhite()
    {
        StatusItem item(nullptr, nullptr, nullptr);
        QCOMPARE(symbolPixelColor(item.item().icon()), QColor(Qt::white));
    }

    void terminationStopsTheNotchThenDropsTheStatusItem()
    {
        DelegateRig rig;
        rig.delegate->didFinishLaunching();
        QPointer<QSystemTrayIcon> tray(&rig.delegate->statusItem()->item());
        rig.log.clear();
        rig.delegate->willTerminate();
        QCOMPARE(rig.log, QStringList{"notch:stop"});
        QVERIFY(!rig.delegate->statusItem());
        QVERIFY(tray.isNull());
        // A callback arriving afterwards finds the stopped controller, and nothing breaks.
        rig.settings.layoutChanged();
    }

    void terminationWithoutNotchStillDropsTheStatusItem()
    {
        DelegateRig rig(false);
        rig.delegate->didFinishLaunching();
        QVERIFY(rig.delegate->statusItem());
        rig.delegate->willTerminate();
        QVERIFY(!rig.delegate->statusItem());
        // Opening from the menu then does nothing.
        rig.settings.layoutChanged();
        QVERIFY(!rig.log.contains(QStringLiteral("notch:relocate")));
    }

    void reopenShowsTheSettingsNotTheNotch()
    {
        DelegateRig rig;
        rig.delegate->didFinishLaunching();
        rig.log.clear();
        rig.delegate->reopen();
        QVERIFY(rig.settings.window() && rig.settings.window()->isVisible());
        QVERIFY(rig.log.isEmpty());
    }

    void settingsWindowOnlyOnceConfigured()
    {
        SettingsWindowController settings;
        settings.show();
        QVERIFY(!settings.window());
        int layouts = 0;
        FocusHome home;
        FocusPane focus(home.defaults, home.clock);
        settings.configure(&focus, [&] { ++layouts; }, nullptr);
        settings.show();
        QPointer<QQuickWindow> window = settings.window();
        QVERIFY(window && window->isVisible());
        window->close();
        settings.show();
        QCOMPARE(settings.window(), window.data()); // the same window again
        QVERIFY(window->isVisible());
        settings.layoutChanged();
        settings.panesChanged(); // no callback given: nothing
        QCOMPARE(layouts, 1);
    }
};

QTEST_MAIN(DelegateTest)
#include "tst_delegate.moc"
