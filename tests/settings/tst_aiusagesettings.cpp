// labels: qml settings usage
// The AI Usage tab: its status lines and live line, and the tab itself in the settings window over
// a usage store on fakes, driven by clicks on its controls.
#include "StoreRig.h"

#include "app/AIUsageSettings.h"
#include "app/PanePreferences.h"
#include "app/SettingsWindowController.h"
#include "fakes/ManualClock.h"
#include "fakes/QuickItems.h"
#include "focus/FocusPane.h"

#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QTimeZone>
#include <QtQml/qqmlextensionplugin.h>

#include <memory>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_AppPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_FocusPlugin)

using namespace tavrenhold;
using namespace tavrenhold::test;
using Input = AIUsageSettings::StatusInput;

Q_DECLARE_METATYPE(tavrenhold::AIUsageSettings::StatusInput)

namespace {

UsageVendorWindow window()
{
    const QDateTime start(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC);
    return UsageVendorWindow{QStringLiteral("Billing period"), start, start.addDays(30)};
}

UsageReport report(const QString &plan, QList<UsageLimit> limits = {})
{
    UsageReport r;
    r.plan = plan;
    r.limits = std::move(limits);
    return r;
}

UsageLimit limit(const QString &label, int percent) { return UsageLimit{label, UsageSpan::session, percent, {}, {}}; }

// The settings window as the controller makes it, with a usage store on fakes.
struct WindowRig {
    StoreRig usage;
    QTemporaryDir dir;
    std::unique_ptr<platform::Defaults> defaults;
    ManualClock clock;
    std::unique_ptr<PanePreferences> panes;
    std::unique_ptr<FocusPane> focus;
    std::unique_ptr<SettingsWindowController> controller;

    WindowRig()
    {
        defaults = std::make_unique<platform::Defaults>(dir.filePath(QStringLiteral("defaults.json")));
        panes = std::make_unique<PanePreferences>(*defaults);
        focus = std::make_unique<FocusPane>(*defaults, clock);
    }
    void open()
    {
        if (!usage.store)
            usage.makeSettled();
        controller = std::make_unique<SettingsWindowController>();
        SettingsWindowController::Models models;
        models.general.defaults = defaults.get();
        models.panes = panes.get();
        models.usage = usage.store.get();
        controller->setModels(models);
        controller->configure(focus.get(), [] {}, [] {});
        controller->show();
        QVERIFY(controller->window());
        click(item(QStringLiteral("tab.gauge.with.dots.needle.67percent")));
    }
    ~WindowRig() { controller.reset(); }

    template <typename T = QQuickItem>
    [[nodiscard]] T *item(const QString &name) const
    {
        return qobject_cast<T *>(findItem(controller->window()->contentItem(), name));
    }
    // Scrolls the tab so that `target` is in view.
    void reveal(QQuickItem *target) const { test::reveal(item(QStringLiteral("aiUsageScroll")), target); }
    void click(QQuickItem *target) const
    {
        reveal(target);
        clickCentre(controller->window(), target);
    }
    [[nodiscard]] QString text(const QString &name) const
    {
        QQuickItem *found = item(name);
        return found ? found->property("text").toString() : QStringLiteral("<missing %1>").arg(name);
    }
};

} // namespace

class TestAIUsageSettings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void liveLine_data()
    {
        QTest::addColumn<UsageReport>("report");
        QTest::addColumn<bool>("hasWindow");
        QTest::addColumn<QString>("line");
        QTest::newRow("plan and limits") << report(QStringLiteral("Plus"), {limit("5h", 12), limit("Weekly", 40)})
                                         << true << QStringLiteral("Live · Plus · 5h 12% · Weekly 40%");
        QTest::newRow("limits without plan") << report({}, {limit("Monthly", 7)}) << false
                                             << QStringLiteral("Live · Monthly 7%");
        QTest::newRow("window without limits")
            << report({}) << true << QStringLiteral("Live · Billing period ") + window().shortRange();
        QTest::newRow("plan and window") << report(QStringLiteral("Pro")) << true
                                         << QStringLiteral("Live · Pro · Billing period ") + window().shortRange();
        QTest::newRow("nothing") << report({}) << false << QStringLiteral("Live");
        QTest::newRow("plan only") << report(QStringLiteral("Team")) << false << QStringLiteral("Live · Team");
    }
    void liveLine()
    {
        QFETCH(UsageReport, report);
        QFETCH(bool, hasWindow);
        QFETCH(QString, line);
        QCOMPARE(AIUsageSettings::liveLine(report, hasWindow ? std::optional(window()) : std::nullopt), line);
    }

    void statusLabel_data()
    {
        QTest::addColumn<Input>("input");
        QTest::addColumn<QString>("label");
        const auto connected = [](UsageVendor vendor) {
            Input in;
            in.state = UsageAuthState::connected;
            in.vendor = vendor;
            return in;
        };
        const auto connecting = [](UsageVendor vendor, std::optional<QString> code = {}) {
            Input in;
            in.state = UsageAuthState::connecting;
            in.vendor = vendor;
            in.copilotUserCode = std::move(code);
            return in;
        };
        QTest::newRow("disconnected") << Input{} << QStringLiteral("Not connected");
        QTest::newRow("web vendor connecting") << connecting(UsageVendor::anthropic)
                                               << QStringLiteral("Sign-in window open — finish in the popup");
        QTest::newRow("xAI connecting opens no window") << connecting(UsageVendor::xai)
                                                        << QStringLiteral("Reading the Grok CLI login…");
        QTest::newRow("copilot before its code") << connecting(UsageVendor::copilot)
                                                 << QStringLiteral("Requesting a GitHub code…");
        QTest::newRow("copilot with its code")
            << connecting(UsageVendor::copilot, QStringLiteral("ABCD-1234"))
            << QStringLiteral("Code copied — paste it on the GitHub page that opened");
        QTest::newRow("another vendor ignores the code")
            << connecting(UsageVendor::google, QStringLiteral("ABCD-1234"))
            << QStringLiteral("Sign-in window open — finish in the popup");
        QTest::newRow("connected, loading") << connected(UsageVendor::openai) << QStringLiteral("Connected · loading…");
        Input withReport = connected(UsageVendor::openai);
        withReport.report = report(QStringLiteral("Plus"), {limit("5h", 12)});
        withReport.window = window();
        QTest::newRow("connected, report: limits, never the window") << withReport
                                                                     << QStringLiteral("Live · Plus · 5h 12%");
        Input withError = withReport;
        withError.error = QStringLiteral("OpenAI session expired.");
        QTest::newRow("error wins over the report") << withError << QStringLiteral("OpenAI session expired.");
    }
    void statusLabel()
    {
        QFETCH(Input, input);
        QFETCH(QString, label);
        QCOMPARE(AIUsageSettings::statusLabel(input), label);
    }

    // The six rows in alphabetical order, their buttons by state, and the flags that follow the store.
    void rowsFollowTheStore()
    {
        StoreRig rig;
        UsageStore &store = rig.makeSettled();
        AIUsageSettings page(&store);
        const auto rowOf = [&](const QString &vendor) {
            for (const QVariant &row : page.rows()) {
                if (row.toMap().value(QStringLiteral("vendor")) == vendor)
                    return row.toMap();
            }
            return QVariantMap();
        };
        QStringList vendors, buttons;
        for (const QVariant &row : page.rows()) {
            vendors << row.toMap().value(QStringLiteral("vendor")).toString();
            buttons << row.toMap().value(QStringLiteral("button")).toString();
        }
        QCOMPARE(vendors, (QStringList{"anthropic", "copilot", "cursor", "google", "openai", "xai"}));
        QCOMPARE(buttons, (QStringList{"Sign In…", "Sign In…", "Sign In…", "Sign In…", "Sign In…", "Connect"}));
        QVERIFY(!page.canDisconnectAll());
        page.choosePeriod(3);
        QCOMPARE(store.period(), UsagePeriod::vendor);
        QVERIFY(!page.showsVendorPeriods()); // nothing connected

        // Copilot: waiting, then its code.
        rig.clients.holdDeviceCode = true;
        page.act(QStringLiteral("copilot"));
        QTRY_COMPARE_WITH_TIMEOUT(rowOf("copilot").value("status").toString(), QStringLiteral("Requesting a GitHub code…"), 5000);
        QCOMPARE(rowOf("copilot").value("button").toString(), QStringLiteral("Cancel"));
        QVERIFY(rowOf("copilot").value("waiting").toBool());
        rig.clients.holdPoll = true;
        QVERIFY(rig.clients.held.release());
        QTRY_COMPARE_WITH_TIMEOUT(rowOf("copilot").value("code").toString(), QStringLiteral("ABCD-1234"), 5000);
        QVERIFY(!rowOf("copilot").value("waiting").toBool());
        QCOMPARE(rowOf("copilot").value("status").toString(),
                 QStringLiteral("Code copied — paste it on the GitHub page that opened"));
        // Cancel ends the connect.
        page.act(QStringLiteral("copilot"));
        QTRY_COMPARE_WITH_TIMEOUT(rowOf("copilot").value("state").toString(), QStringLiteral("disconnected"), 5000);

        // xAI connects: Disconnect All is enabled; the vendor period row needs a window.
        page.act(QStringLiteral("xai"));
        QTRY_COMPARE_WITH_TIMEOUT(rowOf("xai").value("button").toString(), QStringLiteral("Disconnect"), 5000);
        QVERIFY(rowOf("xai").value("destructive").toBool());
        QVERIFY(page.canDisconnectAll());
        QVERIFY(page.showsVendorPeriods());
        QVERIFY(page.vendorPeriods().isEmpty());
        page.disconnectAll();
        QTRY_VERIFY_WITH_TIMEOUT(!page.canDisconnectAll(), 5000);
        QVERIFY(!page.showsVendorPeriods());
    }

    void tabInTheWindow()
    {
        WindowRig rig;
        UsageReport withWindow = FakeUsageClients::report(UsageVendor::xai, QStringLiteral("SuperGrok"));
        withWindow.billingWindow = window();
        rig.usage.clients.results.insert_or_assign(UsageVendor::xai, UsageFetchResult(withWindow));
        rig.open();
        auto *disconnectAll = rig.item(QStringLiteral("disconnectAll"));
        QVERIFY(disconnectAll);
        QVERIFY(!disconnectAll->isEnabled());
        for (const QString vendor : {"anthropic", "copilot", "cursor", "google", "openai", "xai"})
            QVERIFY2(rig.item(QStringLiteral("vendorRow.") + vendor), qPrintable(vendor));
        QCOMPARE(rig.text(QStringLiteral("vendorButton.xai")), QStringLiteral("Connect"));
        QCOMPARE(rig.text(QStringLiteral("vendorButton.openai")), QStringLiteral("Sign In…"));
        QVERIFY(!rig.item(QStringLiteral("vendorPeriods"))->isVisible());

        rig.click(rig.item(QStringLiteral("vendorButton.xai")));
        QTRY_COMPARE_WITH_TIMEOUT(rig.text(QStringLiteral("vendorButton.xai")), QStringLiteral("Disconnect"), 5000);
        QCOMPARE(rig.text(QStringLiteral("vendorStatus.xai")),
                 QStringLiteral("Live · SuperGrok · Billing period ") + window().shortRange());
        QVERIFY(disconnectAll->isEnabled());

        rig.usage.store->setPeriod(UsagePeriod::vendor);
        QTRY_VERIFY(rig.item(QStringLiteral("vendorPeriods"))->isVisible());
        QTRY_VERIFY(rig.item(QStringLiteral("vendorPeriod.xai")));

        // A failed sign-in shows its text in red under the rows.
        rig.click(rig.item(QStringLiteral("vendorButton.google")));
        QTRY_COMPARE_WITH_TIMEOUT(rig.text(QStringLiteral("vendorButton.google")), QStringLiteral("Cancel"), 5000);
        QVERIFY(rig.item(QStringLiteral("waiting.google"))->isVisible());
        QVERIFY(rig.usage.web.finish(Result<UsageSession, LoginError>::failure(LoginError{LoginError::Kind::notSignedIn})));
        QTRY_VERIFY_WITH_TIMEOUT(rig.item(QStringLiteral("loginError"))->isVisible(), 5000);
        QVERIFY(!rig.text(QStringLiteral("loginError")).isEmpty());
        QCOMPARE(rig.text(QStringLiteral("vendorButton.google")), QStringLiteral("Sign In…"));

        rig.click(disconnectAll);
        QTRY_COMPARE_WITH_TIMEOUT(rig.text(QStringLiteral("vendorButton.xai")), QStringLiteral("Connect"), 5000);
        QVERIFY(!disconnectAll->isEnabled());
    }
};

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    TestAIUsageSettings test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_aiusagesettings.moc"
