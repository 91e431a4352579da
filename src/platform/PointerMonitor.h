#pragma once

#include <QObject>
#include <QPointF>
#include <QRectF>

#include <memory>

class QWindow;

namespace tavrenhold::platform {

// Where the pointer is, in Qt's global logical coordinates, and which buttons are held.
struct PointerState {
    QPointF position;
    Qt::MouseButtons buttons = Qt::NoButton;

    bool operator==(const PointerState &) const = default;
};

// Follows the pointer everywhere on the display, over other programs' windows too, and reports
// every move and button change. It reports nothing while the pointer is still.
class PointerMonitor : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts reporting. False when the display offers no way to follow the pointer; nothing is
    // reported then, but current() still answers. Starting twice is harmless.
    [[nodiscard]] virtual bool start() = 0;
    // Stops reporting; stopping twice is harmless.
    virtual void stop() = 0;
    [[nodiscard]] virtual bool isRunning() const = 0;

    // The pointer now, read from the display (not from the last report).
    [[nodiscard]] virtual PointerState current() const = 0;

    // Where the pointer matters (logical coordinates; empty: everywhere). While it moves with no
    // button held outside this area, nothing there needs it exactly: a monitor may report it a few
    // times a second instead of on every move, and save the work.
    virtual void setAttentionArea(const QRectF &area) { Q_UNUSED(area); }

    // A window of this program (null: none). While the pointer hovers over it with no button held,
    // its own motion events tell where the pointer is, so a monitor may stop reading the display
    // meanwhile. Leaving the window, holding a button or hiding the window hands the pointer back.
    virtual void setOwnWindow(QWindow *window) { Q_UNUSED(window); }

    // The display's own monitor (XInput2 raw events on X11).
    [[nodiscard]] static std::unique_ptr<PointerMonitor> create(QObject *parent = nullptr);

Q_SIGNALS:
    // One report per burst of motion or button events, with the state read after them, and only
    // when it differs from the last report.
    void changed(const tavrenhold::platform::PointerState &state);
};

} // namespace tavrenhold::platform

Q_DECLARE_METATYPE(tavrenhold::platform::PointerState)
