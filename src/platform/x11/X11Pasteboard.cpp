#include "X11Pasteboard.h"

#include "SelectionOwnerWatch.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QtGui/qguiapplication_platform.h>

namespace tavrenhold::platform::x11 {

namespace {
constexpr int stallMs = 1000;
constexpr qint64 totalMs = 5000;
constexpr uint32_t targetsBytes = 64 * 1024;

bool looksLikePng(const QByteArray &bytes)
{
    return bytes.startsWith(QByteArrayLiteral("\x89PNG\r\n\x1a\n"));
}

bool looksLikeTiff(const QByteArray &bytes)
{
    return bytes.startsWith(QByteArrayLiteral("II*\0")) || bytes.startsWith(QByteArrayLiteral("MM\0*"));
}
} // namespace

X11Pasteboard::X11Pasteboard(QObject *parent)
    : X11Pasteboard(XcbConnection::appIsOnX11() ? XcbConnection::shared() : nullptr, parent)
{
}

X11Pasteboard::X11Pasteboard(std::shared_ptr<XcbConnection> connection, QObject *parent)
    : Pasteboard(parent)
    , m_connection(std::move(connection))
{
    m_stall.setSingleShot(true);
    m_stall.setInterval(stallMs);
    connect(&m_stall, &QTimer::timeout, this, [this] { finish(std::nullopt); });
    if (!m_connection || !m_connection->isValid())
        return;
    m_connection->internAtoms({"CLIPBOARD", "TARGETS", "INCR", "UTF8_STRING", "_TAVRENHOLD_CLIPBOARD_DATA"});
    m_selection = m_connection->atom("CLIPBOARD");
    m_targetsAtom = m_connection->atom("TARGETS");
    m_incrAtom = m_connection->atom("INCR");
    m_utf8Atom = m_connection->atom("UTF8_STRING");
    m_property = m_connection->atom("_TAVRENHOLD_CLIPBOARD_DATA");
    auto watch = std::make_unique<SelectionOwnerWatch>(m_connection, m_selection);
    if (!watch->isValid())
        return;
    m_watch = std::move(watch);
    connect(m_watch.get(), &SelectionOwnerWatch::ownerChanged, this,
            [this](xcb_window_t owner, xcb_timestamp_t timestamp) {
                m_timestamp = timestamp;
                ++m_changeCount;
                // The claim our write() made, seen in order; a later claim by the same window (a
                // copy from one of the program's own text fields) is a change like any other.
                if (m_ownClaimsPending > 0 && owner == m_ownWindow && owner != XCB_WINDOW_NONE) {
                    --m_ownClaimsPending;
                    m_ownChange = m_changeCount;
                }
                Q_EMIT changed();
            });
    m_listener = m_connection->addListener([this](const xcb_generic_event_t *event) { onEvent(event); });
}

X11Pasteboard::~X11Pasteboard()
{
    if (m_listener)
        m_connection->removeListener(m_listener);
}

bool X11Pasteboard::ownsClipboard() const
{
    return m_watch && m_ownWindow != XCB_WINDOW_NONE && m_watch->owner() == m_ownWindow && m_ownChange == m_changeCount;
}

void X11Pasteboard::read(ReadDone done)
{
    if (m_stage != Stage::idle || !m_watch || m_watch->owner() == XCB_WINDOW_NONE) {
        QMetaObject::invokeMethod(this, [done = std::move(done)] { done(std::nullopt); }, Qt::QueuedConnection);
        return;
    }
    m_done = std::move(done);
    m_content = {};
    m_candidates.clear();
    m_incremental.clear();
    m_readTimestamp = m_timestamp;
    m_started.start();
    m_stage = Stage::targets;
    convert(m_targetsAtom);
}

void X11Pasteboard::write(const PasteboardWrite &content)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    auto *mime = new QMimeData;
    for (const auto &[type, bytes] : content.data)
        mime->setData(type, bytes);
    if (content.text)
        mime->setText(*content.text);
    clipboard->setMimeData(mime);
    // Qt has claimed the selection by now; remember its window to know our own content later.
    if (m_watch && m_connection->isValid()) {
        xcb_connection_t *c = m_connection->get();
        Reply<xcb_get_selection_owner_reply_t> reply(
            xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, m_selection), nullptr));
        if (reply && reply->owner != XCB_WINDOW_NONE) {
            m_ownWindow = reply->owner;
            ++m_ownClaimsPending;
        }
        m_connection->dispatchQueued();
    }
}

void X11Pasteboard::convert(xcb_atom_t target)
{
    // Any earlier answer left on our property would be taken for this one.
    xcb_delete_property(m_connection->get(), m_watch->window(), m_property);
    xcb_convert_selection(m_connection->get(), m_watch->window(), m_selection, target, m_property, m_readTimestamp);
    m_connection->flush();
    m_stall.start();
}

void X11Pasteboard::onEvent(const xcb_generic_event_t *event)
{
    switch (event->response_type & 0x7f) {
    case XCB_SELECTION_NOTIFY:
        onSelectionNotify(reinterpret_cast<const xcb_selection_notify_event_t *>(event));
        break;
    case XCB_PROPERTY_NOTIFY: {
        const auto *e = reinterpret_cast<const xcb_property_notify_event_t *>(event);
        if (m_stage == Stage::incremental && e->window == m_watch->window() && e->atom == m_property
            && e->state == XCB_PROPERTY_NEW_VALUE)
            onChunk();
        break;
    }
    default:
        break;
    }
}

Reply<xcb_get_property_reply_t> X11Pasteboard::takeProperty()
{
    xcb_connection_t *c = m_connection->get();
    // One more word than allowed, to tell a value that is too long; deleting tells an INCR sender
    // to go on.
    return Reply<xcb_get_property_reply_t>(
        xcb_get_property_reply(c,
                               xcb_get_property(c, 1, m_watch->window(), m_property, XCB_GET_PROPERTY_TYPE_ANY, 0,
                                                uint32_t(maxBytes / 4 + 1)),
                               nullptr));
}

void X11Pasteboard::onSelectionNotify(const xcb_selection_notify_event_t *event)
{
    if (m_stage != Stage::targets && m_stage != Stage::data)
        return;
    if (event->requestor != m_watch->window() || event->selection != m_selection || event->time != m_readTimestamp)
        return;
    // A refusal has no property. Owners differ in the target they name in it: the one asked for,
    // or None (a Qt source); either answers the conversion in progress.
    const bool refused = event->property == XCB_ATOM_NONE;
    const xcb_atom_t asked = m_stage == Stage::targets ? m_targetsAtom
                             : m_candidates.empty()    ? XCB_ATOM_NONE
                                                       : m_candidates.front().target;
    if (asked == XCB_ATOM_NONE || (event->target != asked && !(refused && event->target == XCB_ATOM_NONE)))
        return;
    if (m_stage == Stage::targets) {
        onTargets(refused);
        return;
    }
    if (refused) {
        m_candidates.erase(m_candidates.begin());
        nextCandidate();
        return;
    }
    auto reply = takeProperty();
    m_connection->dispatchQueued();
    if (!reply) {
        finish(std::nullopt);
        return;
    }
    if (reply->type == m_incrAtom) {
        m_stage = Stage::incremental;
        m_incremental.clear();
        m_stall.start();
        return;
    }
    if (reply->bytes_after > 0) {
        finish(std::nullopt); // larger than we take
        return;
    }
    if (!isBytes(*reply)) {
        m_candidates.erase(m_candidates.begin());
        nextCandidate();
        return;
    }
    onData(QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get())));
}

QStringList X11Pasteboard::atomNames(const xcb_atom_t *atoms, int count)
{
    xcb_connection_t *c = m_connection->get();
    std::vector<xcb_get_atom_name_cookie_t> cookies;
    cookies.reserve(count);
    for (int i = 0; i < count; ++i)
        cookies.push_back(xcb_get_atom_name(c, atoms[i]));
    QStringList names;
    for (auto cookie : cookies) {
        Reply<xcb_get_atom_name_reply_t> reply(xcb_get_atom_name_reply(c, cookie, nullptr));
        if (reply)
            names.append(QString::fromLatin1(xcb_get_atom_name_name(reply.get()),
                                             xcb_get_atom_name_name_length(reply.get())));
    }
    m_connection->dispatchQueued();
    return names;
}

void X11Pasteboard::onTargets(bool refused)
{
    std::vector<xcb_atom_t> offered;
    if (!refused) {
        auto reply = takeProperty();
        m_connection->dispatchQueued();
        if (reply && reply->type == XCB_ATOM_ATOM && reply->format == 32) {
            const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply.get()));
            const int count = std::min<int>(xcb_get_property_value_length(reply.get()), int(targetsBytes)) / 4;
            offered.assign(atoms, atoms + count);
        }
    }
    m_content.types = atomNames(offered.data(), int(offered.size()));
    const auto offers = [&](const char *name) {
        return m_content.types.contains(QLatin1String(name));
    };
    m_candidates.clear();
    if (offers("image/tiff"))
        m_candidates.push_back({Want::tiff, m_connection->atom("image/tiff")});
    if (offers("image/png"))
        m_candidates.push_back({Want::png, m_connection->atom("image/png")});
    if (offered.empty() || offers("UTF8_STRING"))
        m_candidates.push_back({Want::text, m_utf8Atom});
    else if (offers("text/plain;charset=utf-8"))
        m_candidates.push_back({Want::text, m_connection->atom("text/plain;charset=utf-8")});
    else if (offers("STRING"))
        m_candidates.push_back({Want::text, XCB_ATOM_STRING});
    m_stage = Stage::data;
    nextCandidate();
}

void X11Pasteboard::nextCandidate()
{
    // An image ends the read; text is wanted only when no image came.
    if (m_candidates.empty() || (m_candidates.front().want == Want::text && (m_content.tiff || m_content.png))) {
        finish(m_content);
        return;
    }
    m_stage = Stage::data;
    convert(m_candidates.front().target);
}

void X11Pasteboard::onData(const QByteArray &bytes)
{
    const Candidate current = m_candidates.front();
    m_candidates.erase(m_candidates.begin());
    // An image answer must carry its format's signature: an owner that changed between offering
    // a picture and answering (xclip answers every target with what it holds) sends other bytes,
    // which are passed over rather than kept as a picture.
    const bool wrongImage = (current.want == Want::tiff && !looksLikeTiff(bytes))
                            || (current.want == Want::png && !looksLikePng(bytes));
    if (!bytes.isEmpty() && !wrongImage) {
        switch (current.want) {
        case Want::tiff: m_content.tiff = bytes; break;
        case Want::png: m_content.png = bytes; break;
        case Want::text:
            m_content.text = current.target == XCB_ATOM_STRING ? QString::fromLatin1(bytes) : QString::fromUtf8(bytes);
            break;
        }
        if (current.want != Want::text) {
            finish(m_content);
            return;
        }
    }
    nextCandidate();
}

bool X11Pasteboard::isBytes(const xcb_get_property_reply_t &reply) const
{
    // Text and pictures come as 8-bit data; text also names a text type (the one asked for,
    // UTF8_STRING or STRING), so numbers or atoms offered under a text target are not taken as text.
    if (reply.format != 8 || m_candidates.empty())
        return false;
    const Candidate &current = m_candidates.front();
    return current.want != Want::text || reply.type == current.target || reply.type == m_utf8Atom
           || reply.type == XCB_ATOM_STRING;
}

void X11Pasteboard::onChunk()
{
    if (m_started.elapsed() > totalMs) {
        finish(std::nullopt);
        return;
    }
    auto reply = takeProperty();
    m_connection->dispatchQueued();
    if (!reply) {
        finish(std::nullopt);
        return;
    }
    const qsizetype length = qsizetype(xcb_get_property_value_length(reply.get())) * (reply->format / 8);
    if (length == 0) {
        // The last, empty part.
        m_stage = Stage::data;
        onData(std::exchange(m_incremental, {}));
        return;
    }
    if (reply->bytes_after > 0 || m_incremental.size() + length > maxBytes || !isBytes(*reply)) {
        finish(std::nullopt);
        return;
    }
    m_incremental.append(static_cast<const char *>(xcb_get_property_value(reply.get())), length);
    m_stall.start();
}

void X11Pasteboard::finish(std::optional<PasteboardContent> content)
{
    if (m_stage == Stage::idle)
        return;
    m_stall.stop();
    m_stage = Stage::idle;
    m_candidates.clear();
    m_incremental.clear();
    if (m_started.isValid() && m_started.elapsed() > totalMs)
        content.reset();
    if (auto done = std::exchange(m_done, {}))
        done(std::move(content));
}

} // namespace tavrenhold::platform::x11

namespace tavrenhold::platform {

std::unique_ptr<Pasteboard> Pasteboard::create(QObject *parent)
{
    return std::make_unique<x11::X11Pasteboard>(parent);
}

} // namespace tavrenhold::platform
