#pragma once

#ifndef Q_MOC_RUN // moc cannot parse the coroutine header
#include <coroutine>
#endif
#include <utility>

namespace tavrenhold {

// Resumes a suspended coroutine on the next turn of the current thread's event loop, so that it never
// runs inside the signal emission or the call that woke it.
void resumeLater(std::coroutine_handle<> handle);

// A one-shot event that signal handlers set and one coroutine awaits with `co_await event.wait()`.
// Setting it before the await makes the await return at once; a waiter is resumed through
// resumeLater(). Setting it again does nothing.
class DeferredEvent {
public:
    DeferredEvent() = default;
    DeferredEvent(const DeferredEvent &) = delete;
    DeferredEvent &operator=(const DeferredEvent &) = delete;

    struct Awaiter {
        DeferredEvent *event;
        bool await_ready() const noexcept { return event->m_set; }
        void await_suspend(std::coroutine_handle<> handle) noexcept { event->m_waiter = handle; }
        void await_resume() const noexcept {}
    };
    [[nodiscard]] Awaiter wait() { return Awaiter{this}; }

    void set()
    {
        if (m_set)
            return;
        m_set = true;
        if (auto handle = std::exchange(m_waiter, {}))
            resumeLater(handle);
    }
    [[nodiscard]] bool isSet() const { return m_set; }

private:
    bool m_set = false;
    std::coroutine_handle<> m_waiter;
};

} // namespace tavrenhold
