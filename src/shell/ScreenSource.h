#pragma once

#include "platform/ScreenList.h"

#include <QObject>

class QScreen;

namespace tavrenhold {

// The screens the notch can live on, and a notice whenever their arrangement or sizes change.
class ScreenSource : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    [[nodiscard]] virtual platform::ScreenList screens() const = 0;

Q_SIGNALS:
    // A screen came, went or changed its geometry, or the primary screen changed.
    void changed();
};

// The application's screens, as Qt reports them.
class QtScreenSource final : public ScreenSource {
    Q_OBJECT

public:
    explicit QtScreenSource(QObject *parent = nullptr);

    [[nodiscard]] platform::ScreenList screens() const override { return platform::ScreenList::current(); }

private:
    void watch(QScreen *screen);
};

} // namespace tavrenhold
