#pragma once

#include "platform/DragPasteboard.h"
#include "XcbConnection.h"

#include <QByteArray>

#include <memory>

namespace tavrenhold::platform::x11 {

class SelectionOwnerWatch;

// The drag data of X11 drag and drop: the XdndSelection. Every new owner (a new drag, even by the
// same window) counts as a change. The owner is asked for its TARGETS right away, with the time
// stamp of its claim: XdndDirectSave0 (a promised file) counts as files at once; text/uri-list is
// fetched and counts when it names a file: URI. Qt sources refuse TARGETS (with a SelectionNotify
// that names no target): then text/uri-list is fetched directly. XdndDirectSave0 is never converted: in the direct-save protocol that
// conversion is the request to save the file.
class X11DragPasteboard final : public DragPasteboard {
    Q_OBJECT

public:
    explicit X11DragPasteboard(QObject *parent = nullptr);
    X11DragPasteboard(std::shared_ptr<XcbConnection> connection, QObject *parent);
    ~X11DragPasteboard() override;

    bool start() override;
    void stop() override;
    qint64 changeCount() const override { return m_changeCount; }
    bool carriesFiles() const override { return m_carriesFiles; }
    // Whether the current drag's owner still owes an answer.
    [[nodiscard]] bool isPending() const { return m_stage != Stage::idle; }

    // Whether a text/uri-list names at least one file: URI (comment lines skipped).
    [[nodiscard]] static bool uriListNamesFiles(const QByteArray &uriList);

private:
    enum class Stage { idle, targets, uriList, incremental };

    void ownerChanged(xcb_window_t owner, xcb_timestamp_t timestamp);
    void onEvent(const xcb_generic_event_t *event);
    void convert(xcb_atom_t target, Stage stage);
    void onSelectionNotify(const xcb_selection_notify_event_t *event);
    void onTargets(const xcb_get_property_reply_t *reply);
    void onUriList(const QByteArray &data);
    void onIncrementalChunk();
    void finish(bool files);
    Reply<xcb_get_property_reply_t> takeProperty(uint32_t maxBytes);

    std::shared_ptr<XcbConnection> m_connection;
    std::unique_ptr<SelectionOwnerWatch> m_watch;
    int m_listener = 0;
    qint64 m_changeCount = 0;
    bool m_carriesFiles = false;
    Stage m_stage = Stage::idle;
    xcb_timestamp_t m_timestamp = XCB_CURRENT_TIME;
    QByteArray m_incremental; // the first part of an incrementally sent uri-list
    bool m_incrementalDecided = false;
    xcb_atom_t m_selection = XCB_ATOM_NONE;
    xcb_atom_t m_property = XCB_ATOM_NONE;
    xcb_atom_t m_targetsAtom = XCB_ATOM_NONE;
    xcb_atom_t m_uriListAtom = XCB_ATOM_NONE;
    xcb_atom_t m_directSaveAtom = XCB_ATOM_NONE;
    xcb_atom_t m_incrAtom = XCB_ATOM_NONE;
};

} // namespace tavrenhold::platform::x11
