#pragma once

#include "platform/SecretStore.h"

#include "base/Wakeup.h"

#include <QMap>
#include <QPair>
#include <QStringList>

#include <deque>
#include <memory>
#include <optional>

namespace tavrenhold::test {

// An in-memory keyring. Every call is logged ("read svc", "write svc", "remove svc"); `fail*` make
// the next calls fail with that error (reads: a store error, as a locked keyring). With `hold` set,
// calls wait until the test lets them through with `release()`, so a test can act while the
// caller is suspended inside a keyring call. The call's effect happens when it is let through.
class FakeSecretStore final : public platform::SecretStore {
public:
    QCoro::Task<platform::SecretRead> read(QString service, QString key) override;
    QCoro::Task<Status<platform::SecretError>> write(QString service, QString key, QString text) override;
    QCoro::Task<Status<platform::SecretError>> remove(QString service, QString key) override;

    // Lets the oldest held call through; false when none waits.
    bool release();
    [[nodiscard]] int held() const { return int(m_held.size()); }

    [[nodiscard]] std::optional<QString> item(const QString &service, const QString &key = QStringLiteral("session")) const;
    void setItem(const QString &service, const QString &text, const QString &key = QStringLiteral("session"));

    QMap<QPair<QString, QString>, QString> items;
    QStringList log;
    std::optional<platform::SecretError> failReads;
    std::optional<platform::SecretError> failWrites;
    std::optional<platform::SecretError> failRemoves;
    bool hold = false;

private:
    QCoro::Task<void> gate();
    std::deque<std::shared_ptr<Wakeup>> m_held;
};

} // namespace tavrenhold::test
