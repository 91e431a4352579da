#include "FakeSecretStore.h"

namespace tavrenhold::test {

using platform::SecretError;
using platform::SecretRead;

QCoro::Task<void> FakeSecretStore::gate()
{
    if (!hold)
        co_return;
    auto wakeup = std::make_shared<Wakeup>();
    m_held.push_back(wakeup);
    co_await wakeup->wait();
}

bool FakeSecretStore::release()
{
    if (m_held.empty())
        return false;
    auto wakeup = m_held.front();
    m_held.pop_front();
    wakeup->fire();
    return true;
}

QCoro::Task<SecretRead> FakeSecretStore::read(QString service, QString key)
{
    log << QStringLiteral("read ") + service;
    co_await gate();
    if (failReads)
        co_return SecretRead::failure(*failReads);
    const auto found = items.constFind({service, key});
    co_return SecretRead(found == items.cend() ? std::optional<QString>() : std::optional<QString>(*found));
}

QCoro::Task<Status<SecretError>> FakeSecretStore::write(QString service, QString key, QString text)
{
    log << QStringLiteral("write ") + service;
    co_await gate();
    if (failWrites)
        co_return Status<SecretError>::failure(*failWrites);
    items.insert({service, key}, text);
    co_return Ok{};
}

QCoro::Task<Status<SecretError>> FakeSecretStore::remove(QString service, QString key)
{
    log << QStringLiteral("remove ") + service;
    co_await gate();
    if (failRemoves)
        co_return Status<SecretError>::failure(*failRemoves);
    items.remove({service, key});
    co_return Ok{};
}

std::optional<QString> FakeSecretStore::item(const QString &service, const QString &key) const
{
    const auto found = items.constFind({service, key});
    return found == items.cend() ? std::nullopt : std::optional<QString>(*found);
}

void FakeSecretStore::setItem(const QString &service, const QString &text, const QString &key)
{
    items.insert({service, key}, text);
}

} // namespace tavrenhold::test
