#pragma once

#include <QObject>

#include <memory>

namespace tavrenhold::platform {

// Whether a compositing manager runs on the display: on X11, whether the selection
// _NET_WM_CM_S<screen> has an owner. Without one, the transparent pixels of our windows show black,
// so translucent looks must be drawn opaque. Followed live through XFixes owner-change events on
// Qt's own X connection; always false on other platforms (offscreen, Wayland).
class Compositor : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool composited READ composited NOTIFY compositedChanged)

public:
    // Reads the current state at once. Needs the GUI application.
    explicit Compositor(QObject *parent = nullptr);
    ~Compositor() override;

    // The process's watcher, made on first use.
    static Compositor &shared();

    [[nodiscard]] bool composited() const { return m_composited; }

    // Reads the selection owner again (notifies on change). Owner changes arrive by themselves;
    // this is for callers that want to be sure now.
    void refresh();

    // The X screen number named by a display name such as ":0", ":1.2" or "host:0.1"; 0 when none
    // is named or the name is malformed.
    [[nodiscard]] static int screenNumber(const QByteArray &displayName);

Q_SIGNALS:
    void compositedChanged();

private:
    class X11Watch;
    void setComposited(bool composited);

    std::unique_ptr<X11Watch> m_x11;
    bool m_composited = false;
};

} // namespace tavrenhold::platform
