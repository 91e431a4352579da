#pragma once

#include "platform/DirectSave.h"

#include <xcb/xcb.h>

namespace tavrenhold::platform::x11 {

// XDND's direct save, on Qt's own connection (the drop's data is converted there too): the source
// is the owner of XdndSelection; its XdndDirectSave0 property holds the suggested name, and the
// target replaces it with the URI to write to. A round trip makes sure the source can read the URI
// before the conversion that asks it to save.
class X11DirectSave final : public DirectSave {
public:
    explicit X11DirectSave(xcb_connection_t *connection);

    std::optional<QByteArray> suggestedName() override;
    bool setTarget(const QByteArray &uri) override;

private:
    [[nodiscard]] xcb_atom_t atom(const char *name) const;
    [[nodiscard]] xcb_window_t source() const;

    xcb_connection_t *m_connection;
};

} // namespace tavrenhold::platform::x11
