#include "VendorSessionStore.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace tavrenhold {

QString SessionSaveError::errorDescription() const
{
    return QStringLiteral("Could not save session (%1).").arg(status);
}

QString VendorSessionStore::service(UsageVendor vendor)
{
    return QStringLiteral("app.tavrenhold.usage.") + rawValue(vendor);
}

QByteArray VendorSessionStore::encode(const UsageSession &session)
{
    QJsonObject object;
    for (auto it = session.cbegin(); it != session.cend(); ++it)
        object.insert(it.key(), it.value());
    // QJsonDocument sorts the keys; it leaves "/" as is. In compact output of an object of texts a
    // "/" can only stand inside a string, where "\/" means the same.
    QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Compact);
    bytes.replace('/', "\\/");
    return bytes;
}

std::optional<UsageSession> VendorSessionStore::decode(const QByteArray &bytes)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    if (object.isEmpty())
        return std::nullopt;
    UsageSession session;
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (!it.value().isString())
            return std::nullopt;
        session.insert(it.key(), it.value().toString());
    }
    return session;
}

QCoro::Task<SessionLoad> VendorSessionStore::load(UsageVendor vendor)
{
    const platform::SecretRead read = co_await m_secrets.read(service(vendor), account);
    if (!read)
        co_return SessionLoad::failure(read.error());
    if (!read.value())
        co_return SessionLoad(std::optional<UsageSession>());
    co_return SessionLoad(decode(read.value()->toUtf8()));
}

QCoro::Task<Status<SessionSaveError>> VendorSessionStore::save(UsageVendor vendor, UsageSession cookies, CancelToken token)
{
    // This object may be gone when a call resumes; the keyring lives for the run.
    platform::SecretStore &secrets = m_secrets;
    const QString name = service(vendor);
    const auto removed = co_await secrets.remove(name, account);
    if (token.isCancelled())
        co_return Status<SessionSaveError>::failure({SessionSaveError::Kind::cancelled, 0});
    if (!removed)
        co_return Status<SessionSaveError>::failure({SessionSaveError::Kind::keyringUnavailable, removed.error().code});
    const auto written = co_await secrets.write(name, account, QString::fromUtf8(encode(cookies)));
    if (!written) {
        const bool locked = written.error().kind == platform::SecretError::Kind::locked;
        co_return Status<SessionSaveError>::failure(
            {locked ? SessionSaveError::Kind::keyringUnavailable : SessionSaveError::Kind::saveFailed, written.error().code});
    }
    co_return Ok{};
}

QCoro::Task<Status<platform::SecretError>> VendorSessionStore::clear(UsageVendor vendor)
{
    co_return co_await m_secrets.remove(service(vendor), account);
}

QCoro::Task<QList<UsageVendor>> VendorSessionStore::clearAll()
{
    platform::SecretStore &secrets = m_secrets;
    QList<UsageVendor> kept;
    for (const UsageVendor vendor : allUsageVendors) {
        const auto removed = co_await secrets.remove(service(vendor), account);
        if (!removed)
            kept << vendor;
    }
    (void)co_await secrets.remove(legacyService, legacyAccount);
    co_return kept;
}

} // namespace tavrenhold
