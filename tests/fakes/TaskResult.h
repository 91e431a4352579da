#pragma once

#include <QCoroTask>
#include <QTest>

#include <memory>
#include <optional>

namespace tavrenhold::test {

namespace detail {
template <typename T>
QCoro::Task<void> keepResult(QCoro::Task<T> task, std::shared_ptr<std::optional<T>> out)
{
    out->emplace(co_await std::move(task));
}
} // namespace detail

// Runs the event loop until task ends and gives its result; none when it has not ended within
// timeoutMs (the task then finishes, unobserved, later).
template <typename T>
std::optional<T> resultOf(QCoro::Task<T> task, int timeoutMs = 60000)
{
    auto out = std::make_shared<std::optional<T>>();
    auto keeper = detail::keepResult(std::move(task), out);
    (void)QTest::qWaitFor([&] { return out->has_value(); }, timeoutMs);
    return *out;
}

// The same for a task without a result: whether it ended in time.
inline bool finishes(QCoro::Task<void> task, int timeoutMs = 60000)
{
    auto done = std::make_shared<bool>(false);
    auto keeper = [](QCoro::Task<void> t, std::shared_ptr<bool> flag) -> QCoro::Task<void> {
        co_await std::move(t);
        *flag = true;
    }(std::move(task), done);
    return QTest::qWaitFor([&] { return *done; }, timeoutMs);
}

} // namespace tavrenhold::test
