// labels: unit
// Session items: their exact bytes, what reads as a session, and a keyring error kept apart from
// "no session". The same against the real keyring: keyring_sessionstore.cpp.
#include "fakes/FakeSecretStore.h"
#include "fakes/TaskResult.h"

#include "usage/VendorSessionStore.h"

#include <QTest>

using namespace tavrenhold;
using namespace tavrenhold::test;
using platform::SecretError;

Q_DECLARE_METATYPE(std::optional<UsageSession>)

namespace {
QCoro::Task<void> keep(QCoro::Task<Status<SessionSaveError>> task, std::optional<Status<SessionSaveError>> &out)
{
    out = co_await std::move(task);
}
} // namespace

class TestSessionStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void encode_data()
    {
        QTest::addColumn<UsageSession>("session");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("xai marker") << UsageSession{{"source", "grok-cli"}} << QByteArray("{\"source\":\"grok-cli\"}");
        QTest::newRow("keys sorted") << UsageSession{{"b", "1"}, {"A", "2"}, {"a", "3"}}
                                     << QByteArray("{\"A\":\"2\",\"a\":\"3\",\"b\":\"1\"}");
        QTest::newRow("slashes escaped") << UsageSession{{"path/key", "https://x.test/a/b"}}
                                         << QByteArray("{\"path\\/key\":\"https:\\/\\/x.test\\/a\\/b\"}");
        QTest::newRow("quotes, backslash, newline") << UsageSession{{"k", "a\"b\\c\nd"}}
                                                    << QByteArray("{\"k\":\"a\\\"b\\\\c\\nd\"}");
        QTest::newRow("non-ASCII as UTF-8") << UsageSession{{"k", QString::fromUtf8("grüße – 日")}}
                                            << QByteArray("{\"k\":\"gr\xc3\xbc\xc3\x9f" "e \xe2\x80\x93 \xe6\x97\xa5\"}");
    }
    void encode()
    {
        QFETCH(UsageSession, session);
        QFETCH(QByteArray, bytes);
        QCOMPARE(VendorSessionStore::encode(session), bytes);
        QCOMPARE(VendorSessionStore::decode(bytes), std::optional<UsageSession>(session));
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<std::optional<UsageSession>>("session");
        QTest::newRow("empty object") << QByteArray("{}") << std::optional<UsageSession>();
        QTest::newRow("array") << QByteArray("[\"a\",\"b\"]") << std::optional<UsageSession>();
        QTest::newRow("number value") << QByteArray("{\"a\":\"b\",\"n\":1}") << std::optional<UsageSession>();
        QTest::newRow("null value") << QByteArray("{\"a\":null}") << std::optional<UsageSession>();
        QTest::newRow("object value") << QByteArray("{\"a\":{\"b\":\"c\"}}") << std::optional<UsageSession>();
        QTest::newRow("not JSON") << QByteArray("sessionKey=abc") << std::optional<UsageSession>();
        QTest::newRow("empty") << QByteArray() << std::optional<UsageSession>();
        QTest::newRow("string") << QByteArray("\"abc\"") << std::optional<UsageSession>();
        QTest::newRow("unescaped slash, spaces") << QByteArray(" { \"a\" : \"x/y\" } ")
                                                 << std::optional<UsageSession>(UsageSession{{"a", "x/y"}});
        QTest::newRow("empty value") << QByteArray("{\"sessionKey\":\"\"}")
                                     << std::optional<UsageSession>(UsageSession{{"sessionKey", ""}});
    }
    void decode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(std::optional<UsageSession>, session);
        QCOMPARE(VendorSessionStore::decode(bytes), session);
    }

    // Only a confirmed absence or a malformed item is "no session"; a keyring that cannot answer
    // is an error the caller sees.
    void loadTellsNoSessionFromStoreError()
    {
        FakeSecretStore secrets;
        VendorSessionStore sessions(secrets);
        QCOMPARE(resultOf(sessions.load(UsageVendor::cursor)), std::optional<SessionLoad>(std::optional<UsageSession>()));

        secrets.setItem(QStringLiteral("app.tavrenhold.usage.cursor"), QStringLiteral("[1]"));
        QCOMPARE(resultOf(sessions.load(UsageVendor::cursor)), std::optional<SessionLoad>(std::optional<UsageSession>()));

        secrets.setItem(QStringLiteral("app.tavrenhold.usage.cursor"), QStringLiteral("{\"WorkosCursorSessionToken\":\"t\"}"));
        const auto found = resultOf(sessions.load(UsageVendor::cursor));
        QVERIFY(found && found->ok());
        QCOMPARE(found->value(), std::optional<UsageSession>(UsageSession{{"WorkosCursorSessionToken", "t"}}));

        secrets.failReads = SecretError{SecretError::Kind::locked, 1};
        const auto locked = resultOf(sessions.load(UsageVendor::cursor));
        QVERIFY(locked && !locked->ok());
        QCOMPARE(locked->error(), *secrets.failReads);
    }

    void saveReplacesTheItem()
    {
        FakeSecretStore secrets;
        VendorSessionStore sessions(secrets);
        QVERIFY(resultOf(sessions.save(UsageVendor::xai, UsageSession{{"source", "grok-cli"}}))->ok());
        QCOMPARE(secrets.item(QStringLiteral("app.tavrenhold.usage.xai")), std::optional<QString>("{\"source\":\"grok-cli\"}"));
        QCOMPARE(secrets.log, (QStringList{"remove app.tavrenhold.usage.xai", "write app.tavrenhold.usage.xai"}));
    }

    // A refused write leaves no item (the old one was deleted first) and reports the keyring's
    // number in signed decimal.
    void failedSaveLeavesNoItem_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("locked") << 4 << QStringLiteral("Could not save session (4).");
        QTest::newRow("negative") << -25299 << QStringLiteral("Could not save session (-25299).");
    }
    void failedSaveLeavesNoItem()
    {
        QFETCH(int, code);
        QFETCH(QString, message);
        FakeSecretStore secrets;
        secrets.setItem(QStringLiteral("app.tavrenhold.usage.copilot"), QStringLiteral("{\"github_token\":\"old\"}"));
        secrets.failWrites = SecretError{SecretError::Kind::failed, code};
        VendorSessionStore sessions(secrets);
        const auto saved = resultOf(sessions.save(UsageVendor::copilot, UsageSession{{"github_token", "new"}}));
        QVERIFY(saved && !saved->ok());
        QCOMPARE(saved->error().errorDescription(), message);
        QCOMPARE(secrets.item(QStringLiteral("app.tavrenhold.usage.copilot")), std::optional<QString>());
    }

    // Cancelled while the old item is being deleted: the new one is never written.
    void saveCancelledBeforeTheWriteWritesNothing()
    {
        FakeSecretStore secrets;
        secrets.hold = true;
        VendorSessionStore sessions(secrets);
        CancelToken token;
        std::optional<Status<SessionSaveError>> saved;
        auto run = keep(sessions.save(UsageVendor::google, UsageSession{{"SID", "x"}}, token), saved);
        token.cancel();
        QVERIFY(secrets.release());
        QVERIFY(saved && !saved->ok());
        QCOMPARE(saved->error().kind, SessionSaveError::Kind::cancelled);
        QCOMPARE(secrets.log, QStringList{"remove app.tavrenhold.usage.google"});
        QVERIFY(secrets.items.isEmpty());
    }

    void clearAllDeletesSixItemsAndTheLegacyOne()
    {
        FakeSecretStore secrets;
        secrets.setItem(QStringLiteral("app.tavrenhold.cursor"), QStringLiteral("old"), QStringLiteral("WorkosCursorSessionToken"));
        secrets.setItem(QStringLiteral("app.tavrenhold.usage.anthropic"), QStringLiteral("{\"sessionKey\":\"k\"}"));
        secrets.setItem(QStringLiteral("app.tavrenhold.other"), QStringLiteral("kept"));
        VendorSessionStore sessions(secrets);
        QCOMPARE(resultOf(sessions.clearAll()), std::optional<QList<UsageVendor>>(QList<UsageVendor>{}));
        QCOMPARE(secrets.log, (QStringList{"remove app.tavrenhold.usage.openai", "remove app.tavrenhold.usage.anthropic",
                                           "remove app.tavrenhold.usage.google", "remove app.tavrenhold.usage.xai",
                                           "remove app.tavrenhold.usage.cursor", "remove app.tavrenhold.usage.copilot",
                                           "remove app.tavrenhold.cursor"}));
        QCOMPARE(secrets.items.keys(), (QList<QPair<QString, QString>>{{"app.tavrenhold.other", "session"}}));
    }
};

QTEST_GUILESS_MAIN(TestSessionStore)
#include "tst_sessionstore.moc"
