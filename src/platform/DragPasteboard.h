#pragma once

#include <QObject>

#include <memory>

namespace tavrenhold::platform {

// What is being dragged on the display right now, by any program.
class DragPasteboard : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts following drags; false when the display cannot tell. Starting twice is harmless.
    [[nodiscard]] virtual bool start() = 0;
    virtual void stop() = 0;

    // Goes up by at least one whenever a drag begins (or its data goes away).
    [[nodiscard]] virtual qint64 changeCount() const = 0;
    // Whether the drag of the current change count carries files: file URLs, or a file promised by
    // the source. Asked of the source once per change count; false until it has answered.
    [[nodiscard]] virtual bool carriesFiles() const = 0;

    // The display's own drag data (the XDND selection on X11).
    [[nodiscard]] static std::unique_ptr<DragPasteboard> create(QObject *parent = nullptr);

Q_SIGNALS:
    // The change count went up, or the answer for the current count arrived.
    void changed();
};

} // namespace tavrenhold::platform
