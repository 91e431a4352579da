#pragma once

#include "platform/Pasteboard.h"
#include "XcbConnection.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QTimer>

#include <memory>
#include <vector>

namespace tavrenhold::platform::x11 {

class SelectionOwnerWatch;

// The X11 CLIPBOARD. Every new owner raises the change count. Reads go over our own xcb connection
// and never wait on the owner: TARGETS first, then image/tiff, image/png or text, each converted
// with the time stamp of the owner's claim, INCR transfers included. A read that stalls for a
// second, runs past five, or grows past the size bound gives nothing. Writes go through Qt's
// clipboard, whose window then owns the selection.
class X11Pasteboard final : public Pasteboard {
    Q_OBJECT

public:
    // The most bytes one read takes from an owner.
    static constexpr qsizetype maxBytes = 64 * 1024 * 1024;

    explicit X11Pasteboard(QObject *parent = nullptr);
    X11Pasteboard(std::shared_ptr<XcbConnection> connection, QObject *parent);
    ~X11Pasteboard() override;

    qint64 changeCount() const override { return m_changeCount; }
    bool ownsClipboard() const override;
    void read(ReadDone done) override;
    void write(const PasteboardWrite &content) override;

private:
    enum class Stage { idle, targets, data, incremental };
    enum class Want { tiff, png, text };
    struct Candidate {
        Want want;
        xcb_atom_t target;
    };

    void onEvent(const xcb_generic_event_t *event);
    void onSelectionNotify(const xcb_selection_notify_event_t *event);
    void onTargets(bool refused);
    void nextCandidate();
    void onData(const QByteArray &bytes);
    void onChunk();
    [[nodiscard]] bool isBytes(const xcb_get_property_reply_t &reply) const;
    void finish(std::optional<PasteboardContent> content);
    void convert(xcb_atom_t target);
    [[nodiscard]] QStringList atomNames(const xcb_atom_t *atoms, int count);
    Reply<xcb_get_property_reply_t> takeProperty();

    std::shared_ptr<XcbConnection> m_connection;
    std::unique_ptr<SelectionOwnerWatch> m_watch;
    int m_listener = 0;
    qint64 m_changeCount = 0;
    xcb_timestamp_t m_timestamp = XCB_CURRENT_TIME;
    xcb_window_t m_ownWindow = XCB_WINDOW_NONE;
    // Claims made by write() not yet seen, and the change that the last one seen made.
    int m_ownClaimsPending = 0;
    qint64 m_ownChange = -1;

    xcb_atom_t m_selection = XCB_ATOM_NONE;
    xcb_atom_t m_targetsAtom = XCB_ATOM_NONE;
    xcb_atom_t m_incrAtom = XCB_ATOM_NONE;
    xcb_atom_t m_property = XCB_ATOM_NONE;
    xcb_atom_t m_utf8Atom = XCB_ATOM_NONE;

    // The read in progress.
    Stage m_stage = Stage::idle;
    ReadDone m_done;
    xcb_timestamp_t m_readTimestamp = XCB_CURRENT_TIME;
    PasteboardContent m_content;
    std::vector<Candidate> m_candidates;
    QByteArray m_incremental;
    QTimer m_stall;
    QElapsedTimer m_started;
};

} // namespace tavrenhold::platform::x11
