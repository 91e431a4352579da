// The keyring layer against a real gnome-keyring in a private session (tests/peers/keyring-session.sh).
#include "KeyringPeer.h"
#include "fakes/TaskResult.h"

#include "platform/SecretStore.h"

#include <QCoroTask>
#include <QTest>

using namespace tavrenhold;
using namespace tavrenhold::platform;
using tavrenhold::test::resultOf;
namespace keyring = tavrenhold::test::keyring;

class TestKeyringSecretStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(keyring::inPrivateSession(), "run through tests/peers/keyring-session.sh"); }

    void init()
    {
        QVERIFY(keyring::unlock());
        QVERIFY(resultOf(m_store.remove(m_service, m_key)));
    }

    // Text goes in as text: another program reads the very bytes, and so do we.
    void writtenTextIsStoredByteForByte()
    {
        const QString text = QStringLiteral("{\"a\\/b\":\"gr\u00fc\u00dfe \u2013 \u65e5\"}");
        QVERIFY(resultOf(m_store.write(m_service, m_key, text))->ok());
        QCOMPARE(keyring::lookup(m_service, m_key), std::optional<QByteArray>(text.toUtf8()));
        const SecretRead read = resultOf(m_store.read(m_service, m_key)).value();
        QVERIFY(read.ok());
        QCOMPARE(read.value(), std::optional<QString>(text));

        QVERIFY(resultOf(m_store.write(m_service, m_key, QStringLiteral("second")))->ok());
        QCOMPARE(keyring::lookup(m_service, m_key), std::optional<QByteArray>("second"));
    }

    void absenceIsConfirmedWhileUnlocked()
    {
        const SecretRead read = resultOf(m_store.read(m_service, QStringLiteral("never-written"))).value();
        QVERIFY(read.ok());
        QCOMPARE(read.value(), std::optional<QString>());
        // Deleting what is not there is no error either.
        QVERIFY(resultOf(m_store.remove(m_service, QStringLiteral("never-written")))->ok());
    }

    void removeDeletesTheItem()
    {
        QVERIFY(keyring::store(m_service, m_key, "seeded"));
        QVERIFY(resultOf(m_store.remove(m_service, m_key))->ok());
        QCOMPARE(keyring::lookup(m_service, m_key), std::optional<QByteArray>());
        const SecretRead read = resultOf(m_store.read(m_service, m_key)).value();
        QVERIFY(read.ok() && !read.value());
    }

    // A locked collection hides its items: the read is a store error, never "not found"; a write
    // and a delete (which the keyring answers with success) are locked-keyring errors too. Unlocked
    // again, the item is there, untouched.
    void lockedCollectionIsAStoreError()
    {
        QVERIFY(keyring::store(m_service, m_key, "kept"));
        QVERIFY(keyring::lock());

        const SecretRead read = resultOf(m_store.read(m_service, m_key)).value();
        QVERIFY(!read.ok());
        QCOMPARE(read.error().kind, SecretError::Kind::locked);
        const SecretRead absent = resultOf(m_store.read(m_service, QStringLiteral("never-written"))).value();
        QVERIFY(!absent.ok());

        const Status<SecretError> write = resultOf(m_store.write(m_service, m_key, QStringLiteral("new"))).value();
        QVERIFY(!write.ok());
        QCOMPARE(write.error(), (SecretError{SecretError::Kind::locked, 4}));
        const Status<SecretError> removed = resultOf(m_store.remove(m_service, m_key)).value();
        QVERIFY(!removed.ok());
        QCOMPARE(removed.error(), (SecretError{SecretError::Kind::locked, 4}));

        QVERIFY(keyring::unlock());
        const SecretRead again = resultOf(m_store.read(m_service, m_key)).value();
        QVERIFY(again.ok());
        QCOMPARE(again.value(), std::optional<QString>(QStringLiteral("kept")));
    }

    // A keyring daemon that restarts under a running program: the jobs after it work again, on
    // the items the new daemon loaded from disk.
    void jobsWorkAfterTheDaemonRestarts()
    {
        QVERIFY(resultOf(m_store.write(m_service, m_key, QStringLiteral("before")))->ok());
        QVERIFY(keyring::restart());
        // The first job may still meet the old connection; the ones after it must not.
        (void)resultOf(m_store.read(m_service, m_key));
        const SecretRead read = resultOf(m_store.read(m_service, m_key)).value();
        QVERIFY(read.ok());
        QCOMPARE(read.value(), std::optional<QString>(QStringLiteral("before")));
        QVERIFY(resultOf(m_store.write(m_service, m_key, QStringLiteral("after")))->ok());
        QCOMPARE(keyring::lookup(m_service, m_key), std::optional<QByteArray>("after"));
        QVERIFY(resultOf(m_store.remove(m_service, m_key))->ok());
        QCOMPARE(keyring::lookup(m_service, m_key), std::optional<QByteArray>());
    }

    // Jobs started together run one after another in the order they were asked for.
    void jobsRunInOrder()
    {
        QStringList order;
        auto write = [&](QString text) -> QCoro::Task<void> {
            const auto done = co_await m_store.write(m_service, m_key, text);
            order << QStringLiteral("write ") + text + (done.ok() ? QString() : QStringLiteral(" failed"));
        };
        auto read = [&]() -> QCoro::Task<void> {
            const auto done = co_await m_store.read(m_service, m_key);
            order << QStringLiteral("read ") + (done.ok() ? done.value().value_or(QStringLiteral("-")) : QStringLiteral("error"));
        };
        auto remove = [&]() -> QCoro::Task<void> {
            const auto done = co_await m_store.remove(m_service, m_key);
            order << QStringLiteral("remove") + (done.ok() ? QString() : QStringLiteral(" failed"));
        };
        auto a = write(QStringLiteral("1"));
        auto b = read();
        auto c = write(QStringLiteral("2"));
        auto d = read();
        auto e = remove();
        auto f = read();
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), 6, 60000);
        QCOMPARE(order, (QStringList{QStringLiteral("write 1"), QStringLiteral("read 1"), QStringLiteral("write 2"),
                                     QStringLiteral("read 2"), QStringLiteral("remove"), QStringLiteral("read -")}));
    }

private:
    KeychainSecretStore m_store;
    const QString m_service = QStringLiteral("app.tavrenhold.test.secretstore");
    const QString m_key = QStringLiteral("session");
};

QTEST_GUILESS_MAIN(TestKeyringSecretStore)
#include "keyring_secretstore.moc"
