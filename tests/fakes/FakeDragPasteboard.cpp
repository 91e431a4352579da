#include "FakeDragPasteboard.h"

namespace tavrenhold::test {

bool FakeDragPasteboard::start()
{
    m_running = startSucceeds;
    return m_running;
}

void FakeDragPasteboard::beginDrag(bool files)
{
    ++m_changeCount;
    m_files = files;
    Q_EMIT changed();
}

void FakeDragPasteboard::answer(bool files)
{
    if (std::exchange(m_files, files) != files)
        Q_EMIT changed();
}

} // namespace tavrenhold::test
