// labels: unit
// The usage store over fakes: start-up, persistence, refresh, polling and the derived values.
#include "StoreRig.h"

#include <QSignalSpy>
#include <QTest>

using namespace tavrenhold;
using namespace tavrenhold::test;
using platform::SecretError;
using namespace std::chrono_literals;

namespace {
const SecretError lockedKeyring{SecretError::Kind::locked, 1};

UsageLimit limit(QString label, UsageSpan span, int percent)
{
    UsageLimit l;
    l.label = std::move(label);
    l.span = span;
    l.percentUsed = percent;
    return l;
}
} // namespace

class TestUsageStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // What start-up keeps of the stored connections, and which items it deletes with the rest.
    void startUp_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QStringList>("items");   // vendors with a usable item
        QTest::addColumn<QStringList>("special"); // vendor=raw item text
        QTest::addColumn<QStringList>("connected");
        QTest::addColumn<QStringList>("deleted");

        QTest::newRow("nothing stored") << QByteArray() << QStringList{} << QStringList{} << QStringList{} << QStringList{};
        QTest::newRow("connected with items")
            << QByteArray("[{\"vendor\":\"cursor\",\"state\":\"connected\"},{\"vendor\":\"anthropic\",\"state\":\"connected\"}]")
            << QStringList{"cursor", "anthropic"} << QStringList{} << QStringList{"anthropic", "cursor"} << QStringList{};
        QTest::newRow("connecting and disconnected entries go with their items")
            << QByteArray("[{\"vendor\":\"openai\",\"state\":\"connecting\"},{\"vendor\":\"google\",\"state\":\"disconnected\"},{\"vendor\":\"xai\",\"state\":\"connected\"}]")
            << QStringList{"openai", "google", "xai"} << QStringList{} << QStringList{"xai"}
            << QStringList{"openai", "google"};
        QTest::newRow("missing item") << QByteArray("[{\"vendor\":\"copilot\",\"state\":\"connected\"}]") << QStringList{}
                                      << QStringList{} << QStringList{} << QStringList{"copilot"};
        QTest::newRow("empty sessionKey dropped, split openai cookie kept")
            << QByteArray("[{\"vendor\":\"anthropic\",\"state\":\"connected\"},{\"vendor\":\"openai\",\"state\":\"connected\"}]")
            << QStringList{} << QStringList{"anthropic={\"sessionKey\":\"\"}", "openai={\"__Secure-next-auth.session-token.0\":\"x\"}"}
            << QStringList{"openai"} << QStringList{"anthropic"};
        QTest::newRow("malformed item dropped") << QByteArray("[{\"vendor\":\"google\",\"state\":\"connected\"}]")
                                                << QStringList{} << QStringList{"google=[\"SID\"]"} << QStringList{}
                                                << QStringList{"google"};
        QTest::newRow("xai marker with more entries dropped")
            << QByteArray("[{\"vendor\":\"xai\",\"state\":\"connected\"}]") << QStringList{}
            << QStringList{"xai={\"source\":\"grok-cli\",\"x\":\"y\"}"} << QStringList{} << QStringList{"xai"};
        QTest::newRow("unknown state: nothing") << QByteArray("[{\"vendor\":\"cursor\",\"state\":\"connected\"},{\"vendor\":\"cursor\",\"state\":\"on\"}]")
                                                << QStringList{"cursor"} << QStringList{} << QStringList{} << QStringList{};
        QTest::newRow("unknown vendor: nothing") << QByteArray("[{\"vendor\":\"OpenAI\",\"state\":\"connected\"}]")
                                                 << QStringList{"openai"} << QStringList{} << QStringList{} << QStringList{};
        QTest::newRow("not an array") << QByteArray("{\"vendor\":\"cursor\",\"state\":\"connected\"}") << QStringList{"cursor"}
                                      << QStringList{} << QStringList{} << QStringList{};
    }
    void startUp()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QStringList, items);
        QFETCH(QStringList, special);
        QFETCH(QStringList, connected);
        QFETCH(QStringList, deleted);
        StoreRig rig;
        if (!stored.isEmpty())
            rig.defaults.setData(QStringLiteral("usage.connections"), stored);
        for (const QString &raw : items)
            rig.storeSession(*usageVendorFromRaw(raw), usableSession(*usageVendorFromRaw(raw)));
        for (const QString &entry : special) {
            const auto vendor = *usageVendorFromRaw(entry.section(u'=', 0, 0));
            rig.secrets.setItem(VendorSessionStore::service(vendor), entry.section(u'=', 1));
        }
        rig.defaults.set(QStringLiteral("usage.selectedVendor"), QStringLiteral("copilot"));

        UsageStore &store = rig.makeSettled();
        QStringList names;
        for (const UsageVendor v : store.connectedVendors())
            names << rawValue(v);
        QCOMPARE(names, connected);
        for (const UsageVendor v : allUsageVendors) {
            if (deleted.contains(rawValue(v)))
                QVERIFY2(!rig.hasItem(v), qPrintable(rawValue(v)));
        }
        // The list is written back as kept; the highlight moves to the first connected vendor.
        QList<QPair<QString, QString>> expectedEntries;
        for (const UsageVendor v : allUsageVendors) {
            if (connected.contains(rawValue(v)))
                expectedEntries << qMakePair(rawValue(v), QStringLiteral("connected"));
        }
        QCOMPARE(rig.storedEntries(), expectedEntries);
        QCOMPARE(store.selectedVendor(), connected.isEmpty() ? std::nullopt : usageVendorFromRaw(connected.first()));
        QCOMPARE(rig.defaults.contains(QStringLiteral("usage.selectedVendor")), !connected.isEmpty());
        QCOMPARE(store.isPolling(), !connected.isEmpty());
        QVERIFY(store.reports().isEmpty() == connected.isEmpty());
    }

    void startUpWithNothingStoredWritesAnEmptyList()
    {
        StoreRig rig;
        UsageStore &store = rig.makeSettled();
        QCOMPARE(rig.defaults.data(QStringLiteral("usage.connections")), std::optional<QByteArray>("[]"));
        QVERIFY(store.reports().isEmpty() && store.errors().isEmpty() && store.samples().isEmpty());
        QCOMPARE(store.selectedVendor(), std::nullopt);
        QVERIFY(!store.isPolling());
        QCOMPARE(rig.clients.fetches.size(), 0);
    }

    void startUpReadsPeriodAndSelection_data()
    {
        QTest::addColumn<QString>("period");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<UsagePeriod>("expectedPeriod");
        QTest::addColumn<QString>("expectedSelected");
        QTest::newRow("stored values") << "month" << "google" << UsagePeriod::month << "google";
        QTest::newRow("unknown period") << "Today" << "google" << UsagePeriod::today << "google";
        QTest::newRow("selection not connected") << "vendor" << "openai" << UsagePeriod::vendor << "cursor";
        QTest::newRow("selection no vendor") << "week" << "Google" << UsagePeriod::week << "cursor";
    }
    void startUpReadsPeriodAndSelection()
    {
        QFETCH(QString, period);
        QFETCH(QString, selected);
        QFETCH(UsagePeriod, expectedPeriod);
        QFETCH(QString, expectedSelected);
        StoreRig rig;
        rig.storeConnected(UsageVendor::google);
        rig.storeConnected(UsageVendor::cursor);
        rig.defaults.set(QStringLiteral("usage.period"), period);
        rig.defaults.set(QStringLiteral("usage.selectedVendor"), selected);
        UsageStore &store = rig.makeSettled();
        QCOMPARE(store.period(), expectedPeriod);
        QCOMPARE(store.selectedVendor(), usageVendorFromRaw(expectedSelected));
        QCOMPARE(rig.defaults.string(QStringLiteral("usage.selectedVendor")), std::optional<QString>(expectedSelected));
        // Reading the period writes nothing back.
        QCOMPARE(rig.defaults.string(QStringLiteral("usage.period")), std::optional<QString>(period));
    }

    // A keyring that cannot answer at start-up (locked at login) keeps every connection and
    // item; each refresh says so and keeps what it shows, and once it answers the next refresh
    // reads the sessions.
    void lockedKeyringKeepsConnections()
    {
        StoreRig rig;
        rig.storeConnected(UsageVendor::anthropic);
        rig.storeConnected(UsageVendor::cursor);
        rig.secrets.failReads = lockedKeyring;
        UsageStore &store = rig.makeSettled();

        QCOMPARE(store.connectedVendors(), (QList<UsageVendor>{UsageVendor::anthropic, UsageVendor::cursor}));
        QVERIFY(rig.hasItem(UsageVendor::anthropic) && rig.hasItem(UsageVendor::cursor));
        QCOMPARE(rig.storedEntries().size(), 2);
        QCOMPARE(rig.clients.fetches.size(), 0);
        QCOMPARE(store.errors().value(UsageVendor::anthropic),
                 QStringLiteral("Anthropic session is in a locked or unavailable keyring. Unlock it, then refresh."));
        QCOMPARE(store.errors().value(UsageVendor::cursor),
                 QStringLiteral("Cursor session is in a locked or unavailable keyring. Unlock it, then refresh."));
        QCOMPARE(store.lastError(), store.errors().value(UsageVendor::anthropic));
        // One failed read is enough: the keyring is not asked for the other vendor.
        QCOMPARE(rig.secrets.log.count(QStringLiteral("read app.tavrenhold.usage.cursor")), 0);

        rig.secrets.failReads.reset();
        QVERIFY(finishes(store.refresh()));
        QCOMPARE(rig.clients.fetches.size(), 2);
        QCOMPARE(rig.clients.fetches.at(0).session, usableSession(UsageVendor::anthropic));
        QVERIFY(store.errors().isEmpty());
        QCOMPARE(store.reports().size(), 2);

        // Locked again: the reports stay on screen beside the keyring's text.
        rig.secrets.failReads = lockedKeyring;
        QVERIFY(finishes(store.refresh()));
        QCOMPARE(store.reports().size(), 2);
        QCOMPARE(store.errors().size(), 2);
        QCOMPARE(rig.clients.fetches.size(), 2);
    }

    // Connect and disconnect asked for while start-up still reads the keyring wait for it, and
    // start-up's outcome does not overwrite them. Meanwhile the stored vendors are shown connected,
    // however long the keyring takes.
    void earlyCallsWaitForStartUp()
    {
        StoreRig rig;
        rig.storeConnected(UsageVendor::anthropic);
        rig.storeConnected(UsageVendor::google);
        rig.secrets.hold = true;
        UsageStore &store = rig.make();
        store.disconnect(UsageVendor::anthropic);
        store.beginConnect(UsageVendor::cursor);
        QVERIFY(!store.isStarted());
        QVERIFY(rig.web.opened.isEmpty());
        QCOMPARE(store.connectedVendors(), (QList<UsageVendor>{UsageVendor::anthropic, UsageVendor::google}));
        QVERIFY(!store.isRefreshing());

        rig.secrets.hold = false;
        while (rig.secrets.release()) {
        }
        QTRY_VERIFY_WITH_TIMEOUT(store.isStarted(), 5000);
        QCOMPARE(store.connectedVendors(), QList<UsageVendor>{UsageVendor::google});
        QVERIFY(!rig.hasItem(UsageVendor::anthropic));
        QCOMPARE(store.connections().value(UsageVendor::cursor).state, UsageAuthState::connecting);
        QCOMPARE(rig.web.opened, QList<UsageVendor>{UsageVendor::cursor});
    }

    void refreshAppliesResults()
    {
        StoreRig rig;
        rig.storeConnected(UsageVendor::anthropic);
        rig.storeConnected(UsageVendor::cursor);
        rig.storeConnected(UsageVendor::google);
        UsageStore &store = rig.makeSettled();
        QCOMPARE(store.reports().size(), 3);
        const QDateTime first = *store.lastRefreshedAt();

        rig.clock.advance(10s);
        rig.clients.results.insert_or_assign(UsageVendor::anthropic,
                                             UsageFetchResult::failure(UsageFetchError::signedOut(UsageVendor::anthropic)));
        rig.clients.results.insert_or_assign(UsageVendor::cursor, UsageFetchResult::failure(CursorClientError::http(502)));
        rig.clients.results.insert_or_assign(UsageVendor::google,
                                             UsageFetchResult::failure(UsageTransportError{QStringLiteral("The request timed out.")}));
        QVERIFY(finishes(store.refresh()));
        // A refused session loses its report, other failures keep theirs; all stay connected.
        QVERIFY(!store.report(UsageVendor::anthropic));
        QVERIFY(store.report(UsageVendor::cursor));
        QVERIFY(store.report(UsageVendor::google));
        QCOMPARE(store.errors().value(UsageVendor::anthropic),
                 QStringLiteral("Anthropic session expired. Sign in again in Settings \u203a AI Usage."));
        QCOMPARE(store.errors().value(UsageVendor::google), QStringLiteral("The request timed out."));
        QCOMPARE(store.connectedVendors().size(), 3);
        QCOMPARE(store.lastError(), store.errors().value(UsageVendor::anthropic));
        QCOMPARE(*store.lastRefreshedAt(), first.addSecs(10));

        // A success clears the vendor's error.
        rig.clients.results.erase(UsageVendor::anthropic);
        QVERIFY(finishes(store.refresh()));
        QVERIFY(store.report(UsageVendor::anthropic));
        QVERIFY(!store.errors().contains(UsageVendor::anthropic));
        QCOMPARE(store.lastError(), store.errors().value(UsageVendor::cursor));
    }

    void refreshWithoutVendorsChangesNothing()
    {
        StoreRig rig;
        UsageStore &store = rig.makeSettled();
        QSignalSpy refreshing(&store, &UsageStore::isRefreshingChanged);
        QVERIFY(finishes(store.refresh()));
        QCOMPARE(store.lastRefreshedAt(), std::nullopt);
        QCOMPARE(refreshing.count(), 0);
    }

    // One refresh at a time: a second one while the first waits for its fetches does nothing.
    void refreshIsSingleFlight()
    {
        StoreRig rig;
        rig.storeConnected(UsageVendor::cursor);
        rig.storeConnected(UsageVendor::copilot);
        UsageStore &store = rig.makeSettled();
        rig.clients.fetches.clear();
        rig.clients.holdFetches = true;
        store.requestRefresh();
        QVERIFY(store.isRefreshing());
        QCOMPARE(rig.clients.fetches.size(), 2); // both vendors at once
        QVERIFY(finishes(store.refresh(), 100));
        QCOMPARE(rig.clients.fetches.size(), 2);
        rig.clients.holdFetches = false;
        while (rig.clients.held.release()) {
        }
        QVERIFY(!store.isRefreshing());
        QVERIFY(finishes(store.refresh()));
        QCOMPARE(rig.clients.fetches.size(), 4);
    }

    // A vendor disconnected, or being connected again, while its fetch runs gets nothing from it.
    void resultsOnlyForVendorsStillConnected()
    {
        StoreRig rig;
        rig.storeConnected(UsageVendor::cursor);
        rig.storeConnected(UsageVendor::google);
        UsageStore &store = rig.makeSettled();
        rig.clients.holdFetches = true;
        rig.clients.results.insert_or_assign(UsageVendor::cursor, UsageFetchResult::failure(CursorClientError::http(500)));
        rig.clients.results.insert_or_assign(UsageVendor::google, UsageFetchResult::failure(UsageFetchError::http(UsageVendor::google, 500)));
        store.requestRefresh();
        store.disconnect(UsageVendor::cursor);
        store.beginConnect(UsageVendor::google);
        while (rig.clients.held.release()) {
        }
        QVERIFY(!store.isRefreshing());
        QVERIFY(store.errors().isEmpty());
        QVERIFY(!store.report(UsageVendor::cursor));
        QVERIFY(store.report(UsageVendor::google)); // from start-up's refresh, untouched
    }

    // The loop refreshes as soon as the event loop runs, then 300 s after each refresh ended.
    void pollsEveryFiveMinutes()
    {
        StoreRig rig;
        rig.storeConnected(UsageVendor::copilot);
        UsageStore &store = rig.make();
        QVERIFY(rig.clients.fetches.isEmpty());
        rig.settle();
        QCOMPARE(rig.clients.fetches.size(), 1);
        rig.clock.advance(299s);
        QCOMPARE(rig.clients.fetches.size(), 1);
        rig.clock.advance(1s);
        QCOMPARE(rig.clients.fetches.size(), 2);

        // A slow refresh: the next one comes 300 s after it ended.
        rig.clients.holdFetches = true;
        rig.clock.advance(300s);
        QCOMPARE(rig.clients.fetches.size(), 3);
        rig.clock.advance(100s);
        QVERIFY(rig.clients.held.release());
        rig.clock.advance(299s);
        QCOMPARE(rig.clients.fetches.size(), 3);
        rig.clock.advance(1s);
        QCOMPARE(rig.clients.fetches.size(), 4);
        QVERIFY(rig.clients.held.release());

        store.disconnectAll();
        QVERIFY(!store.isPolling());
        QCOMPARE(rig.clock.sleepers(), 0);
        rig.clock.advance(600s);
        QCOMPARE(rig.clients.fetches.size(), 4);
    }

    void samplesFromReports()
    {
        StoreRig rig;
        rig.storeConnected(UsageVendor::cursor);
        rig.storeConnected(UsageVendor::anthropic);
        UsageReport limits = FakeUsageClients::report(UsageVendor::anthropic);
        limits.limits = {limit(QStringLiteral("5h"), UsageSpan::session, 0), limit(QStringLiteral("Week"), UsageSpan::weekly, 42)};
        UsageReport models = FakeUsageClients::report(UsageVendor::cursor);
        models.breakdown = {UsageModelSlice{QStringLiteral("gpt"), 900, std::nullopt}};
        models.limits = {limit(QStringLiteral("Month"), UsageSpan::monthly, 70)};
        rig.clients.results.insert_or_assign(UsageVendor::anthropic, UsageFetchResult(limits));
        rig.clients.results.insert_or_assign(UsageVendor::cursor, UsageFetchResult(models));
        UsageStore &store = rig.makeSettled();

        const QList<UsageVendorSample> expected{
            UsageVendorSample{UsageVendor::anthropic,
                              {UsageModelSlice{QStringLiteral("5h"), 1, 0}, UsageModelSlice{QStringLiteral("Week"), 42, 42}},
                              0},
            UsageVendorSample{UsageVendor::cursor, {UsageModelSlice{QStringLiteral("gpt"), 900, std::nullopt}}, 70},
        };
        QCOMPARE(store.samples(), expected);

        // The period's headline: weekly for "7 Days".
        QSignalSpy periodSpy(&store, &UsageStore::periodChanged);
        store.setPeriod(UsagePeriod::week);
        QCOMPARE(store.samples().at(0).headlinePercentUsed, std::optional<int>(42));
        QCOMPARE(rig.defaults.string(QStringLiteral("usage.period")), std::optional<QString>("week"));
        // Setting the same value still writes the key, without notifying.
        rig.defaults.remove(QStringLiteral("usage.period"));
        store.setPeriod(UsagePeriod::week);
        QCOMPARE(rig.defaults.string(QStringLiteral("usage.period")), std::optional<QString>("week"));
        QCOMPARE(periodSpy.count(), 1);

        // The cursor share has more tokens: it comes first, unless selected otherwise.
        QCOMPARE(store.selectedVendor(), std::optional<UsageVendor>(UsageVendor::anthropic));
        QCOMPARE(store.selectedShare()->vendor, UsageVendor::anthropic);
        store.setSelectedVendor(UsageVendor::google); // no share
        QCOMPARE(store.selectedShare()->vendor, UsageVendor::cursor);
        store.setSelectedVendor(std::nullopt);
        QCOMPARE(store.selectedShare()->vendor, UsageVendor::cursor);
        QVERIFY(!rig.defaults.contains(QStringLiteral("usage.selectedVendor")));
    }

    void cyclePeriodWraps()
    {
        StoreRig rig;
        UsageStore &store = rig.makeSettled();
        QList<UsagePeriod> seen;
        for (int i = 0; i < 5; ++i) {
            store.cyclePeriod();
            seen << store.period();
        }
        QCOMPARE(seen, (QList<UsagePeriod>{UsagePeriod::week, UsagePeriod::month, UsagePeriod::vendor, UsagePeriod::today,
                                          UsagePeriod::week}));
        QCOMPARE(rig.defaults.string(QStringLiteral("usage.period")), std::optional<QString>("week"));
        QVERIFY(!store.selectedShare());
    }
};

QTEST_GUILESS_MAIN(TestUsageStore)
#include "tst_usagestore.moc"
