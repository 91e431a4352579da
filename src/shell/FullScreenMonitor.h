#pragma once

#include "platform/FullScreenProbe.h"

#include <QObject>
#include <QRect>

#include <functional>
#include <memory>

namespace tavrenhold {

// Decides whether the collapsed notch bar must be hidden: while the notch's screen shows a
// full-screen window. There is no menu bar to reveal on this desktop, so the bar is hidden exactly
// while the screen is full screen. It follows the probe's change notices and never polls.
class FullScreenMonitor : public QObject {
    Q_OBJECT

public:
    // `onChange` is called with the new hidesCollapsed whenever it changes, and never after stop().
    FullScreenMonitor(std::unique_ptr<platform::FullScreenProbe> probe, std::function<void(bool)> onChange,
                      QObject *parent = nullptr);
    ~FullScreenMonitor() override;

    // Follows the probe from now on and decides at once (without calling onChange for the first
    // decision: the caller reads hidesCollapsed after starting). A probe that cannot tell leaves
    // nothing full screen.
    void start();
    // Stops following; stopping twice is harmless.
    void stop();
    // The notch's screen in Qt's global coordinates; an empty rectangle for none (never full screen).
    void setScreen(const QRect &screen);

    [[nodiscard]] bool isFullScreen() const { return m_isFullScreen; }
    [[nodiscard]] bool hidesCollapsed() const { return m_hidesCollapsed; }
    [[nodiscard]] bool isRunning() const { return m_running; }
    [[nodiscard]] platform::FullScreenProbe *probe() const { return m_probe.get(); }

private:
    void refresh(bool notify);

    std::unique_ptr<platform::FullScreenProbe> m_probe;
    std::function<void(bool)> m_onChange;
    QMetaObject::Connection m_connection;
    bool m_running = false;
    bool m_isFullScreen = false;
    bool m_hidesCollapsed = false;
};

} // namespace tavrenhold
