// labels: qml usage
// The AI Usage pane's content view over a usage store on fakes, as the shell loads it: the empty
// body and its Open Settings… link, the connected body with its gauges in order, the refresh
// capsule, the error line, the model chips and a click on a gauge.
#include "StoreRig.h"

#include "fakes/QuickItems.h"
#include "usage/UsagePane.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <functional>
#include <memory>

Q_IMPORT_QML_PLUGIN(Tavrenhold_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Tavrenhold_UsagePlugin)

using namespace tavrenhold;
using namespace tavrenhold::test;

namespace {

// The view in a window of the pane's size.
struct ViewRig {
    QQmlEngine engine;
    QQuickWindow window;
    std::unique_ptr<QQuickItem> view;

    explicit ViewRig(UsagePane &pane)
    {
        window.resize(600, int(UsagePane::connectedHeight));
        QQmlComponent component(&engine, pane.content());
        QVERIFY2(component.isReady(), qPrintable(component.errorString()));
        view.reset(qobject_cast<QQuickItem *>(
            component.createWithInitialProperties({{"pane", QVariant::fromValue<QObject *>(&pane)}})));
        QVERIFY2(view, qPrintable(component.errorString()));
        view->setParentItem(window.contentItem());
        view->setSize(QSizeF(600, UsagePane::connectedHeight));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    [[nodiscard]] QQuickItem *item(const QString &name) const { return findItem(view.get(), name); }
    [[nodiscard]] QString text(const QString &name) const
    {
        QQuickItem *found = item(name);
        return found ? found->property("text").toString() : QStringLiteral("<missing %1>").arg(name);
    }
    void click(QQuickItem *target) { clickCentre(&window, target); }
};

UsageReport reportOf(UsageVendor vendor, int percent, QList<UsageModelSlice> breakdown)
{
    UsageReport report = FakeUsageClients::report(vendor);
    report.limits << UsageLimit{QStringLiteral("5h"), UsageSpan::session, percent, {}, {}};
    report.breakdown = std::move(breakdown);
    return report;
}

} // namespace

class PaneViewsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void emptyBody()
    {
        StoreRig rig;
        UsagePane pane(rig.makeSettled());
        int opened = 0;
        pane.setOpenSettings([&] { ++opened; });
        ViewRig view(pane);
        QVERIFY(view.item(QStringLiteral("emptyBody"))->isVisible());
        QVERIFY(!view.item(QStringLiteral("connectedBody"))->isVisible());
        view.click(view.item(QStringLiteral("openSettings")));
        QCOMPARE(opened, 1);
    }

    void connectedBody()
    {
        StoreRig rig;
        rig.storeConnected(UsageVendor::openai);
        rig.storeConnected(UsageVendor::anthropic);
        rig.clients.results.insert_or_assign(UsageVendor::openai,
            UsageFetchResult(reportOf(UsageVendor::openai, 12, {{QStringLiteral("gpt-5"), 1, {}}, {QStringLiteral("o3"), 2, {}}})));
        rig.clients.results.insert_or_assign(UsageVendor::anthropic,
            UsageFetchResult(reportOf(UsageVendor::anthropic, 80, {{QStringLiteral("opus"), 4, 70}})));
        UsageStore &store = rig.makeSettled();
        UsagePane pane(store);
        ViewRig view(pane);
        QVERIFY(view.item(QStringLiteral("connectedBody"))->isVisible());
        QVERIFY(!view.item(QStringLiteral("emptyBody"))->isVisible());
        QCOMPARE(view.text(QStringLiteral("periodControl")), QStringLiteral("TODAY"));
        QCOMPARE(view.text(QStringLiteral("refreshText")), QStringLiteral("REFRESH"));
        QVERIFY(!view.item(QStringLiteral("errorLine"))->isVisible());

        // Gauges in alphabetical order, side by side.
        QQuickItem *anthropic = view.item(QStringLiteral("gauge.anthropic"));
        QQuickItem *openai = view.item(QStringLiteral("gauge.openai"));
        QVERIFY(anthropic && openai);
        QVERIFY(anthropic->mapToScene({0, 0}).x() < openai->mapToScene({0, 0}).x());

        // Start-up highlights Anthropic; a click on OpenAI's gauge moves the strip to its models.
        QCOMPARE(store.selectedVendor(), UsageVendor::anthropic);
        view.click(openai);
        QCOMPARE(store.selectedVendor(), UsageVendor::openai);
        QStringList chips;
        const std::function<void(QQuickItem *)> collect = [&](QQuickItem *item) {
            if (item->property("modelData").userType() == QMetaType::QString)
                chips << item->property("modelData").toString();
            for (QQuickItem *child : item->childItems())
                collect(child);
        };
        QTRY_VERIFY(view.item(QStringLiteral("modelStrip")));
        collect(view.item(QStringLiteral("modelStrip")));
        chips.sort();
        QCOMPARE(chips, (QStringList{QStringLiteral("gpt-5 33%"), QStringLiteral("o3 67%")}));

        // The period control steps on a click.
        view.click(view.item(QStringLiteral("periodControl")));
        QCOMPARE(store.period(), UsagePeriod::week);
        QTRY_COMPARE(view.text(QStringLiteral("periodControl")), QStringLiteral("7 DAYS"));

        // A refresh that fails for one vendor: the capsule reads UPDATING meanwhile, then the error.
        rig.clients.holdFetches = true;
        rig.clients.results.insert_or_assign(UsageVendor::openai,
            UsageFetchResult::failure(UsageFetchError{UsageFetchError::Kind::http, UsageVendor::openai, 500, {}}));
        view.click(view.item(QStringLiteral("refreshButton")));
        QTRY_COMPARE(view.text(QStringLiteral("refreshText")), QStringLiteral("UPDATING"));
        rig.clients.holdFetches = false;
        QTRY_VERIFY_WITH_TIMEOUT(rig.clients.held.count() == 2, 5000);
        while (rig.clients.held.release()) {
        }
        QTRY_COMPARE_WITH_TIMEOUT(view.text(QStringLiteral("refreshText")), QStringLiteral("REFRESH"), 5000);
        QTRY_VERIFY(view.item(QStringLiteral("errorLine"))->isVisible());
        QCOMPARE(view.text(QStringLiteral("errorLine")), *store.lastError());
    }
};

QTEST_MAIN(PaneViewsTest)
#include "tst_paneviews.moc"
