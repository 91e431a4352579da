#pragma once

#include <QList>
#include <QObject>
#include <QRectF>
#include <QRegion>

#include <memory>

class QWindow;

namespace tavrenhold::platform {

// What the notch panel needs of the window system beyond plain Qt windows: a borderless window
// above all others on every desktop that the window manager leaves alone, transparent where it
// draws nothing, taking clicks only inside given rectangles, and taking the keyboard only while
// asked to. All rectangles and regions are logical coordinates of the window.
class PanelWindowSystem : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool compositing READ compositing NOTIFY compositingChanged)

public:
    using QObject::QObject;

    // Makes `window` such a panel: frameless, kept above the others, bypassing the window manager,
    // with an alpha channel and a transparent clear colour. Only possible before the native window
    // exists (the colour cannot be changed afterwards): false, and nothing changed, once it does.
    [[nodiscard]] virtual bool prepare(QWindow *window) = 0;

    // The window takes clicks only inside these rectangles; everywhere else they reach the windows
    // below. Empty: the window takes none. Kept when the native window is made again; the caller
    // sets them again whenever the window's size or the rectangles change.
    virtual void setInputShape(QWindow *window, const QList<QRectF> &rects) = 0;

    // The outline of what the window draws. Where no compositor runs, transparent pixels would show
    // black, so the window is cut to this outline then; with a compositor it is left whole. Follows
    // the compositor coming and going. An empty region removes the cut.
    virtual void setOutline(QWindow *window, const QRegion &outline) = 0;

    // Puts the window above all others now.
    virtual void raise(QWindow *window) = 0;

    // Gives the window the keyboard, remembering who had it.
    virtual void takeFocus(QWindow *window) = 0;
    // If the window still has the keyboard, hands it back to whoever had it before takeFocus()
    // (or to the window under the pointer when that one is gone).
    virtual void releaseFocus(QWindow *window) = 0;
    // Whether the window has the keyboard now.
    [[nodiscard]] virtual bool hasFocus(QWindow *window) const = 0;

    // Whether a compositing manager runs (transparent pixels then show what lies below).
    [[nodiscard]] virtual bool compositing() const = 0;

    // The display's own implementation (X11).
    [[nodiscard]] static std::unique_ptr<PanelWindowSystem> create(QObject *parent = nullptr);

Q_SIGNALS:
    void compositingChanged(bool compositing);
};

} // namespace tavrenhold::platform
