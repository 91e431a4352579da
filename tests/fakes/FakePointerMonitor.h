#pragma once

#include "platform/PointerMonitor.h"

namespace tavrenhold::test {

// A pointer a test moves by hand. move() reports only while started, as the real monitor does.
class FakePointerMonitor final : public platform::PointerMonitor {
    Q_OBJECT

public:
    using PointerMonitor::PointerMonitor;

    bool start() override;
    void stop() override;
    bool isRunning() const override { return m_running; }
    platform::PointerState current() const override { return state; }
    void setAttentionArea(const QRectF &area) override { attentionArea = area; }

    // Sets where the pointer is and reports it when started and different from before.
    void move(QPointF position, Qt::MouseButtons buttons = Qt::NoButton);
    void move(const platform::PointerState &next);

    platform::PointerState state;
    QRectF attentionArea;
    bool startSucceeds = true;
    int startCalls = 0;
    int stopCalls = 0;

private:
    bool m_running = false;
};

} // namespace tavrenhold::test
