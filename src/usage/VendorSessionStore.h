#pragma once

#include "UsageClients.h"
#include "UsageModels.h"

#include "design/CancelToken.h"
#include "base/Result.h"
#include "platform/SecretStore.h"

#include <QByteArray>
#include <QCoroTask>
#include <QString>

#include <optional>

namespace tavrenhold {

// A session read: the dictionary; none when there is no item or it is malformed; or an error when
// the keyring could not answer (locked, missing, timed out), which is never taken for "no session".
using SessionLoad = Result<std::optional<UsageSession>, platform::SecretError>;

// Why a session was not saved.
struct SessionSaveError {
    enum class Kind {
        saveFailed,         // the keyring refused the write; `status` is its error number
        cancelled,          // the save's work was cancelled before anything was written
        keyringUnavailable, // the keyring is locked or did not answer: the old item, if any, stays
    };
    Kind kind = Kind::saveFailed;
    int status = 0;
    bool operator==(const SessionSaveError &) const = default;

    // "Could not save session (<status>)."
    [[nodiscard]] QString errorDescription() const;
};

// Each vendor's session kept in the keyring: one item per vendor, service
// "app.tavrenhold.usage.<raw>", key "session", holding the dictionary as compact JSON with sorted
// keys and "/" escaped as "\/". Nothing is kept in memory.
class VendorSessionStore {
public:
    explicit VendorSessionStore(platform::SecretStore &secrets) : m_secrets(secrets) {}

    [[nodiscard]] static QString service(UsageVendor vendor);
    static inline const QString account = QStringLiteral("session");
    // The item an earlier version kept Cursor's cookie in; only "clear all" touches it.
    static inline const QString legacyService = QStringLiteral("app.tavrenhold.cursor");
    static inline const QString legacyAccount = QStringLiteral("WorkosCursorSessionToken");

    // The item's bytes for a dictionary: {"a":"b","c":"d\/e"}.
    [[nodiscard]] static QByteArray encode(const UsageSession &session);
    // The dictionary in an item: any JSON text whose top level is a non-empty object of strings.
    [[nodiscard]] static std::optional<UsageSession> decode(const QByteArray &bytes);

    [[nodiscard]] QCoro::Task<SessionLoad> load(UsageVendor vendor);
    // Deletes the vendor's item, then writes the new one; nothing is written when `token` is
    // cancelled in between, or when the delete failed (the old item then stays). When the write
    // fails the old item stays deleted.
    [[nodiscard]] QCoro::Task<Status<SessionSaveError>> save(UsageVendor vendor, UsageSession cookies,
                                                             CancelToken token = {});
    // Deletes the vendor's item; a missing item is no error, a locked keyring is.
    QCoro::Task<Status<platform::SecretError>> clear(UsageVendor vendor);
    // Deletes the six vendors' items and the legacy item; gives the vendors whose item may still
    // be there.
    QCoro::Task<QList<UsageVendor>> clearAll();

private:
    platform::SecretStore &m_secrets;
};

} // namespace tavrenhold
