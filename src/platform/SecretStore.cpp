#include "SecretStore.h"

#include "base/Wakeup.h"

#include <QCoroDBusPendingCall>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QLibrary>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <deque>

namespace tavrenhold::platform {

namespace {
constexpr auto secretsService = "org.freedesktop.secrets";
constexpr auto defaultCollectionPath = "/org/freedesktop/secrets/aliases/default";
constexpr auto collectionInterface = "org.freedesktop.Secret.Collection";

// What a finished (or abandoned) job left behind. Shared with the job's handlers, which may run
// after the coroutine that started the job has moved on.
struct JobOutcome {
    Wakeup wakeup;
    bool finished = false;
    bool timedOut = false;
    QKeychain::Error error = QKeychain::NoError;
    QString text;
};
} // namespace

struct KeychainSecretStore::State {
    std::chrono::milliseconds jobTimeout;
    QDBusConnection bus;
    bool busy = false;
    std::deque<std::shared_ptr<Wakeup>> waiting;

    // Waits until no other job of this store runs, then holds the turn.
    QCoro::Task<void> acquire()
    {
        if (!busy) {
            busy = true;
            co_return;
        }
        auto turn = std::make_shared<Wakeup>();
        waiting.push_back(turn);
        co_await turn->wait();
    }
    // Hands the turn to the next waiting job, from the event loop.
    void release()
    {
        if (waiting.empty()) {
            busy = false;
            return;
        }
        auto next = waiting.front();
        waiting.pop_front();
        QTimer::singleShot(0, [next] { next->fire(); });
    }
};

namespace {
// Holds the store's turn for one operation; gives it back however the operation ends.
class Turn {
public:
    explicit Turn(std::shared_ptr<KeychainSecretStore::State> state) : m_state(std::move(state)) {}
    ~Turn() { m_state->release(); }
    Turn(const Turn &) = delete;
    Turn &operator=(const Turn &) = delete;

private:
    std::shared_ptr<KeychainSecretStore::State> m_state;
};

// Starts job and waits for its `finished`, or for the time-out. Results are read only inside
// `finished`; an unfinished job reads as no error and no data, which must never be taken as an
// answer. A job that times out cannot be stopped (deleting it would leave libsecret's callback with
// a dangling job), so it is left to delete itself when it finishes.
QCoro::Task<std::shared_ptr<JobOutcome>> runJob(QKeychain::Job *job, std::chrono::milliseconds timeout)
{
    auto outcome = std::make_shared<JobOutcome>();
    auto *timer = new QTimer;
    timer->setSingleShot(true);
    job->setAutoDelete(false);
    QObject::connect(job, &QKeychain::Job::finished, job, [outcome, timer](QKeychain::Job *finished) {
        finished->deleteLater();
        if (outcome->timedOut)
            return;
        outcome->finished = true;
        outcome->error = finished->error();
        if (auto *read = qobject_cast<QKeychain::ReadPasswordJob *>(finished); read && outcome->error == QKeychain::NoError)
            outcome->text = read->textData();
        timer->stop();
        timer->deleteLater();
        // Resume from the event loop, not inside QtKeychain's signal.
        QTimer::singleShot(0, [outcome] { outcome->wakeup.fire(); });
    });
    QObject::connect(timer, &QTimer::timeout, timer, [outcome, timer] {
        timer->deleteLater();
        if (outcome->finished)
            return;
        outcome->timedOut = true;
        outcome->wakeup.fire();
    });
    timer->start(timeout);
    job->start();
    co_await outcome->wakeup.wait();
    co_return outcome;
}

SecretError failure(const JobOutcome &outcome)
{
    if (outcome.timedOut)
        return SecretError{SecretError::Kind::timedOut, int(QKeychain::OtherError)};
    return SecretError{SecretError::Kind::failed, int(outcome.error)};
}

// Whether the Secret Service says its default collection is unlocked. Anything but a plain
// "false" for Locked (locked, no such collection, no service, no answer) is no.
QCoro::Task<bool> defaultCollectionUnlocked(QDBusConnection bus, std::chrono::milliseconds timeout)
{
    QDBusMessage get = QDBusMessage::createMethodCall(QLatin1String(secretsService), QLatin1String(defaultCollectionPath),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QLatin1String(collectionInterface) << QStringLiteral("Locked");
    const QDBusMessage reply = co_await bus.asyncCall(get, int(timeout.count()));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        co_return false;
    QVariant value = reply.arguments().constFirst();
    if (value.metaType() == QMetaType::fromType<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    co_return value.metaType() == QMetaType::fromType<bool>() && !value.toBool();
}

// libsecret (which QtKeychain loads at run time) keeps one proxy of the Secret Service, with its
// transfer session, for the life of the process. After the keyring daemon restarts that session no
// longer exists and every job fails until the proxy is dropped; dropping it makes the next job
// connect afresh. Jobs under way hold their own reference.
void forgetSecretServiceConnection()
{
    using Disconnect = void (*)();
    static const auto disconnect = reinterpret_cast<Disconnect>(
        QLibrary::resolve(QStringLiteral("secret-1"), 0, "secret_service_disconnect"));
    if (disconnect)
        disconnect();
}

// What a job that did not succeed means. A job that failed outright (not a time-out, which may be
// an unlock prompt) is followed by a fresh connection for the next job.
SecretError failureAfter(const JobOutcome &outcome)
{
    if (outcome.finished && outcome.error == QKeychain::OtherError)
        forgetSecretServiceConnection();
    return failure(outcome);
}

} // namespace

SecretStore &SecretStore::standard()
{
    static KeychainSecretStore store;
    return store;
}

KeychainSecretStore::KeychainSecretStore(std::chrono::milliseconds jobTimeout, QDBusConnection bus)
    : m_state(std::make_shared<State>(State{jobTimeout, std::move(bus)}))
{
}

KeychainSecretStore::~KeychainSecretStore() = default;

QCoro::Task<SecretRead> KeychainSecretStore::read(QString service, QString key)
{
    const auto state = m_state;
    co_await state->acquire();
    const Turn turn(state);
    auto *job = new QKeychain::ReadPasswordJob(service);
    job->setKey(key);
    const auto outcome = co_await runJob(job, state->jobTimeout);
    if (outcome->finished && outcome->error == QKeychain::NoError)
        co_return SecretRead(outcome->text);
    if (!outcome->finished || outcome->error != QKeychain::EntryNotFound)
        co_return SecretRead::failure(failureAfter(*outcome));
    // A locked collection answers "not found" for every item.
    if (!co_await defaultCollectionUnlocked(state->bus, state->jobTimeout))
        co_return SecretRead::failure(SecretError{SecretError::Kind::locked, int(QKeychain::EntryNotFound)});
    co_return SecretRead(std::optional<QString>());
}

QCoro::Task<Status<SecretError>> KeychainSecretStore::write(QString service, QString key, QString text)
{
    const auto state = m_state;
    co_await state->acquire();
    const Turn turn(state);
    auto *job = new QKeychain::WritePasswordJob(service);
    job->setKey(key);
    // Text, not binary data: binary data is stored base64-encoded.
    job->setTextData(text);
    const auto outcome = co_await runJob(job, state->jobTimeout);
    if (outcome->finished && outcome->error == QKeychain::NoError)
        co_return Ok{};
    const bool denied = outcome->finished && outcome->error == QKeychain::AccessDenied;
    bool locked = false;
    if (denied) {
        // A locked collection refuses the write with "access denied".
        locked = !co_await defaultCollectionUnlocked(state->bus, state->jobTimeout);
    }
    if (locked)
        co_return Status<SecretError>::failure(SecretError{SecretError::Kind::locked, int(QKeychain::AccessDenied)});
    co_return Status<SecretError>::failure(failureAfter(*outcome));
}

QCoro::Task<Status<SecretError>> KeychainSecretStore::remove(QString service, QString key)
{
    const auto state = m_state;
    co_await state->acquire();
    const Turn turn(state);
    auto *job = new QKeychain::DeletePasswordJob(service);
    job->setKey(key);
    const auto outcome = co_await runJob(job, state->jobTimeout);
    if (!outcome->finished || (outcome->error != QKeychain::NoError && outcome->error != QKeychain::EntryNotFound))
        co_return Status<SecretError>::failure(failureAfter(*outcome));
    // A locked collection answers with success and deletes nothing.
    const bool unlocked = co_await defaultCollectionUnlocked(state->bus, state->jobTimeout);
    if (!unlocked)
        co_return Status<SecretError>::failure(SecretError{SecretError::Kind::locked, int(QKeychain::AccessDenied)});
    co_return Ok{};
}

} // namespace tavrenhold::platform
