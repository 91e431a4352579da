#include "SerialQueue.h"

#include "Deferred.h"

namespace tavrenhold {

void SerialQueue::leave()
{
    if (m_waiting.empty()) {
        m_busy = false;
        return;
    }
    // The queue stays busy: the turn passes straight to the next in line.
    const auto next = m_waiting.front();
    m_waiting.pop_front();
    resumeLater(next);
}

} // namespace tavrenhold
