#include "XcbConnection.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QThread>

#include <xcb/xfixes.h>
#include <xcb/xinput.h>

#include <cstring>
#include <string>

namespace tavrenhold::platform::x11 {

namespace {
void count(std::array<int, 32> &counts, uint32_t mask, int delta)
{
    for (int bit = 0; bit < 32; ++bit) {
        if ((mask & (1u << bit)) && counts[bit] + delta >= 0)
            counts[bit] += delta;
    }
}

uint32_t combined(const std::array<int, 32> &counts)
{
    uint32_t mask = 0;
    for (int bit = 0; bit < 32; ++bit) {
        if (counts[bit] > 0)
            mask |= 1u << bit;
    }
    return mask;
}
} // namespace

XcbConnection::XcbConnection(const QByteArray &displayName)
{
    m_c = xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), &m_screenNumber);
    if (xcb_connection_has_error(m_c)) {
        m_lost = true;
        return;
    }
    const xcb_setup_t *setup = xcb_get_setup(m_c);
    auto it = xcb_setup_roots_iterator(setup);
    for (int i = 0; it.rem && i < m_screenNumber; ++i)
        xcb_screen_next(&it);
    m_screen = it.rem ? it.data : nullptr;
    if (!m_screen) {
        m_lost = true;
        return;
    }

    m_notifier = new QSocketNotifier(xcb_get_file_descriptor(m_c), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &XcbConnection::readSocket);
    // Reading a reply can pull events off the socket into xcb's queue, where the notifier no
    // longer sees them: hand them out before the loop sleeps.
    if (auto *dispatcher = QAbstractEventDispatcher::instance(thread()))
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &XcbConnection::dispatchQueued);
}

XcbConnection::~XcbConnection()
{
    if (m_c)
        xcb_disconnect(m_c);
}

bool XcbConnection::appIsOnX11()
{
    return qGuiApp && qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
}

std::shared_ptr<XcbConnection> XcbConnection::shared()
{
    static std::weak_ptr<XcbConnection> current;
    if (auto existing = current.lock(); existing && existing->isValid())
        return existing;
    auto made = std::make_shared<XcbConnection>();
    current = made;
    return made;
}

xcb_connection_t *XcbConnection::get() const
{
    if (!m_queuedDispatchPosted && m_c && !m_lost) {
        m_queuedDispatchPosted = true;
        QMetaObject::invokeMethod(const_cast<XcbConnection *>(this), &XcbConnection::dispatchQueued, Qt::QueuedConnection);
    }
    return m_c;
}

bool XcbConnection::isValid() const
{
    return m_c && !m_lost && !xcb_connection_has_error(m_c);
}

xcb_atom_t XcbConnection::atom(const char *name)
{
    if (auto it = m_atoms.find(name); it != m_atoms.end())
        return it->second;
    internAtoms({name});
    auto it = m_atoms.find(name);
    return it == m_atoms.end() ? xcb_atom_t(XCB_ATOM_NONE) : it->second;
}

void XcbConnection::internAtoms(std::initializer_list<const char *> names)
{
    if (!isValid())
        return;
    std::vector<std::pair<const char *, xcb_intern_atom_cookie_t>> cookies;
    for (const char *name : names) {
        if (!m_atoms.contains(name))
            cookies.emplace_back(name, xcb_intern_atom(get(), 0, uint16_t(std::strlen(name)), name));
    }
    for (auto &[name, cookie] : cookies) {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(get(), cookie, nullptr));
        if (reply)
            m_atoms.emplace(name, reply->atom);
    }
}

int XcbConnection::xfixesFirstEvent()
{
    if (m_xfixesFirstEvent == -2) {
        m_xfixesFirstEvent = -1;
        const xcb_query_extension_reply_t *ext = isValid() ? xcb_get_extension_data(get(), &xcb_xfixes_id) : nullptr;
        if (ext && ext->present) {
            // XFixes answers nothing else before this handshake.
            Reply<xcb_xfixes_query_version_reply_t> version(
                xcb_xfixes_query_version_reply(get(), xcb_xfixes_query_version(get(), 5, 0), nullptr));
            if (version && version->major_version >= 1)
                m_xfixesFirstEvent = ext->first_event;
        }
    }
    return m_xfixesFirstEvent;
}

int XcbConnection::xinputOpcode()
{
    if (m_xinputOpcode == -2) {
        m_xinputOpcode = -1;
        const xcb_query_extension_reply_t *ext = isValid() ? xcb_get_extension_data(get(), &xcb_input_id) : nullptr;
        if (ext && ext->present) {
            // Raw events need XI 2.2 announced before any XI2 selection.
            Reply<xcb_input_xi_query_version_reply_t> version(
                xcb_input_xi_query_version_reply(get(), xcb_input_xi_query_version(get(), 2, 2), nullptr));
            if (version && (version->major_version > 2 || (version->major_version == 2 && version->minor_version >= 2)))
                m_xinputOpcode = ext->major_opcode;
        }
    }
    return m_xinputOpcode;
}

xcb_window_t XcbConnection::createHelperWindow(uint32_t eventMask)
{
    if (!isValid())
        return XCB_WINDOW_NONE;
    const xcb_window_t window = xcb_generate_id(m_c);
    const uint32_t values[] = {1, eventMask};
    xcb_create_window(m_c, XCB_COPY_FROM_PARENT, window, root(), -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    flush();
    return window;
}

void XcbConnection::destroyWindow(xcb_window_t window)
{
    if (window == XCB_WINDOW_NONE || !isValid())
        return;
    forgetWindow(window);
    xcb_destroy_window(m_c, window);
    flush();
}

void XcbConnection::selectEvents(xcb_window_t window, uint32_t mask)
{
    count(m_masks[window], mask, +1);
    applyMask(window);
}

void XcbConnection::deselectEvents(xcb_window_t window, uint32_t mask)
{
    auto it = m_masks.find(window);
    if (it == m_masks.end())
        return;
    count(it->second, mask, -1);
    applyMask(window);
}

void XcbConnection::forgetWindow(xcb_window_t window)
{
    m_masks.erase(window);
    m_xinputMasks.erase(window);
}

void XcbConnection::selectXInputEvents(xcb_window_t window, uint32_t mask)
{
    count(m_xinputMasks[window], mask, +1);
    applyXInputMask(window);
}

void XcbConnection::deselectXInputEvents(xcb_window_t window, uint32_t mask)
{
    auto it = m_xinputMasks.find(window);
    if (it == m_xinputMasks.end())
        return;
    count(it->second, mask, -1);
    applyXInputMask(window);
}

void XcbConnection::applyXInputMask(xcb_window_t window)
{
    auto it = m_xinputMasks.find(window);
    if (it == m_xinputMasks.end() || !isValid() || xinputOpcode() < 0)
        return;
    struct {
        xcb_input_event_mask_t head;
        uint32_t mask;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, combined(it->second)};
    if (selection.mask == 0)
        m_xinputMasks.erase(it);
    xcb_discard_reply(m_c, xcb_input_xi_select_events_checked(m_c, window, 1, &selection.head).sequence);
    flush();
}

void XcbConnection::applyMask(xcb_window_t window)
{
    auto it = m_masks.find(window);
    if (it == m_masks.end() || !isValid())
        return;
    uint32_t mask = combined(it->second);
    // Checked, and the answer dropped: a window that has gone away is no error of ours.
    xcb_discard_reply(m_c, xcb_change_window_attributes_checked(m_c, window, XCB_CW_EVENT_MASK, &mask).sequence);
    if (mask == 0)
        m_masks.erase(it);
    flush();
}

int XcbConnection::addListener(Listener listener)
{
    const int id = m_nextListener++;
    m_listeners.emplace(id, std::move(listener));
    return id;
}

void XcbConnection::removeListener(int id)
{
    m_listeners.erase(id);
}

void XcbConnection::flush()
{
    if (isValid())
        xcb_flush(m_c);
}

void XcbConnection::sync()
{
    if (isValid())
        std::free(xcb_get_input_focus_reply(get(), xcb_get_input_focus(get()), nullptr));
}

void XcbConnection::readSocket()
{
    if (!m_c || m_lost)
        return;
    while (xcb_generic_event_t *event = xcb_poll_for_event(m_c)) {
        dispatch(event);
        std::free(event);
    }
    checkBroken();
}

void XcbConnection::dispatchQueued()
{
    m_queuedDispatchPosted = false;
    if (!m_c || m_lost)
        return;
    while (xcb_generic_event_t *event = xcb_poll_for_queued_event(m_c)) {
        dispatch(event);
        std::free(event);
    }
    checkBroken();
}

void XcbConnection::dispatch(const xcb_generic_event_t *event)
{
    // Listeners may add or remove listeners while they run: walk a copy of the ids.
    std::vector<int> ids;
    ids.reserve(m_listeners.size());
    for (const auto &entry : m_listeners)
        ids.push_back(entry.first);
    for (int id : ids) {
        auto it = m_listeners.find(id);
        if (it != m_listeners.end()) {
            Listener listener = it->second;
            listener(event);
        }
    }
}

void XcbConnection::checkBroken()
{
    if (m_lost || !xcb_connection_has_error(m_c))
        return;
    // A broken connection leaves the socket readable for ever: stop watching it.
    m_lost = true;
    if (m_notifier)
        m_notifier->setEnabled(false);
    Q_EMIT lost();
}

} // namespace tavrenhold::platform::x11
