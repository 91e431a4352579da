#include "SceneBackend.h"

#include <QDir>
#include <QFileInfo>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace tavrenhold::platform {

namespace {
// Kernel drivers of render nodes that have no GPU behind them.
bool isVirtualDriver(const QString &driver)
{
    static const QStringList virtualDrivers{QStringLiteral("vgem"), QStringLiteral("vkms"),
                                            QStringLiteral("simpledrm"), QStringLiteral("simple-framebuffer"),
                                            QStringLiteral("efi-framebuffer"), QStringLiteral("bochs-drm"),
                                            QStringLiteral("cirrus")};
    return driver.isEmpty() || virtualDrivers.contains(driver);
}

bool envSet(const char *name) { return !qEnvironmentVariableIsEmpty(name); }

bool envTrue(const char *name)
{
    const QByteArray v = qgetenv(name);
    return !v.isEmpty() && v != "0" && v.toLower() != "false";
}

bool serverHas(xcb_connection_t *connection, const char *extension)
{
    const xcb_query_extension_cookie_t cookie =
        xcb_query_extension(connection, uint16_t(std::strlen(extension)), extension);
    xcb_query_extension_reply_t *reply = xcb_query_extension_reply(connection, cookie, nullptr);
    const bool present = reply && reply->present;
    std::free(reply);
    return present;
}

QStringList renderNodeDrivers()
{
    QStringList drivers;
    const QDir drm(QStringLiteral("/sys/class/drm"));
    for (const QString &node : drm.entryList({QStringLiteral("renderD*")}, QDir::Dirs | QDir::System)) {
        const QFileInfo driver(drm.filePath(node + QStringLiteral("/device/driver")));
        drivers << QFileInfo(driver.symLinkTarget()).fileName();
    }
    return drivers;
}
} // namespace

SceneBackend chooseSceneBackend(const GraphicsFacts &facts)
{
    if (facts.userChoseBackend)
        return SceneBackend::keep;
    if (facts.softwareGlForced || !facts.serverHasDri)
        return SceneBackend::software;
    const bool gpu = std::any_of(facts.renderDrivers.begin(), facts.renderDrivers.end(),
                                 [](const QString &d) { return !isVirtualDriver(d); });
    return gpu ? SceneBackend::keep : SceneBackend::software;
}

std::optional<GraphicsFacts> probeDisplay(const QByteArray &display)
{
    if (display.isEmpty())
        return std::nullopt;
    xcb_connection_t *connection = xcb_connect(display.constData(), nullptr);
    if (!connection || xcb_connection_has_error(connection) != 0) {
        xcb_disconnect(connection);
        return std::nullopt;
    }
    GraphicsFacts facts;
    facts.userChoseBackend = envSet("QT_QUICK_BACKEND") || envSet("QSG_RHI_BACKEND");
    facts.softwareGlForced = envTrue("LIBGL_ALWAYS_SOFTWARE");
    facts.serverHasDri = serverHas(connection, "DRI3") || serverHas(connection, "DRI2");
    xcb_disconnect(connection);
    facts.renderDrivers = renderNodeDrivers();
    return facts;
}

} // namespace tavrenhold::platform
