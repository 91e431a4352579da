#pragma once

// A usage store over fakes: defaults in a temporary file, an in-memory keyring, a manual clock,
// scripted clients, a sign-in window, a URL opener and a clipboard that the test drives.
#include "fakes/FakePasteboard.h"
#include "fakes/FakeSecretStore.h"
#include "fakes/FakeUsageServices.h"
#include "fakes/ManualClock.h"
#include "fakes/TaskResult.h"

#include "platform/Defaults.h"
#include "usage/UsageStore.h"
#include "usage/VendorSessionStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

Q_DECLARE_METATYPE(tavrenhold::UsageVendor)
Q_DECLARE_METATYPE(tavrenhold::UsagePeriod)

namespace tavrenhold::test {

inline UsageSession session(std::initializer_list<std::pair<QString, QString>> entries)
{
    UsageSession s;
    for (const auto &[k, v] : entries)
        s.insert(k, v);
    return s;
}

// A session each vendor accepts.
inline UsageSession usableSession(UsageVendor vendor)
{
    switch (vendor) {
    case UsageVendor::openai: return session({{QStringLiteral("__Secure-next-auth.session-token"), QStringLiteral("o")}});
    case UsageVendor::anthropic: return session({{QStringLiteral("sessionKey"), QStringLiteral("sk-a/b")}});
    case UsageVendor::google: return session({{QStringLiteral("SID"), QStringLiteral("g")}});
    case UsageVendor::xai: return UsageStore::grokMarker();
    case UsageVendor::cursor: return session({{QStringLiteral("WorkosCursorSessionToken"), QStringLiteral("c")}});
    case UsageVendor::copilot: return session({{QStringLiteral("github_token"), QStringLiteral("gho")}});
    }
    return {};
}

class StoreRig {
public:
    StoreRig() : defaults(dir.filePath(QStringLiteral("defaults.json"))) {}

    // What start-up finds: stored connections (vendor raw → state raw) and keyring items.
    void storeConnections(const QList<QPair<QString, QString>> &entries)
    {
        QJsonArray array;
        for (const auto &[vendor, state] : entries)
            array.append(QJsonObject{{QStringLiteral("vendor"), vendor}, {QStringLiteral("state"), state}});
        defaults.setData(QStringLiteral("usage.connections"), QJsonDocument(array).toJson(QJsonDocument::Compact));
    }
    void storeSession(UsageVendor vendor, const UsageSession &s)
    {
        secrets.setItem(VendorSessionStore::service(vendor), QString::fromUtf8(VendorSessionStore::encode(s)));
    }
    void storeConnected(UsageVendor vendor)
    {
        QList<QPair<QString, QString>> entries = storedEntries();
        entries << qMakePair(rawValue(vendor), QStringLiteral("connected"));
        storeConnections(entries);
        storeSession(vendor, usableSession(vendor));
    }
    [[nodiscard]] QList<QPair<QString, QString>> storedEntries() const
    {
        QList<QPair<QString, QString>> entries;
        const auto data = defaults.data(QStringLiteral("usage.connections"));
        if (!data)
            return entries;
        for (const QJsonValue &v : QJsonDocument::fromJson(*data).array())
            entries << qMakePair(v[QStringLiteral("vendor")].toString(), v[QStringLiteral("state")].toString());
        return entries;
    }
    [[nodiscard]] bool hasItem(UsageVendor vendor) const { return secrets.item(VendorSessionStore::service(vendor)).has_value(); }

    UsageStore &make()
    {
        store = std::make_unique<UsageStore>(UsageStoreServices{
            .defaults = defaults,
            .secrets = secrets,
            .clock = clock,
            .clients = liveClients ? *liveClients : clients.clients(),
            .webSignIn = &web,
            .urlOpener = urls,
            .clipboard = [this]() -> platform::Pasteboard & { return pasteboard; },
            .network = network,
        });
        return *store;
    }
    // Makes the store and waits for start-up and the polling loop's first refresh to end.
    UsageStore &makeSettled()
    {
        make();
        settle();
        return *store;
    }
    // Lets posted work run until the store is started and no refresh runs.
    void settle()
    {
        QVERIFY(QTest::qWaitFor([&] { return store->isStarted(); }, 5000));
        QTest::qWait(0);
        QCoreApplication::processEvents();
        QVERIFY(QTest::qWaitFor([&] { return !store->isRefreshing(); }, 5000));
    }

    QTemporaryDir dir;
    platform::Defaults defaults;
    FakeSecretStore secrets;
    ManualClock clock;
    FakeUsageClients clients;
    // Clients the store gets instead of the scripted ones (the real clients over fake vendors).
    std::optional<UsageClients> liveClients;
    FakeWebSignIn web;
    FakeUrlOpener urls;
    FakePasteboard pasteboard;
    QNetworkAccessManager network;
    std::unique_ptr<UsageStore> store;
};

} // namespace tavrenhold::test
