#include "Compositor.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#if QT_CONFIG(xcb)
#include <xcb/xcb.h>
#include <xcb/xfixes.h>
#endif

#include <cstdlib>
#include <utility>

namespace tavrenhold::platform {

#if QT_CONFIG(xcb)

// Watches the compositing-manager selection on Qt's own X connection: every event Qt reads passes
// the application's native event filters first, so the XFixes owner changes we ask for on the root
// window reach us without a connection of our own.
class Compositor::X11Watch final : public QAbstractNativeEventFilter {
public:
    X11Watch(Compositor &owner, xcb_connection_t *c, int screen) : m_owner(owner), m_c(c)
    {
        const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screen);
        if (auto *reply = xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, uint16_t(name.size()), name.constData()),
                                                nullptr)) {
            m_atom = reply->atom;
            std::free(reply);
        }
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_c));
        for (int i = 0; it.rem > 0 && i < screen; ++i)
            xcb_screen_next(&it);
        if (it.rem > 0)
            m_root = it.data->root;

        const xcb_query_extension_reply_t *ext = xcb_get_extension_data(m_c, &xcb_xfixes_id);
        if (m_atom != XCB_ATOM_NONE && m_root != XCB_WINDOW_NONE && ext && ext->present) {
            // The version handshake must precede any other XFixes request of this client.
            std::free(xcb_xfixes_query_version_reply(m_c, xcb_xfixes_query_version(m_c, 1, 0), nullptr));
            m_xfixesFirstEvent = ext->first_event;
            xcb_xfixes_select_selection_input(m_c, m_root, m_atom,
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                                  XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                                  XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
            xcb_flush(m_c);
            QCoreApplication::instance()->installNativeEventFilter(this);
            m_filtering = true;
        }
    }

    ~X11Watch() override
    {
        if (m_filtering && QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
    }

    [[nodiscard]] bool ownerPresent() const
    {
        if (m_atom == XCB_ATOM_NONE)
            return false;
        auto *reply = xcb_get_selection_owner_reply(m_c, xcb_get_selection_owner(m_c, m_atom), nullptr);
        if (!reply)
            return false;
        const bool present = reply->owner != XCB_WINDOW_NONE;
        std::free(reply);
        return present;
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (m_xfixesFirstEvent < 0 || eventType != "xcb_generic_event_t")
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if ((event->response_type & 0x7f) != m_xfixesFirstEvent + XCB_XFIXES_SELECTION_NOTIFY)
            return false;
        const auto *notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t *>(event);
        // The owner is the new owner for a set, and none when the owner's window or client went.
        if (notify->selection == m_atom)
            m_owner.setComposited(notify->owner != XCB_WINDOW_NONE);
        return false; // others may want the event too
    }

private:
    Compositor &m_owner;
    xcb_connection_t *m_c = nullptr;
    xcb_atom_t m_atom = XCB_ATOM_NONE;
    xcb_window_t m_root = XCB_WINDOW_NONE;
    int m_xfixesFirstEvent = -1;
    bool m_filtering = false;
};

#else

class Compositor::X11Watch {
public:
    [[nodiscard]] bool ownerPresent() const { return false; }
};

#endif

Compositor::Compositor(QObject *parent) : QObject(parent)
{
#if QT_CONFIG(xcb)
    if (auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        if (xcb_connection_t *c = x11->connection())
            m_x11 = std::make_unique<X11Watch>(*this, c, screenNumber(qgetenv("DISPLAY")));
    }
#endif
    m_composited = m_x11 && m_x11->ownerPresent();
}

Compositor::~Compositor() = default;

Compositor &Compositor::shared()
{
    // Kept for the whole run: the QML singletons of every engine follow it.
    static auto *const compositor = new Compositor(nullptr);
    return *compositor;
}

void Compositor::refresh()
{
    setComposited(m_x11 && m_x11->ownerPresent());
}

void Compositor::setComposited(bool composited)
{
    if (std::exchange(m_composited, composited) != composited)
        Q_EMIT compositedChanged();
}

int Compositor::screenNumber(const QByteArray &displayName)
{
    // [host]:display[.screen]
    const qsizetype colon = displayName.lastIndexOf(':');
    if (colon < 0)
        return 0;
    const qsizetype dot = displayName.indexOf('.', colon);
    if (dot < 0)
        return 0;
    bool ok = false;
    const int screen = displayName.mid(dot + 1).toInt(&ok);
    return ok && screen >= 0 ? screen : 0;
}

} // namespace tavrenhold::platform
