#include "FakeFullScreenProbe.h"

namespace tavrenhold::test {

bool FakeFullScreenProbe::start()
{
    ++startCalls;
    m_running = true;
    return true;
}

void FakeFullScreenProbe::stop()
{
    ++stopCalls;
    m_running = false;
}

void FakeFullScreenProbe::setFullScreen(bool fullScreen)
{
    if (std::exchange(m_fullScreen, fullScreen) != fullScreen && m_running)
        Q_EMIT fullScreenChanged(fullScreen);
}

} // namespace tavrenhold::test
