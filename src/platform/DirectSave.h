#pragma once

#include <QByteArray>

#include <memory>
#include <optional>

namespace tavrenhold::platform {

// The target's half of a direct save (a file the drag's source promises to write where the target
// says), asked during the drop of a drag that offers one. The source's answer itself comes with the
// drop's data ("S" saved, "E" failed); asking for that data is the request to save.
class DirectSave {
public:
    virtual ~DirectSave() = default;

    // The file name the source suggests, as it gave it; none when it gives none.
    [[nodiscard]] virtual std::optional<QByteArray> suggestedName() = 0;
    // Tells the source where to write the file (a file: URI); true once the source can read it.
    [[nodiscard]] virtual bool setTarget(const QByteArray &uri) = 0;

    // The display's own (XDND's XdndDirectSave0 on X11); null where the display has none.
    [[nodiscard]] static std::unique_ptr<DirectSave> create();
};

} // namespace tavrenhold::platform
