// The usage store and its session items against a real gnome-keyring in a private session
// (tests/peers/keyring-session.sh); the vendors, sign-in and clock are fakes.
#include "KeyringPeer.h"
#include "StoreRig.h"
#include "fakes/TaskResult.h"

#include "platform/SecretStore.h"
#include "usage/VendorSessionStore.h"

#include <QTest>

using namespace tavrenhold;
using namespace tavrenhold::test;
namespace keyring = tavrenhold::test::keyring;

namespace {
// The usage store of StoreRig, but over the real keyring.
class KeyringStoreRig : public StoreRig {
public:
    UsageStore &makeOnKeyring()
    {
        store = std::make_unique<UsageStore>(UsageStoreServices{
            .defaults = defaults,
            .secrets = keychain,
            .clock = clock,
            .clients = clients.clients(),
            .webSignIn = &web,
            .urlOpener = urls,
            .clipboard = [this]() -> platform::Pasteboard & { return pasteboard; },
            .network = network,
        });
        return *store;
    }
    // The store goes first: it must not outlive the keyring it uses.
    ~KeyringStoreRig() { store.reset(); }
    platform::KeychainSecretStore keychain;
};

std::optional<QByteArray> item(UsageVendor vendor)
{
    return keyring::lookup(VendorSessionStore::service(vendor), QStringLiteral("session"));
}
} // namespace

class TestKeyringUsageStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(keyring::inPrivateSession(), "run through tests/peers/keyring-session.sh"); }

    void init()
    {
        QVERIFY(keyring::unlock());
        platform::KeychainSecretStore keychain;
        VendorSessionStore sessions(keychain);
        QCOMPARE(resultOf(sessions.clearAll()), std::optional<QList<UsageVendor>>(QList<UsageVendor>{}));
    }

    // The exact bytes another program finds under the vendor's service and account "session".
    void savedItemBytes_data()
    {
        QTest::addColumn<UsageVendor>("vendor");
        QTest::addColumn<UsageSession>("session");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("xai marker") << UsageVendor::xai << UsageStore::grokMarker() << QByteArray("{\"source\":\"grok-cli\"}");
        QTest::newRow("cookies, sorted, slashes escaped")
            << UsageVendor::openai
            << session({{"__Secure-next-auth.session-token", "a/b+c=="}, {"__Host-x", "1"}})
            << QByteArray("{\"__Host-x\":\"1\",\"__Secure-next-auth.session-token\":\"a\\/b+c==\"}");
    }
    void savedItemBytes()
    {
        QFETCH(UsageVendor, vendor);
        QFETCH(UsageSession, session);
        QFETCH(QByteArray, bytes);
        platform::KeychainSecretStore keychain;
        VendorSessionStore sessions(keychain);
        QVERIFY(resultOf(sessions.save(vendor, session))->ok());
        QCOMPARE(item(vendor), std::optional<QByteArray>(bytes));
        QCOMPARE(resultOf(sessions.load(vendor)), std::optional<SessionLoad>(std::optional<UsageSession>(session)));
    }

    void savingTwiceKeepsOneItem()
    {
        platform::KeychainSecretStore keychain;
        VendorSessionStore sessions(keychain);
        QVERIFY(resultOf(sessions.save(UsageVendor::copilot, session({{"github_token", "first"}})))->ok());
        QVERIFY(resultOf(sessions.save(UsageVendor::copilot, session({{"github_token", "second"}})))->ok());
        QProcess search;
        search.start(QStringLiteral("secret-tool"), QStringList{QStringLiteral("search"), QStringLiteral("--all")}
                                                        + keyring::attributes(VendorSessionStore::service(UsageVendor::copilot),
                                                                              QStringLiteral("session")));
        QVERIFY(search.waitForFinished(20000));
        const QByteArray listing = search.readAllStandardOutput() + search.readAllStandardError();
        QCOMPARE(listing.count("secret = "), 1);
        QCOMPARE(item(UsageVendor::copilot), std::optional<QByteArray>("{\"github_token\":\"second\"}"));
    }

    // Items another program left: whatever is no non-empty object of texts reads as no session.
    void malformedItems_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("empty object") << QByteArray("{}");
        QTest::newRow("array") << QByteArray("[\"SID\"]");
        QTest::newRow("number value") << QByteArray("{\"SID\":1}");
        QTest::newRow("not JSON") << QByteArray("SID=abc");
    }
    void malformedItems()
    {
        QFETCH(QByteArray, stored);
        QVERIFY(keyring::store(VendorSessionStore::service(UsageVendor::google), QStringLiteral("session"), stored));
        platform::KeychainSecretStore keychain;
        VendorSessionStore sessions(keychain);
        QCOMPARE(resultOf(sessions.load(UsageVendor::google)), std::optional<SessionLoad>(std::optional<UsageSession>()));
        QCOMPARE(resultOf(sessions.load(UsageVendor::anthropic)), std::optional<SessionLoad>(std::optional<UsageSession>()));
    }

    void clearAllTakesTheLegacyItem()
    {
        QVERIFY(keyring::store(VendorSessionStore::legacyService, VendorSessionStore::legacyAccount, "old-cookie"));
        QVERIFY(keyring::store(VendorSessionStore::service(UsageVendor::cursor), QStringLiteral("session"),
                               "{\"WorkosCursorSessionToken\":\"t\"}"));
        QVERIFY(keyring::store(QStringLiteral("app.tavrenhold.other"), QStringLiteral("session"), "kept"));
        platform::KeychainSecretStore keychain;
        VendorSessionStore sessions(keychain);
        QCOMPARE(resultOf(sessions.clearAll()), std::optional<QList<UsageVendor>>(QList<UsageVendor>{}));
        QCOMPARE(keyring::lookup(VendorSessionStore::legacyService, VendorSessionStore::legacyAccount), std::nullopt);
        QCOMPARE(item(UsageVendor::cursor), std::nullopt);
        QCOMPARE(keyring::lookup(QStringLiteral("app.tavrenhold.other"), QStringLiteral("session")),
                 std::optional<QByteArray>("kept"));
    }

    // Connecting stores the item only after the first fetch; disconnecting deletes it.
    void connectThenDisconnect()
    {
        KeyringStoreRig rig;
        UsageStore &store = rig.makeOnKeyring();
        QTRY_VERIFY_WITH_TIMEOUT(store.isStarted(), 30000);
        store.beginConnect(UsageVendor::anthropic);
        QVERIFY(rig.web.finish(session({{"sessionKey", "sk-ant/1"}})));
        QTRY_COMPARE_WITH_TIMEOUT(store.connectedVendors(), QList<UsageVendor>{UsageVendor::anthropic}, 30000);
        QCOMPARE(item(UsageVendor::anthropic), std::optional<QByteArray>("{\"sessionKey\":\"sk-ant\\/1\"}"));

        // The vendor goes once the keyring has deleted the item (and said it is unlocked).
        store.disconnect(UsageVendor::anthropic);
        QTRY_VERIFY_WITH_TIMEOUT(store.connectedVendors().isEmpty(), 30000);
        QCOMPARE(item(UsageVendor::anthropic), std::nullopt);
    }

    // A keyring locked at start-up: every connection and item stays; refreshes say the keyring
    // is locked; once it is unlocked the next refresh reads the sessions.
    void lockedAtStartUp()
    {
        KeyringStoreRig rig;
        rig.storeConnections({{"anthropic", "connected"}, {"cursor", "connected"}});
        QVERIFY(keyring::store(VendorSessionStore::service(UsageVendor::anthropic), QStringLiteral("session"),
                               "{\"sessionKey\":\"k\"}"));
        QVERIFY(keyring::store(VendorSessionStore::service(UsageVendor::cursor), QStringLiteral("session"),
                               "{\"WorkosCursorSessionToken\":\"c\"}"));
        QVERIFY(keyring::lock());

        UsageStore &store = rig.makeOnKeyring();
        QTRY_VERIFY_WITH_TIMEOUT(store.isStarted(), 30000);
        QCOMPARE(store.connectedVendors(), (QList<UsageVendor>{UsageVendor::anthropic, UsageVendor::cursor}));
        QTRY_VERIFY_WITH_TIMEOUT(store.lastRefreshedAt().has_value(), 30000);
        QCOMPARE(store.errors().value(UsageVendor::cursor),
                 QStringLiteral("Cursor session is in a locked or unavailable keyring. Unlock it, then refresh."));
        QVERIFY(rig.clients.fetches.isEmpty());
        QCOMPARE(rig.storedEntries().size(), 2);

        QVERIFY(keyring::unlock());
        QVERIFY(item(UsageVendor::anthropic) && item(UsageVendor::cursor));
        QVERIFY(finishes(store.refresh()));
        QCOMPARE(rig.clients.fetches.size(), 2);
        QVERIFY(store.errors().isEmpty());
        QCOMPARE(store.reports().size(), 2);
    }

    // A locked keyring answers a delete with success and keeps the item: whatever would remove or
    // replace a connected vendor's session leaves the vendor connected, its row saying the keyring
    // is locked, and the item as it was.
    void lockedKeyringKeepsTheConnection_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("disconnect") << QStringLiteral("disconnect");
        QTest::newRow("disconnect all") << QStringLiteral("disconnect all");
        QTest::newRow("connect again") << QStringLiteral("connect again");
        QTest::newRow("start-up drops a half-finished connect") << QStringLiteral("start-up");
    }
    void lockedKeyringKeepsTheConnection()
    {
        QFETCH(QString, action);
        const QByteArray stored = "{\"sessionKey\":\"old\"}";
        const QString lockedText = UsageStore::keyringUnavailableText(UsageVendor::anthropic);
        KeyringStoreRig rig;
        rig.storeConnections({{"anthropic", action == u"start-up" ? "connecting" : "connected"}});
        QVERIFY(keyring::store(VendorSessionStore::service(UsageVendor::anthropic), QStringLiteral("session"), stored));
        if (action == u"start-up")
            QVERIFY(keyring::lock());

        UsageStore &store = rig.makeOnKeyring();
        // The first refresh has ended (the next one is 300 s away on the manual clock): from here on
        // only the action can touch the keyring or the row.
        QTRY_VERIFY_WITH_TIMEOUT(store.lastRefreshedAt().has_value(), 30000);
        if (action != u"start-up")
            QVERIFY(store.errors().isEmpty());
        QVERIFY(keyring::lock());
        if (action == u"disconnect") {
            store.disconnect(UsageVendor::anthropic);
        } else if (action == u"disconnect all") {
            store.disconnectAll();
        } else if (action == u"connect again") {
            store.beginConnect(UsageVendor::anthropic);
            QVERIFY(rig.web.finish(session({{"sessionKey", "new"}})));
        }
        QTRY_COMPARE_WITH_TIMEOUT(store.errors().value(UsageVendor::anthropic), lockedText, 30000);
        QCOMPARE(store.connectedVendors(), QList<UsageVendor>{UsageVendor::anthropic});
        QCOMPARE(store.state(UsageVendor::anthropic), UsageAuthState::connected);
        QCOMPARE(rig.storedEntries(), (QList<QPair<QString, QString>>{{"anthropic", "connected"}}));

        QVERIFY(keyring::unlock());
        QCOMPARE(item(UsageVendor::anthropic), std::optional<QByteArray>(stored));
        // Unlocked, the same action goes through.
        if (action != u"connect again") {
            store.disconnect(UsageVendor::anthropic);
            QTRY_VERIFY_WITH_TIMEOUT(store.connectedVendors().isEmpty(), 30000);
            QCOMPARE(item(UsageVendor::anthropic), std::nullopt);
        }
    }
};

QTEST_GUILESS_MAIN(TestKeyringUsageStore)
#include "keyring_usagestore.moc"
