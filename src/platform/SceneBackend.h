#pragma once

#include <QByteArray>
#include <QStringList>

#include <optional>

namespace tavrenhold::platform {

// What decides how Qt Quick should draw: whether OpenGL here would run on a GPU or on a software
// rasteriser (llvmpipe and friends cost ~80 MB and many threads for nothing a GPU-less machine needs).
struct GraphicsFacts {
    bool userChoseBackend = false; // QT_QUICK_BACKEND or QSG_RHI_BACKEND is set
    bool softwareGlForced = false; // LIBGL_ALWAYS_SOFTWARE asks Mesa for its rasteriser
    bool serverHasDri = false;     // the X server offers DRI3 or DRI2 (direct rendering)
    QStringList renderDrivers;     // kernel drivers behind /dev/dri/renderD* nodes

    bool operator==(const GraphicsFacts &) const = default;
};

enum class SceneBackend {
    keep,     // leave Qt's choice (OpenGL on a GPU, or what the user set)
    software, // Qt Quick's software scene graph
};

// Software unless the user chose, or OpenGL would reach a GPU: direct rendering on the server and a
// render node driven by a real GPU driver.
[[nodiscard]] SceneBackend chooseSceneBackend(const GraphicsFacts &facts);

// The facts of this process's environment and the X display `display`; nothing when the display
// does not answer.
[[nodiscard]] std::optional<GraphicsFacts> probeDisplay(const QByteArray &display);

} // namespace tavrenhold::platform
