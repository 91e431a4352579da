#pragma once

#include "Deferred.h"

#include <QtGlobal>

#include <algorithm>
#ifndef Q_MOC_RUN // moc cannot parse the coroutine header
#include <coroutine>
#endif
#include <deque>
#include <memory>
#include <optional>
#include <utility>

namespace tavrenhold {

// A stream of values from one producer to one consumer that keeps only the newest `keepNewest`
// undelivered values: when another arrives at a full buffer, the oldest undelivered one is dropped.
// The consumer reads with
//     while (auto value = co_await stream->next()) { … }
// and its loop ends once the producer has finished the stream and the buffered values are read.
// A waiting consumer is resumed on the next event-loop turn, never inside yield() or finish().
// Both ends hold the stream through a shared pointer; the awaiter of next() holds one too.
template <typename T>
class BoundedStream : public std::enable_shared_from_this<BoundedStream<T>> {
    struct Private {};

public:
    BoundedStream(Private, qsizetype keepNewest) : m_keepNewest(std::max<qsizetype>(1, keepNewest)) {}
    BoundedStream(const BoundedStream &) = delete;
    BoundedStream &operator=(const BoundedStream &) = delete;

    [[nodiscard]] static std::shared_ptr<BoundedStream> make(qsizetype keepNewest)
    {
        return std::make_shared<BoundedStream>(Private{}, keepNewest);
    }

    // Producer: adds a value; false (and nothing added) once the stream has ended.
    bool yield(T value)
    {
        if (m_finished)
            return false;
        m_buffer.push_back(std::move(value));
        while (qsizetype(m_buffer.size()) > m_keepNewest)
            m_buffer.pop_front();
        wakeConsumer();
        return true;
    }

    // Producer: ends the stream. The consumer still reads what is buffered, then sees the end.
    void finish()
    {
        if (m_finished)
            return;
        m_finished = true;
        wakeConsumer();
    }

    [[nodiscard]] bool isFinished() const { return m_finished; }
    [[nodiscard]] qsizetype pending() const { return qsizetype(m_buffer.size()); }

    struct NextAwaiter {
        std::shared_ptr<BoundedStream> stream;
        bool await_ready() const noexcept { return !stream->m_buffer.empty() || stream->m_finished; }
        void await_suspend(std::coroutine_handle<> handle) noexcept
        {
            Q_ASSERT(!stream->m_waiter); // one consumer at a time
            stream->m_waiter = handle;
        }
        std::optional<T> await_resume()
        {
            if (stream->m_buffer.empty())
                return std::nullopt;
            T value = std::move(stream->m_buffer.front());
            stream->m_buffer.pop_front();
            return value;
        }
    };
    // Consumer: the next value, or nothing once the stream has ended and is drained.
    [[nodiscard]] NextAwaiter next() { return NextAwaiter{this->shared_from_this()}; }

private:
    void wakeConsumer()
    {
        if (auto handle = std::exchange(m_waiter, {}))
            resumeLater(handle);
    }

    qsizetype m_keepNewest;
    std::deque<T> m_buffer;
    bool m_finished = false;
    std::coroutine_handle<> m_waiter;
};

} // namespace tavrenhold
