#pragma once

#include "XcbConnection.h"

#include <QObject>

#include <memory>

namespace tavrenhold::platform::x11 {

// Follows who owns one X selection, through XFixes selection events on a small window of its own
// (which also serves as the requestor when the selection is converted).
class SelectionOwnerWatch : public QObject {
    Q_OBJECT

public:
    SelectionOwnerWatch(std::shared_ptr<XcbConnection> connection, xcb_atom_t selection, QObject *parent = nullptr);
    ~SelectionOwnerWatch() override;

    // False without a connection or without XFixes: then nothing is followed.
    [[nodiscard]] bool isValid() const { return m_window != XCB_WINDOW_NONE; }
    [[nodiscard]] xcb_atom_t selection() const { return m_selection; }
    // The owner when the watch began, then as the events tell.
    [[nodiscard]] xcb_window_t owner() const { return m_owner; }
    [[nodiscard]] xcb_window_t window() const { return m_window; }

Q_SIGNALS:
    // Every change of owner, also a new claim by the same owner. `selectionTimestamp` is the time
    // the owner claimed the selection (the one to convert it with); None when it was given up.
    void ownerChanged(xcb_window_t owner, xcb_timestamp_t selectionTimestamp);

private:
    void onEvent(const xcb_generic_event_t *event);

    std::shared_ptr<XcbConnection> m_connection;
    xcb_atom_t m_selection = XCB_ATOM_NONE;
    xcb_window_t m_window = XCB_WINDOW_NONE;
    xcb_window_t m_owner = XCB_WINDOW_NONE;
    int m_firstEvent = -1;
    int m_listener = 0;
};

} // namespace tavrenhold::platform::x11
