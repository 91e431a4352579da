#pragma once

#ifndef Q_MOC_RUN // moc cannot parse the coroutine header
#include <coroutine>
#endif
#include <deque>
#include <utility>

namespace tavrenhold {

// A first-in-first-out chain of coroutines: each awaits its turn with `auto turn = co_await
// queue.enter();` and holds it until the Turn is destroyed; the next in line is then resumed on the
// next event-loop turn. One turn at a time, in the order they were asked for. A coroutine that enters
// with a key (`queue.enterReplacing(key)`) replaces the one of the same key still waiting, which is
// resumed at once with an empty Turn: at most one waits per key, the newest.
class SerialQueue {
public:
    SerialQueue() = default;
    SerialQueue(const SerialQueue &) = delete;
    SerialQueue &operator=(const SerialQueue &) = delete;

    class Turn {
    public:
        Turn() = default;
        explicit Turn(SerialQueue *queue) : m_queue(queue) {}
        Turn(Turn &&other) noexcept : m_queue(std::exchange(other.m_queue, nullptr)) {}
        Turn &operator=(Turn &&other) noexcept
        {
            if (this != &other) {
                release();
                m_queue = std::exchange(other.m_queue, nullptr);
            }
            return *this;
        }
        ~Turn() { release(); }
        // False for the empty Turn of a waiter that a newer one of its key replaced.
        [[nodiscard]] explicit operator bool() const { return m_queue != nullptr; }
        // Hands the turn on before the holder ends.
        void release()
        {
            if (auto *queue = std::exchange(m_queue, nullptr))
                queue->leave();
        }

    private:
        SerialQueue *m_queue = nullptr;
    };

    struct EnterAwaiter {
        SerialQueue *queue;
        int key = 0;
        bool replaced = false;
        bool await_ready() noexcept
        {
            if (queue->m_busy)
                return false;
            queue->m_busy = true;
            return true;
        }
        void await_suspend(std::coroutine_handle<> handle) { queue->wait(handle, key, &replaced); }
        Turn await_resume() const noexcept { return replaced ? Turn() : Turn(queue); }
    };
    [[nodiscard]] EnterAwaiter enter() { return EnterAwaiter{this}; }
    // key > 0; a key of 0 is the same as enter().
    [[nodiscard]] EnterAwaiter enterReplacing(int key) { return EnterAwaiter{this, key}; }

    [[nodiscard]] bool isBusy() const { return m_busy; }
    [[nodiscard]] int waiting() const { return int(m_waiting.size()); }

private:
    struct Waiter {
        std::coroutine_handle<> handle;
        int key;
        bool *replaced;
    };
    void wait(std::coroutine_handle<> handle, int key, bool *replaced);
    void leave();

    bool m_busy = false;
    std::deque<Waiter> m_waiting;
};

} // namespace tavrenhold
