#include "AccentRefresher.h"

#include "GradientWash.h"

#include <QCoroFuture>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

namespace tavrenhold {

AccentRefresher::AccentRefresher(QObject *parent)
    : AccentRefresher(GradientWash::shared(), &ArtworkPalette::accent, parent)
{
}

AccentRefresher::AccentRefresher(GradientWash &wash, Compute compute, QObject *parent)
    : QObject(parent), m_wash(wash), m_compute(std::move(compute))
{
}

AccentRefresher::~AccentRefresher() = default;

void AccentRefresher::refresh(const std::optional<NotchImage> &image)
{
    m_task.cancel();
    if (!image) {
        m_shownId.reset();
        m_wash.setAccent(std::nullopt);
        return;
    }
    m_shownId = image->id;
    work(*image, m_task.renew());
}

void AccentRefresher::clear()
{
    m_task.cancel();
    m_shownId.reset();
    m_wash.setAccent(std::nullopt);
}

QCoro::Task<> AccentRefresher::work(NotchImage image, CancelToken token)
{
    QPointer<AccentRefresher> self(this);
    ++m_inFlight;
    // The worker gets its own copies: it never touches this object. The future is a named local:
    // g++ 12 can destroy temporaries inside a co_await expression twice.
    QFuture<std::optional<ArtworkAccent>> future =
        QtConcurrent::run([compute = m_compute, bytes = image.bytes] { return compute(bytes); });
    const std::optional<ArtworkAccent> accent = co_await future;
    // Back on the main thread; the refresher may be gone by now.
    if (!self)
        co_return;
    --m_inFlight;
    if (token.isCancelled() || m_shownId != image.id)
        co_return;
    m_wash.setAccent(accent);
}

} // namespace tavrenhold
