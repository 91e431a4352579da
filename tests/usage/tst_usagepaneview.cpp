// labels: usage
// What the AI Usage pane shows, read from a usage store over fakes: the period control, the window
// label, the gauges' order, the model chips, selection by click and the refresh button's state.
#include "StoreRig.h"

#include "usage/UsagePane.h"
#include "usage/UsagePaneViewModel.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>

using namespace tavrenhold;
using namespace tavrenhold::test;

namespace {

UsageVendorSample sample(UsageVendor vendor, QList<UsageModelSlice> models = {}, std::optional<int> headline = {})
{
    return UsageVendorSample{vendor, std::move(models), headline};
}

UsageModelSlice slice(const QString &model, std::int64_t tokens, std::optional<int> percent = {})
{
    return UsageModelSlice{model, tokens, percent};
}

UsageReport reportWithWindow(UsageVendor vendor)
{
    UsageReport report = FakeUsageClients::report(vendor);
    report.limits << UsageLimit{QStringLiteral("Weekly"), UsageSpan::weekly, 40, {}, {}};
    const QDateTime start(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC);
    report.billingWindow = UsageVendorWindow{QStringLiteral("Billing period"), start, start.addDays(30)};
    return report;
}

QStringList vendorsOf(const QVariantList &gauges)
{
    QStringList vendors;
    for (const QVariant &gauge : gauges)
        vendors << gauge.toMap().value(QStringLiteral("vendor")).toString();
    return vendors;
}

} // namespace

class TestUsagePaneView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void gaugeOrder_data()
    {
        QTest::addColumn<QList<UsageVendorSample>>("samples");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("none") << QList<UsageVendorSample>{} << QStringList{};
        QTest::newRow("openai, cursor, anthropic")
            << QList<UsageVendorSample>{sample(UsageVendor::openai), sample(UsageVendor::cursor),
                                        sample(UsageVendor::anthropic)}
            << QStringList{QStringLiteral("anthropic"), QStringLiteral("cursor"), QStringLiteral("openai")};
        QTest::newRow("all six, reversed")
            << QList<UsageVendorSample>{sample(UsageVendor::copilot), sample(UsageVendor::cursor),
                                        sample(UsageVendor::xai), sample(UsageVendor::google),
                                        sample(UsageVendor::anthropic), sample(UsageVendor::openai)}
            << QStringList{QStringLiteral("anthropic"), QStringLiteral("copilot"), QStringLiteral("cursor"),
                           QStringLiteral("google"), QStringLiteral("openai"), QStringLiteral("xai")};
    }
    void gaugeOrder()
    {
        QFETCH(QList<UsageVendorSample>, samples);
        QFETCH(QStringList, order);
        QStringList vendors;
        for (const UsageShare &share : UsagePaneViewModel::orderedShares(samples))
            vendors << rawValue(share.vendor);
        QCOMPARE(vendors, order);
    }

    void chips_data()
    {
        QTest::addColumn<QList<UsageModelSlice>>("slices");
        QTest::addColumn<QStringList>("chips");
        QTest::newRow("one of three") << QList<UsageModelSlice>{slice("a", 1), slice("b", 2)}
                                      << QStringList{QStringLiteral("b 67%"), QStringLiteral("a 33%")};
        QTest::newRow("halves") << QList<UsageModelSlice>{slice("a", 1), slice("b", 1)}
                                << QStringList{QStringLiteral("a 50%"), QStringLiteral("b 50%")};
        QTest::newRow("one of eight rounds up") << QList<UsageModelSlice>{slice("a", 1), slice("b", 7)}
                                                << QStringList{QStringLiteral("b 88%"), QStringLiteral("a 13%")};
        QTest::newRow("own percentage wins") << QList<UsageModelSlice>{slice("a", 1, 90), slice("b", 3)}
                                             << QStringList{QStringLiteral("b 75%"), QStringLiteral("a 90%")};
        QTest::newRow("no tokens") << QList<UsageModelSlice>{slice("a", 0), slice("b", 0, 12)}
                                   << QStringList{QStringLiteral("a 0%"), QStringLiteral("b 12%")};
        QTest::newRow("no slices") << QList<UsageModelSlice>{} << QStringList{};
    }
    void chips()
    {
        QFETCH(QList<UsageModelSlice>, slices);
        QFETCH(QStringList, chips);
        const QList<UsageShare> all = UsageMix::shares({sample(UsageVendor::openai, slices)});
        QCOMPARE(all.size(), 1);
        QStringList got = UsagePaneViewModel::chipTexts(all.first());
        // The order is the mix's; compare as sets and check every text.
        got.sort();
        chips.sort();
        QCOMPARE(got, chips);
    }

    void periodControlCycles()
    {
        StoreRig rig;
        rig.storeConnected(UsageVendor::openai);
        UsageStore &store = rig.makeSettled();
        UsagePaneViewModel view;
        view.setStore(&store);
        QStringList seen{view.periodLabel()};
        for (int i = 0; i < 4; ++i) {
            view.cyclePeriod();
            seen << view.periodLabel();
        }
        QCOMPARE(seen, (QStringList{QStringLiteral("TODAY"), QStringLiteral("7 DAYS"), QStringLiteral("MONTH"),
                                    QStringLiteral("PERIOD"), QStringLiteral("TODAY")}));
    }

    void bodiesAndHeights()
    {
        {
            StoreRig rig;
            UsageStore &store = rig.makeSettled();
            UsagePane pane(store);
            UsagePaneViewModel view;
            view.setStore(&store);
            QVERIFY(!view.connected());
            QCOMPARE(pane.contentHeight(), 120.0);
            QVERIFY(!pane.idle().isLive);
            QCOMPARE(pane.idle().priority, 24);
        }
        // Connected, its first refresh still running: the header, no gauges, no strip.
        StoreRig rig;
        rig.storeConnected(UsageVendor::openai);
        rig.clients.holdFetches = true;
        UsageStore &store = rig.make();
        UsagePane pane(store);
        UsagePaneViewModel view;
        view.setStore(&store);
        QTRY_VERIFY_WITH_TIMEOUT(view.connected() && view.refreshing(), 5000);
        QCOMPARE(pane.contentHeight(), 168.0);
        QVERIFY(pane.idle().isLive);
        QCOMPARE(view.refreshText(), QStringLiteral("UPDATING"));
        // Its gauge is there without a figure; the strip names it and holds no chip.
        QCOMPARE(vendorsOf(view.gauges()), QStringList{QStringLiteral("openai")});
        QVERIFY(!view.gauges().constFirst().toMap().value(QStringLiteral("percent")).isValid());
        QCOMPARE(view.stripLabel(), QStringLiteral("OPENAI"));
        QVERIFY(view.chips().isEmpty());
        QVERIFY(rig.clients.held.release());
        QTRY_VERIFY_WITH_TIMEOUT(!view.refreshing(), 5000);
        QCOMPARE(view.refreshText(), QStringLiteral("REFRESH"));
    }

    void windowLabelAndSelection()
    {
        StoreRig rig;
        rig.storeConnected(UsageVendor::openai);
        rig.storeConnected(UsageVendor::cursor);
        UsageReport openai = reportWithWindow(UsageVendor::openai);
        openai.breakdown << slice(QStringLiteral("gpt"), 3);
        rig.clients.results.insert_or_assign(UsageVendor::openai, UsageFetchResult(openai));
        UsageReport cursor = FakeUsageClients::report(UsageVendor::cursor);
        cursor.limits << UsageLimit{QStringLiteral("Monthly"), UsageSpan::monthly, 10, {}, {}};
        cursor.breakdown << slice(QStringLiteral("auto"), 5);
        rig.clients.results.insert_or_assign(UsageVendor::cursor, UsageFetchResult(cursor));
        UsageStore &store = rig.makeSettled();
        UsagePaneViewModel view;
        view.setStore(&store);
        QSignalSpy changed(&view, &UsagePaneViewModel::changed);

        QCOMPARE(vendorsOf(view.gauges()), (QStringList{QStringLiteral("cursor"), QStringLiteral("openai")}));
        // Start-up highlights the first connected vendor; only its gauge is marked.
        QStringList marked;
        for (const QVariant &gauge : view.gauges()) {
            if (gauge.toMap().value(QStringLiteral("selected")).toBool())
                marked << gauge.toMap().value(QStringLiteral("vendor")).toString();
        }
        QCOMPARE(marked, QStringList{QStringLiteral("cursor")});
        QCOMPARE(view.stripLabel(), QStringLiteral("CURSOR"));
        QCOMPARE(view.chips(), QStringList{QStringLiteral("auto 100%")});

        view.select(QStringLiteral("openai"));
        QCOMPARE(store.selectedVendor(), UsageVendor::openai);
        QCOMPARE(view.stripLabel(), QStringLiteral("OPENAI"));
        QCOMPARE(view.chips(), QStringList{QStringLiteral("gpt 100%")});
        QVERIFY(view.windowLabel().isEmpty()); // only in PERIOD

        store.setPeriod(UsagePeriod::vendor);
        QCOMPARE(view.windowLabel(), store.window(UsageVendor::openai)->shortRange().toUpper());
        QVERIFY(!view.windowLabel().isEmpty());
        store.setPeriod(UsagePeriod::month);
        QVERIFY(view.windowLabel().isEmpty());

        // A vendor that is connecting cannot be selected by a click.
        store.beginConnect(UsageVendor::google); // its sign-in window stays open
        QTRY_COMPARE_WITH_TIMEOUT(store.connections().value(UsageVendor::google).state, UsageAuthState::connecting, 5000);
        view.select(QStringLiteral("google"));
        QCOMPARE(store.selectedVendor(), UsageVendor::openai);
        QVERIFY(changed.count() > 0);
    }
};

QTEST_GUILESS_MAIN(TestUsagePaneView)
#include "tst_usagepaneview.moc"
