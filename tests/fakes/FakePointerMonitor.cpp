#include "FakePointerMonitor.h"

namespace tavrenhold::test {

bool FakePointerMonitor::start()
{
    ++startCalls;
    if (startSucceeds)
        m_running = true;
    return m_running;
}

void FakePointerMonitor::stop()
{
    ++stopCalls;
    m_running = false;
}

void FakePointerMonitor::move(QPointF position, Qt::MouseButtons buttons)
{
    move(platform::PointerState{position, buttons});
}

void FakePointerMonitor::move(const platform::PointerState &next)
{
    if (std::exchange(state, next) != next && m_running)
        Q_EMIT changed(next);
}

} // namespace tavrenhold::test
