#pragma once

#include <coroutine>
#include <utility>

namespace tavrenhold {

// A one-shot event that a coroutine awaits with `co_await wakeup.wait()` and whoever holds it
// resumes directly, on the caller's stack. Firing before the await makes the await return at once;
// firing twice does nothing.
class Wakeup {
public:
    Wakeup() = default;
    Wakeup(const Wakeup &) = delete;
    Wakeup &operator=(const Wakeup &) = delete;

    struct Awaiter {
        Wakeup *wakeup;
        bool await_ready() const noexcept { return wakeup->m_fired; }
        void await_suspend(std::coroutine_handle<> handle) noexcept { wakeup->m_handle = handle; }
        void await_resume() const noexcept {}
    };
    [[nodiscard]] Awaiter wait() { return Awaiter{this}; }

    void fire()
    {
        if (m_fired)
            return;
        m_fired = true;
        if (auto handle = std::exchange(m_handle, {}))
            handle.resume();
    }
    [[nodiscard]] bool fired() const { return m_fired; }

private:
    bool m_fired = false;
    std::coroutine_handle<> m_handle;
};

} // namespace tavrenhold
