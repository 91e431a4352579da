#include "FullScreenMonitor.h"

namespace tavrenhold {

FullScreenMonitor::FullScreenMonitor(std::unique_ptr<platform::FullScreenProbe> probe,
                                     std::function<void(bool)> onChange, QObject *parent)
    : QObject(parent)
    , m_probe(std::move(probe))
    , m_onChange(std::move(onChange))
{
}

FullScreenMonitor::~FullScreenMonitor() { stop(); }

void FullScreenMonitor::start()
{
    if (m_running || !m_probe)
        return;
    m_running = true;
    m_connection = connect(m_probe.get(), &platform::FullScreenProbe::fullScreenChanged, this,
                           [this] { refresh(true); });
    // A probe that cannot follow the display reports nothing full screen.
    [[maybe_unused]] const bool following = m_probe->start();
    refresh(false);
}

void FullScreenMonitor::stop()
{
    if (!m_running)
        return;
    m_running = false;
    disconnect(m_connection);
    if (m_probe)
        m_probe->stop();
}

void FullScreenMonitor::setScreen(const QRect &screen)
{
    if (!m_probe)
        return;
    m_probe->setScreen(screen);
    if (m_running)
        refresh(true);
}

void FullScreenMonitor::refresh(bool notify)
{
    m_isFullScreen = m_running && m_probe && m_probe->isFullScreen();
    // No menu bar can be revealed over a full-screen window here: the bar hides while it shows.
    const bool hides = m_isFullScreen;
    if (hides == m_hidesCollapsed)
        return;
    m_hidesCollapsed = hides;
    if (notify && m_onChange)
        m_onChange(hides);
}

} // namespace tavrenhold
