// labels: unit
// Connecting and disconnecting vendors over fakes: each sign-in path, each failing step, and a
// cancellation at each await.
#include "StoreRig.h"

#include "usage/UsagePane.h"

#include <QSignalSpy>
#include <QTest>

using namespace tavrenhold;
using namespace tavrenhold::test;
using platform::SecretError;
using namespace std::chrono_literals;

namespace {
QStringList vendorNames(const QList<UsageVendor> &vendors)
{
    QStringList names;
    for (const UsageVendor v : vendors)
        names << rawValue(v);
    return names;
}

// The state a connect that did not finish must leave behind.
void verifyNotConnected(StoreRig &rig, UsageVendor vendor)
{
    QVERIFY(!rig.store->connections().contains(vendor));
    QVERIFY(!rig.hasItem(vendor));
    QCOMPARE(rig.store->copilotUserCode(), std::nullopt);
    QVERIFY(!rig.storedEntries().contains(qMakePair(rawValue(vendor), QStringLiteral("connecting"))));
}
} // namespace

class TestConnect : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void webSignInConnects()
    {
        StoreRig rig;
        UsageStore &store = rig.makeSettled();
        store.beginConnect(UsageVendor::anthropic);
        QCOMPARE(rig.web.opened, QList<UsageVendor>{UsageVendor::anthropic});
        QCOMPARE(store.connections().value(UsageVendor::anthropic).state, UsageAuthState::connecting);
        QCOMPARE(rig.storedEntries(), (QList<QPair<QString, QString>>{{"anthropic", "connecting"}}));

        const UsageSession cookies = session({{"sessionKey", "sk/1"}, {"other", "x"}});
        QVERIFY(rig.web.finish(cookies));
        // The first fetch uses the new session; only then is it saved.
        QCOMPARE(rig.clients.fetches.size(), 1);
        QCOMPARE(rig.clients.fetches.at(0).session, cookies);
        QCOMPARE(rig.secrets.item(QStringLiteral("app.tavrenhold.usage.anthropic")),
                 std::optional<QString>("{\"other\":\"x\",\"sessionKey\":\"sk\\/1\"}"));
        QCOMPARE(store.connectedVendors(), QList<UsageVendor>{UsageVendor::anthropic});
        QCOMPARE(store.report(UsageVendor::anthropic), std::optional<UsageReport>(FakeUsageClients::report(UsageVendor::anthropic)));
        QCOMPARE(store.selectedVendor(), std::optional<UsageVendor>(UsageVendor::anthropic));
        QCOMPARE(rig.storedEntries(), (QList<QPair<QString, QString>>{{"anthropic", "connected"}}));
        QVERIFY(store.isPolling());
        QCOMPARE(store.loginError(), std::nullopt);

        // The loop's immediate refresh fetches the vendor a second time.
        QTRY_COMPARE_WITH_TIMEOUT(rig.clients.fetches.size(), 2, 5000);
    }

    void xaiConnectsWithTheGrokLogin()
    {
        StoreRig rig;
        UsageStore &store = rig.makeSettled();
        store.beginConnect(UsageVendor::xai);
        QCOMPARE(rig.clients.grokCalls, 1);
        QVERIFY(rig.web.opened.isEmpty());
        QCOMPARE(rig.clients.fetches.at(0).session, UsageStore::grokMarker());
        QCOMPARE(rig.secrets.item(QStringLiteral("app.tavrenhold.usage.xai")), std::optional<QString>("{\"source\":\"grok-cli\"}"));
        QCOMPARE(store.connectedVendors(), QList<UsageVendor>{UsageVendor::xai});
    }

    // The device code is shown and put on the clipboard while the sign-in waits; afterwards it
    // is gone, whether the sign-in worked or not.
    void copilotDeviceCode_data()
    {
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("approved") << true;
        QTest::newRow("token refused") << false;
    }
    void copilotDeviceCode()
    {
        QFETCH(bool, succeeds);
        StoreRig rig;
        UsageStore &store = rig.makeSettled();
        rig.clients.holdPoll = true;
        if (!succeeds)
            rig.clients.tokenFailure = UsageFetchError::unavailable(UsageVendor::copilot, QStringLiteral("The code expired."));
        store.beginConnect(UsageVendor::copilot);
        QCOMPARE(store.copilotUserCode(), std::optional<QString>("ABCD-1234"));
        QCOMPARE(rig.pasteboard.writes().size(), std::size_t(1));
        QCOMPARE(rig.pasteboard.writes().at(0).text, std::optional<QString>("ABCD-1234"));
        QVERIFY(rig.pasteboard.writes().at(0).data.empty());
        QCOMPARE(rig.urls.opened, QList<QUrl>{QUrl(QStringLiteral("https://github.test/login/device"))});

        QVERIFY(rig.clients.held.release());
        QCOMPARE(store.copilotUserCode(), std::nullopt);
        if (succeeds) {
            QCOMPARE(rig.clients.fetches.at(0).session, session({{"github_token", "gho_token"}}));
            QCOMPARE(rig.secrets.item(QStringLiteral("app.tavrenhold.usage.copilot")),
                     std::optional<QString>("{\"github_token\":\"gho_token\"}"));
            QCOMPARE(store.connectedVendors(), QList<UsageVendor>{UsageVendor::copilot});
        } else {
            verifyNotConnected(rig, UsageVendor::copilot);
            QCOMPARE(store.loginError(), std::optional<QString>("The code expired."));
        }
    }

    // Whatever step fails, the vendor is not connected, nothing is in the keyring, and the
    // failure's text is the sign-in error.
    void failedStep_data()
    {
        QTest::addColumn<UsageVendor>("vendor");
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("loginError");
        QTest::newRow("window closed") << UsageVendor::google << "closed" << "Sign-in cancelled.";
        QTest::newRow("sign-in timed out") << UsageVendor::openai << "timedOut" << "Sign-in timed out. Try again.";
        QTest::newRow("Done too early") << UsageVendor::cursor << "notSignedIn"
                                        << "No session found yet. Finish signing in, then press Done.";
        QTest::newRow("first fetch refused") << UsageVendor::anthropic << "refused"
                                             << "Anthropic session expired. Sign in again in Settings \u203a AI Usage.";
        QTest::newRow("cookies without a session") << UsageVendor::cursor << "unusable"
                                                   << "Cursor session expired. Sign in again in Settings \u203a AI Usage.";
        QTest::newRow("save refused") << UsageVendor::anthropic << "save" << "Could not save session (4).";
        QTest::newRow("no Grok login") << UsageVendor::xai << "grok" << "No Grok CLI login.";
        QTest::newRow("device code refused") << UsageVendor::copilot << "deviceCode" << "Copilot usage returned HTTP 404.";
    }
    void failedStep()
    {
        QFETCH(UsageVendor, vendor);
        QFETCH(QString, step);
        QFETCH(QString, loginError);
        StoreRig rig;
        rig.storeConnected(UsageVendor::google == vendor ? UsageVendor::cursor : UsageVendor::google);
        UsageStore &store = rig.makeSettled();
        const QList<UsageVendor> before = store.connectedVendors();
        rig.secrets.log.clear();

        if (step == "refused")
            rig.clients.results.insert_or_assign(vendor, UsageFetchResult::failure(UsageFetchError::signedOut(vendor)));
        if (step == "save")
            rig.secrets.failWrites = SecretError{SecretError::Kind::failed, 4};
        if (step == "grok")
            rig.clients.grokFailure = UsageFetchError::unavailable(UsageVendor::xai, QStringLiteral("No Grok CLI login."));
        if (step == "deviceCode")
            rig.clients.deviceCodeFailure = UsageFetchError::http(UsageVendor::copilot, 404);
        store.beginConnect(vendor);
        if (step == "closed")
            QVERIFY(rig.web.finish(Result<UsageSession, LoginError>::failure(LoginError{LoginError::Kind::cancelled})));
        else if (step == "timedOut")
            QVERIFY(rig.web.finish(Result<UsageSession, LoginError>::failure(LoginError{LoginError::Kind::timedOut})));
        else if (step == "notSignedIn")
            QVERIFY(rig.web.finish(Result<UsageSession, LoginError>::failure(LoginError{LoginError::Kind::notSignedIn})));
        else if (step == "unusable")
            QVERIFY(rig.web.finish(session({{"WorkosCursorSessionToken", ""}})));
        else if (rig.web.isOpen())
            QVERIFY(rig.web.finish(usableSession(vendor)));

        verifyNotConnected(rig, vendor);
        QCOMPARE(store.loginError(), std::optional<QString>(loginError));
        QCOMPARE(store.lastError(), std::optional<QString>(loginError));
        QCOMPARE(store.connectedVendors(), before);
        QVERIFY(store.isPolling());
        if (step != "save")
            QVERIFY(!rig.secrets.log.contains("write " + VendorSessionStore::service(vendor)));

        // The next connect clears the error as it begins.
        store.beginConnect(UsageVendor::openai);
        QCOMPARE(store.loginError(), std::nullopt);
    }

    // A connect cancelled at any await (the row's cancel button, which disconnects the vendor
    // being connected, or a connect of another vendor) winds down silently and leaves nothing
    // behind, not even what its save wrote.
    void cancelledAtEachAwait_data()
    {
        QTest::addColumn<UsageVendor>("vendor");
        QTest::addColumn<QString>("await");
        QTest::addColumn<bool>("superseded");
        QTest::newRow("web sign-in") << UsageVendor::cursor << "signIn" << false;
        QTest::newRow("grok login") << UsageVendor::xai << "grok" << false;
        QTest::newRow("device code") << UsageVendor::copilot << "deviceCode" << false;
        QTest::newRow("token poll") << UsageVendor::copilot << "poll" << false;
        QTest::newRow("token poll, another connect") << UsageVendor::copilot << "poll" << true;
        QTest::newRow("first fetch") << UsageVendor::anthropic << "fetch" << false;
        QTest::newRow("first fetch, another connect") << UsageVendor::anthropic << "fetch" << true;
        QTest::newRow("save: deleting the old item") << UsageVendor::google << "saveDelete" << false;
        QTest::newRow("save: writing the new item") << UsageVendor::google << "saveWrite" << false;
        QTest::newRow("save: writing, another connect") << UsageVendor::google << "saveWrite" << true;
    }
    void cancelledAtEachAwait()
    {
        QFETCH(UsageVendor, vendor);
        QFETCH(QString, await);
        QFETCH(bool, superseded);
        StoreRig rig;
        UsageStore &store = rig.makeSettled();
        rig.clients.holdGrok = await == "grok";
        rig.clients.holdDeviceCode = await == "deviceCode";
        rig.clients.holdPoll = await == "poll";
        rig.clients.holdFetches = await == "fetch";
        store.beginConnect(vendor);
        if (rig.web.isOpen() && await != "signIn") {
            rig.secrets.hold = await.startsWith("save");
            QVERIFY(rig.web.finish(usableSession(vendor)));
        }
        if (await == "saveWrite")
            QVERIFY(rig.secrets.release()); // the delete; the write now waits

        if (superseded) {
            store.beginConnect(UsageVendor::openai); // its window stays open
        } else {
            store.disconnect(vendor);
            QCOMPARE(rig.web.isOpen(), false);
        }
        // Let every held call finish as the vendor would have answered.
        rig.secrets.hold = false;
        while (rig.clients.held.release() || rig.secrets.release()) {
        }
        QCoreApplication::processEvents();

        verifyNotConnected(rig, vendor);
        QCOMPARE(store.loginError(), std::nullopt);
        QVERIFY(store.connectedVendors().isEmpty());
        QVERIFY(!store.isPolling());
        QVERIFY(store.reports().isEmpty());
        if (await == "saveWrite")
            QVERIFY(rig.secrets.log.contains("write " + VendorSessionStore::service(vendor)));
    }

    // Starting another connect cancels the one in progress: its window closes, it winds down
    // without an error, and the new vendor is connecting.
    void newConnectSupersedesTheOld()
    {
        StoreRig rig;
        UsageStore &store = rig.makeSettled();
        store.beginConnect(UsageVendor::openai);
        QVERIFY(rig.web.isOpen());
        store.beginConnect(UsageVendor::google);
        QCOMPARE(rig.web.cancelOpenCalls, 1);
        QCOMPARE(rig.web.opened, (QList<UsageVendor>{UsageVendor::openai, UsageVendor::google}));
        QVERIFY(!store.connections().contains(UsageVendor::openai));
        QCOMPARE(store.connections().value(UsageVendor::google).state, UsageAuthState::connecting);
        QCOMPARE(store.loginError(), std::nullopt);
        QVERIFY(rig.web.finish(usableSession(UsageVendor::google)));
        QCOMPARE(store.connectedVendors(), QList<UsageVendor>{UsageVendor::google});
    }

    // Connecting a vendor again while its first connect waits for the vendor: the first one's
    // wind-down must not take the second one's entry or code.
    void reconnectWhileTheFirstConnectFetches()
    {
        StoreRig rig;
        UsageStore &store = rig.makeSettled();
        rig.clients.holdFetches = true;
        store.beginConnect(UsageVendor::xai);
        QCOMPARE(rig.clients.fetches.size(), 1);
        rig.clients.holdGrok = true;
        store.beginConnect(UsageVendor::xai);
        QVERIFY(rig.clients.held.release()); // the first connect's fetch ends, cancelled
        QCOMPARE(store.connections().value(UsageVendor::xai).state, UsageAuthState::connecting);
        QVERIFY(!rig.hasItem(UsageVendor::xai));
        rig.clients.holdFetches = false;
        QVERIFY(rig.clients.held.release()); // the second one's Grok login
        QCOMPARE(store.connectedVendors(), QList<UsageVendor>{UsageVendor::xai});
        QVERIFY(rig.hasItem(UsageVendor::xai));
        QCOMPARE(store.loginError(), std::nullopt);
    }

    void highlightFollowsConnections()
    {
        StoreRig rig;
        UsageStore &store = rig.makeSettled();
        for (const UsageVendor vendor : {UsageVendor::xai, UsageVendor::copilot, UsageVendor::anthropic}) {
            store.beginConnect(vendor);
            if (rig.web.isOpen())
                QVERIFY(rig.web.finish(usableSession(vendor)));
        }
        QCOMPARE(vendorNames(store.connectedVendors()), (QStringList{"anthropic", "copilot", "xai"}));
        // The first connected vendor stays highlighted.
        QCOMPARE(store.selectedVendor(), std::optional<UsageVendor>(UsageVendor::xai));
        store.disconnect(UsageVendor::xai);
        QCOMPARE(store.selectedVendor(), std::optional<UsageVendor>(UsageVendor::anthropic));
        QVERIFY(!rig.hasItem(UsageVendor::xai));
        QVERIFY(!store.report(UsageVendor::xai));
        QCOMPARE(rig.storedEntries(), (QList<QPair<QString, QString>>{{"anthropic", "connected"}, {"copilot", "connected"}}));
        store.disconnect(UsageVendor::copilot);
        store.disconnect(UsageVendor::anthropic);
        QCOMPARE(store.selectedVendor(), std::nullopt);
        QVERIFY(!rig.defaults.contains(QStringLiteral("usage.selectedVendor")));
        QVERIFY(!store.isPolling());
        QCOMPARE(rig.defaults.data(QStringLiteral("usage.connections")), std::optional<QByteArray>("[]"));
    }

    // The pane grows and goes live while a vendor is connected.
    void paneFollowsConnections()
    {
        StoreRig rig;
        UsageStore &store = rig.makeSettled();
        UsagePane pane(store);
        QSignalSpy height(&pane, &NotchPane::contentHeightChanged);
        QCOMPARE(pane.contentHeight(), UsagePane::height);
        QVERIFY(!pane.idle().isLive);
        store.beginConnect(UsageVendor::xai);
        QCOMPARE(pane.contentHeight(), UsagePane::connectedHeight);
        QVERIFY(pane.idle().isLive);
        QCOMPARE(pane.idle().priority, 24);
        store.disconnectAll();
        QCOMPARE(pane.contentHeight(), UsagePane::height);
        QCOMPARE(height.count(), 2);
    }

    void disconnectWithoutEntryStillDeletesTheItem()
    {
        StoreRig rig;
        rig.storeSession(UsageVendor::cursor, usableSession(UsageVendor::cursor));
        UsageStore &store = rig.makeSettled();
        rig.defaults.remove(QStringLiteral("usage.connections"));
        store.disconnect(UsageVendor::cursor);
        QVERIFY(!rig.hasItem(UsageVendor::cursor));
        QCOMPARE(rig.defaults.data(QStringLiteral("usage.connections")), std::optional<QByteArray>("[]"));
    }

    void disconnectAllClearsEverything()
    {
        StoreRig rig;
        rig.storeConnected(UsageVendor::google);
        rig.storeConnected(UsageVendor::openai);
        rig.secrets.setItem(VendorSessionStore::legacyService, QStringLiteral("old"), VendorSessionStore::legacyAccount);
        UsageStore &store = rig.makeSettled();
        rig.clients.results.insert_or_assign(UsageVendor::cursor, UsageFetchResult::failure(CursorClientError::unauthorized()));
        store.beginConnect(UsageVendor::cursor);
        QVERIFY(rig.web.finish(usableSession(UsageVendor::cursor)));
        QVERIFY(store.loginError());
        rig.secrets.log.clear();

        store.disconnectAll();
        QVERIFY(!rig.web.isOpen());
        QVERIFY(rig.secrets.items.isEmpty());
        QCOMPARE(rig.secrets.log.size(), 7);
        QVERIFY(store.connections().isEmpty() && store.reports().isEmpty() && store.errors().isEmpty());
        QVERIFY(store.samples().isEmpty());
        QCOMPARE(store.lastRefreshedAt(), std::nullopt);
        QCOMPARE(store.loginError(), std::nullopt);
        QCOMPARE(store.selectedVendor(), std::nullopt);
        QVERIFY(!rig.defaults.contains(QStringLiteral("usage.selectedVendor")));
        QCOMPARE(rig.defaults.data(QStringLiteral("usage.connections")), std::optional<QByteArray>("[]"));
        QVERIFY(!store.isPolling());
    }
};

QTEST_GUILESS_MAIN(TestConnect)
#include "tst_connect.moc"
