#pragma once

#include <QObject>
#include <QRect>

#include <memory>
#include <vector>

namespace tavrenhold::platform {

// One top-level client window as the window manager lists it.
struct ClientWindow {
    QRect frame;             // in the same coordinates as the screen below
    bool fullScreen = false; // the window manager shows it full screen
    bool hidden = false;     // minimised: still listed, but not on screen
    bool viewable = true;    // mapped (a window on another desktop is not)

    bool operator==(const ClientWindow &) const = default;
};

// What the full-screen decision looks at.
struct FullScreenSnapshot {
    bool windowManager = false;         // a live window manager answers for the client list
    std::vector<ClientWindow> clients;  // bottom to top
    QRect screen;                       // the notch's screen; empty when there is none

    bool operator==(const FullScreenSnapshot &) const = default;
};

// Whether the notch's screen shows a full-screen window: the topmost client on that screen (the
// screen holding its centre) that is on screen at all is full screen. Without a window manager,
// or without a screen, nothing is full screen.
[[nodiscard]] bool showsFullScreen(const FullScreenSnapshot &snapshot);

// Follows whether the notch's screen shows a full-screen window, by the window system's own
// change notices: it never polls.
class FullScreenProbe : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isFullScreen READ isFullScreen NOTIFY fullScreenChanged)

public:
    using QObject::QObject;

    // Starts following (and decides at once); false when the display cannot tell, and then nothing
    // is full screen. Starting twice is harmless.
    [[nodiscard]] virtual bool start() = 0;
    // Stops following; no signal comes afterwards. Stopping twice is harmless.
    virtual void stop() = 0;

    // The notch's screen, in Qt's global logical coordinates; an empty rectangle for none.
    virtual void setScreen(const QRect &screen) = 0;

    [[nodiscard]] virtual bool isFullScreen() const = 0;

    // The display's own probe (EWMH on X11).
    [[nodiscard]] static std::unique_ptr<FullScreenProbe> create(QObject *parent = nullptr);

Q_SIGNALS:
    // Only on a change.
    void fullScreenChanged(bool fullScreen);
};

} // namespace tavrenhold::platform
