#pragma once

#include "base/Result.h"

#include <QCoroTask>
#include <QDBusConnection>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace tavrenhold::platform {

// Why the keyring could not answer. `code` is QtKeychain's error number (QKeychain::Error): 4 for a
// write into a locked collection, 7 (OtherError) for a job that did not finish in time or a
// keyring service that is missing or was restarted under us.
struct SecretError {
    enum class Kind {
        failed,   // the job finished with an error
        timedOut, // the job did not finish in time (an unlock prompt nobody answers)
        locked,   // the collection is locked or cannot be asked: a read found nothing, a write or
                  // delete changed nothing
    };
    Kind kind = Kind::failed;
    int code = 0;

    bool operator==(const SecretError &) const = default;
};

// A read: the secret's text, confirmed absence (no value), or a store error.
using SecretRead = Result<std::optional<QString>, SecretError>;

// The desktop's keyring of secrets, addressed by service and key. One job runs at a time;
// the operations resume on the main thread.
class SecretStore {
public:
    virtual ~SecretStore() = default;

    [[nodiscard]] virtual QCoro::Task<SecretRead> read(QString service, QString key) = 0;
    // Replaces the secret's text (stored as text, byte for byte).
    [[nodiscard]] virtual QCoro::Task<Status<SecretError>> write(QString service, QString key, QString text) = 0;
    // Deletes the secret; a missing one is no error.
    [[nodiscard]] virtual QCoro::Task<Status<SecretError>> remove(QString service, QString key) = 0;

    // The session's Secret Service keyring, shared for the run.
    static SecretStore &standard();
};

// The Secret Service (gnome-keyring, KWallet's bridge, …) through QtKeychain. Its jobs need Qt's
// GLib event dispatcher. Each job gets its own time-out; a job that outlives it is left to finish
// on its own and its answer is dropped. A read that finds nothing counts as absent, and a delete or
// write counts as done, only when the default collection says over D-Bus that it is unlocked: a
// locked collection hides its items and keeps them whatever a delete answers. After a job failed
// outright the next one connects to the Secret Service afresh (the daemon may have restarted).
class KeychainSecretStore final : public SecretStore {
public:
    // Long enough for the user to type a password into an unlock prompt.
    static constexpr std::chrono::milliseconds defaultJobTimeout{120'000};

    explicit KeychainSecretStore(std::chrono::milliseconds jobTimeout = defaultJobTimeout,
                                 QDBusConnection bus = QDBusConnection::sessionBus());
    ~KeychainSecretStore() override;

    QCoro::Task<SecretRead> read(QString service, QString key) override;
    QCoro::Task<Status<SecretError>> write(QString service, QString key, QString text) override;
    QCoro::Task<Status<SecretError>> remove(QString service, QString key) override;

    struct State;

private:
    std::shared_ptr<State> m_state;
};

} // namespace tavrenhold::platform
