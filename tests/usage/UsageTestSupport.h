#pragma once

#include <QCoroTask>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <optional>

namespace tavrenhold::test {

// Runs a task to its end on a nested event loop (results without a default value, unlike
// QCoro::waitFor); a task still running after `ceiling` ends the test program.
template <typename T>
T finish(QCoro::Task<T> task, int ceiling = 60000)
{
    std::optional<T> out;
    QEventLoop loop;
    auto run = [&]() -> QCoro::Task<> {
        out.emplace(co_await std::move(task));
        loop.quit();
    };
    auto running = run();
    if (!out) {
        QTimer::singleShot(ceiling, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (!out)
        qFatal("a usage task did not finish");
    return std::move(*out);
}

} // namespace tavrenhold::test
