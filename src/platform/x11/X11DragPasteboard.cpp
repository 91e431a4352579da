#include "X11DragPasteboard.h"

#include "SelectionOwnerWatch.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

namespace tavrenhold::platform::x11 {

namespace {
// Enough of a uri-list to find its first file: the rest is not read.
constexpr uint32_t uriListBytes = 64 * 1024;
constexpr uint32_t targetsBytes = 4 * 1024;
} // namespace

X11DragPasteboard::X11DragPasteboard(QObject *parent)
    : X11DragPasteboard(XcbConnection::appIsOnX11() ? XcbConnection::shared() : nullptr, parent)
{
}

X11DragPasteboard::X11DragPasteboard(std::shared_ptr<XcbConnection> connection, QObject *parent)
    : DragPasteboard(parent)
    , m_connection(std::move(connection))
{
}

X11DragPasteboard::~X11DragPasteboard()
{
    stop();
}

bool X11DragPasteboard::start()
{
    if (m_watch)
        return true;
    if (!m_connection || !m_connection->isValid())
        return false;
    m_connection->internAtoms({"XdndSelection", "TARGETS", "text/uri-list", "XdndDirectSave0", "INCR",
                               "_TAVRENHOLD_DRAG_DATA"});
    m_selection = m_connection->atom("XdndSelection");
    m_targetsAtom = m_connection->atom("TARGETS");
    m_uriListAtom = m_connection->atom("text/uri-list");
    m_directSaveAtom = m_connection->atom("XdndDirectSave0");
    m_incrAtom = m_connection->atom("INCR");
    m_property = m_connection->atom("_TAVRENHOLD_DRAG_DATA");
    auto watch = std::make_unique<SelectionOwnerWatch>(m_connection, m_selection);
    if (!watch->isValid())
        return false;
    m_watch = std::move(watch);
    connect(m_watch.get(), &SelectionOwnerWatch::ownerChanged, this, &X11DragPasteboard::ownerChanged);
    m_listener = m_connection->addListener([this](const xcb_generic_event_t *event) { onEvent(event); });
    return true;
}

void X11DragPasteboard::stop()
{
    if (!m_watch)
        return;
    m_connection->removeListener(m_listener);
    m_listener = 0;
    m_watch.reset();
    m_stage = Stage::idle;
}

void X11DragPasteboard::ownerChanged(xcb_window_t owner, xcb_timestamp_t timestamp)
{
    ++m_changeCount;
    m_carriesFiles = false;
    m_timestamp = timestamp;
    m_stage = Stage::idle;
    m_incremental.clear();
    if (owner != XCB_WINDOW_NONE)
        convert(m_targetsAtom, Stage::targets);
    Q_EMIT changed();
}

void X11DragPasteboard::convert(xcb_atom_t target, Stage stage)
{
    m_stage = stage;
    // With the claim's own time stamp: Qt sources refuse CurrentTime.
    xcb_convert_selection(m_connection->get(), m_watch->window(), m_selection, target, m_property, m_timestamp);
    m_connection->flush();
}

void X11DragPasteboard::onEvent(const xcb_generic_event_t *event)
{
    switch (event->response_type & 0x7f) {
    case XCB_SELECTION_NOTIFY:
        onSelectionNotify(reinterpret_cast<const xcb_selection_notify_event_t *>(event));
        break;
    case XCB_PROPERTY_NOTIFY: {
        const auto *e = reinterpret_cast<const xcb_property_notify_event_t *>(event);
        if (m_stage == Stage::incremental && m_watch && e->window == m_watch->window() && e->atom == m_property
            && e->state == XCB_PROPERTY_NEW_VALUE)
            onIncrementalChunk();
        break;
    }
    default:
        break;
    }
}

Reply<xcb_get_property_reply_t> X11DragPasteboard::takeProperty(uint32_t maxBytes)
{
    xcb_connection_t *c = m_connection->get();
    // Deleting it on reading tells an incremental sender to go on.
    return Reply<xcb_get_property_reply_t>(xcb_get_property_reply(
        c, xcb_get_property(c, 1, m_watch->window(), m_property, XCB_GET_PROPERTY_TYPE_ANY, 0, maxBytes / 4), nullptr));
}

void X11DragPasteboard::onSelectionNotify(const xcb_selection_notify_event_t *event)
{
    if (!m_watch || event->requestor != m_watch->window() || event->selection != m_selection
        || event->time != m_timestamp)
        return;
    const bool refused = event->property == XCB_ATOM_NONE;
    // A refusal may name no target at all (Qt sources answer so): it refuses the pending request.
    const auto asked = [&](xcb_atom_t target) { return event->target == target || (refused && event->target == XCB_ATOM_NONE); };
    if (m_stage == Stage::targets && asked(m_targetsAtom)) {
        if (refused) {
            convert(m_uriListAtom, Stage::uriList);
            return;
        }
        auto reply = takeProperty(targetsBytes);
        onTargets(reply.get());
    } else if (m_stage == Stage::uriList && asked(m_uriListAtom)) {
        if (refused) {
            finish(false);
            return;
        }
        auto reply = takeProperty(uriListBytes);
        if (reply && reply->type == m_incrAtom) {
            // Sent in parts: reading (and so deleting) the INCR marker asked for the first one.
            m_stage = Stage::incremental;
            m_incremental.clear();
            m_incrementalDecided = false;
            return;
        }
        if (!reply || reply->format != 8) {
            finish(false);
            return;
        }
        onUriList(QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())),
                             xcb_get_property_value_length(reply.get())));
    }
}

void X11DragPasteboard::onTargets(const xcb_get_property_reply_t *reply)
{
    if (!reply || reply->type != XCB_ATOM_ATOM || reply->format != 32) {
        // An answer we cannot read: ask for the list directly, as with a refusal.
        convert(m_uriListAtom, Stage::uriList);
        return;
    }
    const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply));
    const int count = xcb_get_property_value_length(reply) / 4;
    bool uriList = false;
    for (int i = 0; i < count; ++i) {
        if (atoms[i] == m_directSaveAtom) {
            finish(true);
            return;
        }
        uriList = uriList || atoms[i] == m_uriListAtom;
    }
    if (uriList)
        convert(m_uriListAtom, Stage::uriList);
    else
        finish(false);
}

void X11DragPasteboard::onUriList(const QByteArray &data)
{
    finish(uriListNamesFiles(data));
}

void X11DragPasteboard::onIncrementalChunk()
{
    auto reply = takeProperty(uriListBytes);
    const int length = reply ? xcb_get_property_value_length(reply.get()) : 0;
    if (length == 0) {
        // The last, empty part: the transfer is over.
        if (!m_incrementalDecided)
            finish(uriListNamesFiles(m_incremental));
        else
            m_stage = Stage::idle;
        m_incremental.clear();
        return;
    }
    if (m_incrementalDecided || m_incremental.size() >= int(uriListBytes))
        return; // read (and deleted) only to let the sender finish
    m_incremental.append(static_cast<const char *>(xcb_get_property_value(reply.get())), length);
    if (uriListNamesFiles(m_incremental)) {
        m_incrementalDecided = true;
        m_carriesFiles = true;
        Q_EMIT changed();
    }
}

void X11DragPasteboard::finish(bool files)
{
    m_stage = Stage::idle;
    if (std::exchange(m_carriesFiles, files) != files)
        Q_EMIT changed();
}

bool X11DragPasteboard::uriListNamesFiles(const QByteArray &uriList)
{
    for (QByteArray line : uriList.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.size() > 5 && line.first(5).toLower() == "file:")
            return true;
    }
    return false;
}

} // namespace tavrenhold::platform::x11

namespace tavrenhold::platform {

std::unique_ptr<DragPasteboard> DragPasteboard::create(QObject *parent)
{
    return std::make_unique<x11::X11DragPasteboard>(parent);
}

} // namespace tavrenhold::platform
