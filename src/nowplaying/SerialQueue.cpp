#include "SerialQueue.h"

#include "Deferred.h"

namespace tavrenhold {

void SerialQueue::wait(std::coroutine_handle<> handle, int key, bool *replaced)
{
    if (key != 0) {
        for (auto it = m_waiting.begin(); it != m_waiting.end(); ++it) {
            if (it->key != key)
                continue;
            const Waiter older = *it;
            m_waiting.erase(it);
            *older.replaced = true;
            resumeLater(older.handle);
            break;
        }
    }
    m_waiting.push_back(Waiter{handle, key, replaced});
}

void SerialQueue::leave()
{
    if (m_waiting.empty()) {
        m_busy = false;
        return;
    }
    // The queue stays busy: the turn passes straight to the next in line.
    const Waiter next = m_waiting.front();
    m_waiting.pop_front();
    resumeLater(next.handle);
}

} // namespace tavrenhold
