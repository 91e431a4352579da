#pragma once

#include "ArtworkPalette.h"
#include "CancelToken.h"
#include "NotchImage.h"

#include <QCoroTask>
#include <QObject>

#include <functional>
#include <optional>

namespace tavrenhold {

class GradientWash;

// Keeps the accent wash in step with the artwork shown: the colour is worked out off the main
// thread and applied back on it, only while the picture it was taken from is still the one shown.
// Lives on the main thread; owned by the Music pane. Animating the change is the view's business.
class AccentRefresher : public QObject {
    Q_OBJECT

public:
    using Compute = std::function<std::optional<ArtworkAccent>(const QByteArray &)>;

    // Writes to the shared wash with ArtworkPalette::accent.
    explicit AccentRefresher(QObject *parent = nullptr);
    AccentRefresher(GradientWash &wash, Compute compute, QObject *parent = nullptr);
    ~AccentRefresher() override;

    // The artwork now shown: cancels the work in flight; no image clears the accent, an image
    // starts working out its accent.
    void refresh(const std::optional<NotchImage> &image);
    // Cancels the work in flight and clears the accent (services stopping).
    void clear();

    // Computations started whose results have not come back to the main thread yet.
    [[nodiscard]] int inFlight() const { return m_inFlight; }

private:
    QCoro::Task<> work(NotchImage image, CancelToken token);

    GradientWash &m_wash;
    Compute m_compute;
    CancelSlot m_task;
    std::optional<QString> m_shownId;
    int m_inFlight = 0;
};

} // namespace tavrenhold
