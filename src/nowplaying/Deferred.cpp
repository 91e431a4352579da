#include "Deferred.h"

#include <QTimer>

namespace tavrenhold {

void resumeLater(std::coroutine_handle<> handle)
{
    // A zero-delay single shot posts to the current thread's event loop.
    QTimer::singleShot(0, [handle] { handle.resume(); });
}

} // namespace tavrenhold
