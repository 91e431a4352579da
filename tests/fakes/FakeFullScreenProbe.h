#pragma once

#include "platform/FullScreenProbe.h"

namespace tavrenhold::test {

// A full-screen state a test sets by hand; reports changes only while started.
class FakeFullScreenProbe final : public platform::FullScreenProbe {
    Q_OBJECT

public:
    using FullScreenProbe::FullScreenProbe;

    bool start() override;
    void stop() override;
    void setScreen(const QRect &next) override { screen = next; ++setScreenCalls; }
    bool isFullScreen() const override { return m_fullScreen; }

    void setFullScreen(bool fullScreen);
    [[nodiscard]] bool isRunning() const { return m_running; }

    QRect screen;
    int setScreenCalls = 0;
    int startCalls = 0;
    int stopCalls = 0;

private:
    bool m_running = false;
    bool m_fullScreen = false;
};

} // namespace tavrenhold::test
