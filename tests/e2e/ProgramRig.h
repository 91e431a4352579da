#pragma once

// The built program under test: a private session bus, the user's folders in a temporary home,
// and the program started on this test's own display.

#include "x11/X11TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRect>
#include <QTemporaryDir>

namespace tavrenhold::test {

// The places on the screen of the windows named by xdotool's output (one window id a line).
inline QList<QRect> windowPlaces(XDriver &driver, const QByteArray &ids)
{
    QList<QRect> found;
    for (const QByteArray &id : ids.split('\n')) {
        bool ok = false;
        const auto window = xcb_window_t(id.trimmed().toULong(&ok));
        if (!ok)
            continue;
        tavrenhold::platform::x11::Reply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(driver.c(), xcb_get_geometry(driver.c(), window), nullptr));
        tavrenhold::platform::x11::Reply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(
            driver.c(), xcb_translate_coordinates(driver.c(), window, driver.root(), 0, 0), nullptr));
        if (geometry && origin)
            found.append(QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height));
    }
    return found;
}

class ProgramRig {
public:
    ProgramRig() = default;
    ProgramRig(const ProgramRig &) = delete;
    ~ProgramRig()
    {
        stop(program);
        stop(m_bus);
    }

    // A session bus of our own; false when dbus-daemon did not come up. It starts no services on
    // demand: a program that asks for the keyring (or anything else the test did not start) gets
    // "no such service" at once instead of a gnome-keyring of the machine's user.
    bool startBus()
    {
        const QString config = home.filePath(QStringLiteral("session-bus.conf"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write("<busconfig>\n"
                   "  <type>session</type>\n"
                   "  <listen>unix:tmpdir=/tmp</listen>\n"
                   "  <auth>EXTERNAL</auth>\n"
                   "  <policy context=\"default\">\n"
                   "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                   "    <allow eavesdrop=\"true\"/>\n"
                   "    <allow own=\"*\"/>\n"
                   "  </policy>\n"
                   "</busconfig>\n");
        file.close();
        dieWithParent(m_bus);
        m_bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                                                    QStringLiteral("--print-address=1")});
        if (!m_bus.waitForStarted(5000))
            return false;
        QByteArray out;
        while (!out.contains('\n')) {
            if (!m_bus.waitForReadyRead(10000))
                return false;
            out += m_bus.readAllStandardOutput();
        }
        m_busAddress = QString::fromUtf8(out.trimmed());
        return true;
    }

    // The session bus this test runs on (one with services of its own, such as a private keyring),
    // instead of a bus of our own; false when there is none.
    bool useSessionBus()
    {
        m_busAddress = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
        return !m_busAddress.isEmpty();
    }

    // The address of the bus of startBus() or useSessionBus().
    [[nodiscard]] QString busAddress() const { return m_busAddress; }

    // The settings file the program reads, written before it starts.
    [[nodiscard]] QString defaultsPath() const { return home.filePath(QStringLiteral("config/app.tavrenhold/defaults.json")); }
    bool writeDefaults(const QJsonObject &values) const
    {
        if (!QDir().mkpath(QFileInfo(defaultsPath()).absolutePath()))
            return false;
        QFile file(defaultsPath());
        return file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(values).toJson()) > 0;
    }
    [[nodiscard]] QJsonObject readDefaults() const
    {
        QFile file(defaultsPath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll()).object();
    }

    void start(QProcess &process)
    {
        QDir().mkpath(home.filePath(QStringLiteral("runtime")));
        QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), qEnvironmentVariable("DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_busAddress);
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
        env.remove(QStringLiteral("XAUTHORITY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        process.setProcessEnvironment(env);
        dieWithParent(process);
        process.start(QStringLiteral(TAVRENHOLD_BINARY), {});
    }
    void start() { start(program); }

    static void stop(QProcess &process)
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished(2000);
    }

    QTemporaryDir home;
    QProcess program;

private:
    QProcess m_bus;
    QString m_busAddress;
};

} // namespace tavrenhold::test
