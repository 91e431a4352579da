#pragma once

#include <QObject>

#include <functional>
#include <memory>

namespace tavrenhold {

namespace detail {
class CancelState : public QObject {
    Q_OBJECT
public:
    bool cancelled = false;
Q_SIGNALS:
    void cancelledNow();
};
} // namespace detail

// A shared cancellation flag for coroutine work, which cannot be cancelled from outside.
// Copies share one flag; work checks it after every co_await and gives up once it is set.
class CancelToken {
public:
    CancelToken();

    void cancel() const;
    [[nodiscard]] bool isCancelled() const;

    // Calls f when the token is cancelled (in context's thread, and not after context is gone; with
    // no context, directly). Disconnect the result when done.
    QMetaObject::Connection onCancel(const QObject *context, std::function<void()> f) const;
    QMetaObject::Connection onCancel(std::function<void()> f) const;

private:
    std::shared_ptr<detail::CancelState> m_state;
};

// Holds the token of the work in flight; starting new work cancels the old.
class CancelSlot {
public:
    CancelSlot() = default;
    CancelSlot(const CancelSlot &) = delete;
    CancelSlot &operator=(const CancelSlot &) = delete;
    ~CancelSlot() { cancel(); }

    [[nodiscard]] CancelToken renew()
    {
        cancel();
        m_token = CancelToken();
        return m_token;
    }
    void cancel() { m_token.cancel(); }

private:
    CancelToken m_token;
};

} // namespace tavrenhold
