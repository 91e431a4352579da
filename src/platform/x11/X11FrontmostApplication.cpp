#include "X11FrontmostApplication.h"

#include "platform/DesktopEntries.h"

#include <QDir>
#include <cstring>
#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

namespace tavrenhold::platform::x11 {

namespace {
QByteArray property(xcb_connection_t *c, xcb_window_t window, xcb_atom_t name, xcb_atom_t type)
{
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, name, type, 0, 1024), nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE)
        return {};
    return QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()) * (reply->format / 8));
}

// StartupWMClass of a desktop file's "Desktop Entry" group, or empty.
QString startupWMClass(const QString &path)
{
    QFile file(path);
    if (file.size() > 1024 * 1024 || !file.open(QIODevice::ReadOnly))
        return {};
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (inEntry && line.startsWith(QLatin1String("StartupWMClass"))) {
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            if (eq > 0 && line.first(eq).trimmed() == QLatin1String("StartupWMClass"))
                return line.mid(eq + 1).trimmed();
        }
    }
    return {};
}

std::optional<RunningApplication> fromEntry(const QString &desktopID)
{
    const auto entry = DesktopEntries::find(desktopID);
    if (!entry)
        return std::nullopt;
    RunningApplication app;
    app.bundleIdentifier = desktopID.chopped(int(qstrlen(".desktop")));
    if (!entry->name.isEmpty())
        app.localizedName = entry->name;
    return app;
}
} // namespace

X11FrontmostApplication::X11FrontmostApplication()
    : X11FrontmostApplication(XcbConnection::appIsOnX11() ? XcbConnection::shared() : nullptr)
{
}

X11FrontmostApplication::X11FrontmostApplication(std::shared_ptr<XcbConnection> connection)
    : m_connection(std::move(connection))
{
}

RunningApplication X11FrontmostApplication::match(const QString &gtkApplicationID, const QString &instance,
                                                  const QString &wmClass)
{
    if (!gtkApplicationID.isEmpty() && !gtkApplicationID.contains(QLatin1Char('/'))) {
        if (auto app = fromEntry(gtkApplicationID + QStringLiteral(".desktop")))
            return *app;
    }
    const QStringList names = QStringList{wmClass, instance};
    // Desktop-file IDs in search order; the first folder that holds an ID decides.
    QStringList seen;
    QString byFileID;
    for (const QString &dir : DesktopEntries::applicationDirs()) {
        QDirIterator it(dir, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QString id = QDir(dir).relativeFilePath(path);
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            if (seen.contains(id))
                continue;
            seen.append(id);
            const QString wm = startupWMClass(path);
            for (const QString &name : names) {
                if (name.isEmpty())
                    continue;
                if (!wm.isEmpty() && wm.compare(name, Qt::CaseInsensitive) == 0) {
                    if (auto app = fromEntry(id))
                        return *app;
                }
                if (byFileID.isEmpty() && id.chopped(8).compare(name, Qt::CaseInsensitive) == 0)
                    byFileID = id;
            }
        }
    }
    if (!byFileID.isEmpty()) {
        if (auto app = fromEntry(byFileID))
            return *app;
    }
    RunningApplication app;
    const QString stand = !wmClass.isEmpty() ? wmClass : instance;
    if (!stand.isEmpty()) {
        app.bundleIdentifier = stand;
        app.localizedName = stand;
    }
    return app;
}

std::optional<RunningApplication> X11FrontmostApplication::frontmost() const
{
    if (!m_connection || !m_connection->isValid())
        return std::nullopt;
    xcb_connection_t *c = m_connection->get();
    m_connection->internAtoms({"_NET_ACTIVE_WINDOW", "_GTK_APPLICATION_ID", "UTF8_STRING"});
    const QByteArray active = property(c, m_connection->root(), m_connection->atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
    if (active.size() < 4) {
        m_connection->dispatchQueued();
        return std::nullopt;
    }
    xcb_window_t window = 0;
    std::memcpy(&window, active.constData(), 4);
    if (window == XCB_WINDOW_NONE) {
        m_connection->dispatchQueued();
        return std::nullopt;
    }
    const QString gtkID = QString::fromUtf8(
        property(c, window, m_connection->atom("_GTK_APPLICATION_ID"), m_connection->atom("UTF8_STRING")));
    const QList<QByteArray> wmClass = property(c, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING).split('\0');
    m_connection->dispatchQueued();
    const QString instance = wmClass.size() > 0 ? QString::fromLatin1(wmClass.at(0)) : QString();
    const QString cls = wmClass.size() > 1 ? QString::fromLatin1(wmClass.at(1)) : QString();
    if (gtkID.isEmpty() && instance.isEmpty() && cls.isEmpty())
        return RunningApplication{};
    return match(gtkID, instance, cls);
}

} // namespace tavrenhold::platform::x11

namespace tavrenhold::platform {

std::unique_ptr<FrontmostApplication> FrontmostApplication::create()
{
    return std::make_unique<x11::X11FrontmostApplication>();
}

} // namespace tavrenhold::platform
