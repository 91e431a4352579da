#pragma once

#include "platform/DragPasteboard.h"

namespace tavrenhold::test {

// Drags a test begins by hand.
class FakeDragPasteboard final : public platform::DragPasteboard {
    Q_OBJECT

public:
    using DragPasteboard::DragPasteboard;

    bool start() override;
    void stop() override { m_running = false; }
    qint64 changeCount() const override { return m_changeCount; }
    bool carriesFiles() const override { return m_files; }

    // A new drag: the count goes up; `files` is the answer for it (it may come later through answer()).
    void beginDrag(bool files);
    // The answer for the current drag arriving late.
    void answer(bool files);

    bool startSucceeds = true;

private:
    bool m_running = false;
    qint64 m_changeCount = 0;
    bool m_files = false;
};

} // namespace tavrenhold::test
