// labels: x11 e2e
// The built program with a tray host: the tray's "Settings…" and a second start each show the one
// settings window, 520 × 560, titled just "Tavrenhold Settings" in both X title properties; closed
// and shown again it is on the tab it was left on; a termination signal then ends the program with
// status 0. Beside a portal stand-in and a StatusNotifier watcher on its bus, the tray symbol it
// publishes follows a colour-scheme change the portal signals while it runs.
#include "ProgramRig.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QImage>
#include <QScopeGuard>
#include <QScreen>
#include <QTimer>

using tavrenhold::test::dieWithParent;
using tavrenhold::test::Openbox;
using tavrenhold::test::ProgramRig;
using tavrenhold::test::XDriver;

namespace {
// Runs a command on this test's display and returns what it printed, or nothing on failure.
QByteArray run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

// The visible windows that `xdotool search` finds, each as its place on the screen (the client
// area, without the window manager's frame).
QList<QRect> windows(XDriver &driver, const QStringList &search)
{
    const QByteArray ids = run(QStringLiteral("xdotool"), QStringList{QStringLiteral("search"),
                                                                      QStringLiteral("--onlyvisible")}
                                                              + search);
    return tavrenhold::test::windowPlaces(driver, ids);
}

// A text property of a window as the server holds it: its type's name and its bytes.
QPair<QByteArray, QByteArray> textProperty(XDriver &driver, xcb_window_t window, const char *name)
{
    xcb_connection_t *c = driver.c();
    const xcb_atom_t property = driver.connection().atom(name);
    tavrenhold::platform::x11::Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096), nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE)
        return {};
    tavrenhold::platform::x11::Reply<xcb_get_atom_name_reply_t> type(
        xcb_get_atom_name_reply(c, xcb_get_atom_name(c, reply->type), nullptr));
    const QByteArray typeName = type ? QByteArray(xcb_get_atom_name_name(type.get()), xcb_get_atom_name_name_length(type.get()))
                                     : QByteArray();
    return {typeName, QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())),
                                 xcb_get_property_value_length(reply.get()))};
}

int brightness(const QImage &shot, QPoint at)
{
    const QRgb p = shot.pixel(at);
    return qRed(p) + qGreen(p) + qBlue(p);
}
// The desktop's side of the session bus for a tray icon: the portal's Settings interface, answering
// one colour scheme and signalling changes, and a StatusNotifierWatcher with a host, recording who
// registers an item.
class PortalStandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

public:
    uint scheme = 2; // prefer light

    void emitScheme(uint value)
    {
        scheme = value;
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/portal/desktop"),
                                                         QStringLiteral("org.freedesktop.portal.Settings"),
                                                         QStringLiteral("SettingChanged"));
        signal << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme")
               << QVariant::fromValue(QDBusVariant(QVariant::fromValue(value)));
        QDBusConnection(QStringLiteral("desktop")).send(signal);
    }

public Q_SLOTS:
    QDBusVariant Read(const QString &ns, const QString &key, const QDBusMessage &call)
    {
        if (ns != QLatin1String("org.freedesktop.appearance") || key != QLatin1String("color-scheme")) {
            call.setDelayedReply(true);
            QDBusConnection(QStringLiteral("desktop"))
                .send(call.createErrorReply(QStringLiteral("org.freedesktop.portal.Error.NotFound"), key));
            return {};
        }
        return QDBusVariant(QVariant::fromValue(QDBusVariant(QVariant::fromValue(scheme))));
    }
};

class WatcherStandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    [[nodiscard]] bool hostRegistered() const { return true; }
    [[nodiscard]] int protocolVersion() const { return 0; }
    [[nodiscard]] QStringList items() const { return registrants; }
    QStringList registrants; // the unique bus names of the items' owners

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString &, const QDBusMessage &call) { registrants.append(call.service()); }
    void RegisterStatusNotifierHost(const QString &) {}
};

// The mean brightness (0…765) of the opaque pixels of the first image of an item's IconPixmap,
// or -1 when it has none.
int iconBrightness(const QDBusConnection &bus, const QString &owner)
{
    QDBusMessage get = QDBusMessage::createMethodCall(owner, QStringLiteral("/StatusNotifierItem"),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierItem") << QStringLiteral("IconPixmap");
    const QDBusMessage reply = bus.call(get, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return -1;
    const auto images = qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().value<QDBusArgument>();
    images.beginArray();
    if (images.atEnd())
        return -1;
    int width = 0;
    int height = 0;
    QByteArray argb; // 32-bit ARGB, most significant byte first
    images.beginStructure();
    images >> width >> height >> argb;
    images.endStructure();
    qint64 sum = 0;
    int opaque = 0;
    for (qsizetype i = 0; i + 3 < argb.size(); i += 4) {
        if (uchar(argb[i]) < 128)
            continue;
        sum += uchar(argb[i + 1]) + uchar(argb[i + 2]) + uchar(argb[i + 3]);
        ++opaque;
    }
    return opaque ? int(sum / opaque) : -1;
}
} // namespace

class SettingsRunTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void trayAndSecondStartShowOneWindow()
    {
        ProgramRig rig;
        XDriver driver;
        const auto settingsWindows = [&] {
            return windows(driver, {QStringLiteral("--name"), QStringLiteral("^Tavrenhold Settings")});
        };
        Openbox openbox;
        QProcess trayer;
        QVERIFY(rig.startBus());
        QVERIFY(openbox.start(driver.connection()));
        dieWithParent(trayer);
        trayer.start(QStringLiteral("trayer"), {QStringLiteral("--edge"), QStringLiteral("bottom"),
                                                QStringLiteral("--align"), QStringLiteral("right"),
                                                QStringLiteral("--widthtype"), QStringLiteral("request"),
                                                QStringLiteral("--height"), QStringLiteral("32")});
        QVERIFY(trayer.waitForStarted(5000));
        rig.start();
        QVERIFY2(rig.program.waitForStarted(10000), qPrintable(rig.program.errorString()));

        // The status item sits in the tray: a small window of ours there.
        QRect icon;
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         for (const QRect &r : windows(driver, {QStringLiteral("--classname"), QStringLiteral("tavrenhold")})) {
                             if (r.width() > 0 && r.width() <= 64 && r.height() <= 64)
                                 icon = r;
                         }
                         return icon.isValid();
                     },
                     30000),
                 rig.program.readAllStandardError().constData());

        // Its menu, then "Settings…" (the item above "Quit Tavrenhold", the last one).
        driver.click(icon.center().x(), icon.center().y(), 3);
        QTest::qWait(300); // the menu takes the keyboard when it maps
        run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Up"), QStringLiteral("Up"),
                                        QStringLiteral("Return")});
        QVERIFY2(QTest::qWaitFor([&] { return settingsWindows().size() == 1; }, 15000),
                 rig.program.readAllStandardError().constData());
        QTest::qWait(500); // placed by the window manager
        const QRect shown = settingsWindows().constFirst();
        QCOMPARE(shown.size(), QSize(520, 560));
        // The title is the window's own, not followed by the program's name.
        const QByteArray id = run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                             QStringLiteral("--name"), QStringLiteral("^Tavrenhold Settings")})
                                  .trimmed();
        QVERIFY(!id.isEmpty() && !id.contains('\n'));
        const auto window = xcb_window_t(id.toULong());
        QCOMPARE(textProperty(driver, window, "_NET_WM_NAME"), qMakePair(QByteArray("UTF8_STRING"), QByteArray("Tavrenhold Settings")));
        QCOMPARE(textProperty(driver, window, "WM_NAME").second, QByteArray("Tavrenhold Settings"));

        // To the Panes tab (right of the centre of the tab bar), then closed.
        driver.click(shown.x() + shown.width() / 2 + 36, shown.y() + 8 + 12);
        QTest::qWait(300);
        run(QStringLiteral("wmctrl"), {QStringLiteral("-c"), QStringLiteral("Tavrenhold Settings")});
        QVERIFY(QTest::qWaitFor([&] { return settingsWindows().isEmpty(); }, 10000));

        // A second start hands over to the running program and ends; the same window comes back
        // on the tab it was left on.
        QProcess second;
        rig.start(second);
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(QTest::qWaitFor([&] { return settingsWindows().size() == 1; }, 15000));
        const QRect again = settingsWindows().constFirst();
        QCOMPARE(again.size(), QSize(520, 560));
        QTest::qWait(300);
        const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        const QPoint general(again.x() + again.width() / 2 - 36, again.y() + 8 + 12);
        const QPoint panes(again.x() + again.width() / 2 + 36, again.y() + 8 + 12);
        QVERIFY2(brightness(shot, panes) > brightness(shot, general), "the Panes tab is not the chosen one");

        rig.program.terminate();
        QVERIFY(rig.program.waitForFinished(10000));
        QCOMPARE(rig.program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(rig.program.exitCode(), 0);
        const QByteArray errors = rig.program.readAllStandardError();
        QVERIFY2(!errors.contains("QProcess: Destroyed while process"), errors.constData());
        ProgramRig::stop(trayer);
    }

    // The symbol is drawn white for a dark scheme and near-black for a light one, and follows the
    // portal's SettingChanged while the program runs.
    void traySymbolFollowsTheColourScheme()
    {
        ProgramRig rig;
        QVERIFY(rig.startBus());
        QDBusConnection desktop = QDBusConnection::connectToBus(rig.busAddress(), QStringLiteral("desktop"));
        const auto disconnect = qScopeGuard([] { QDBusConnection::disconnectFromBus(QStringLiteral("desktop")); });
        PortalStandIn portal;
        WatcherStandIn watcher;
        QVERIFY(desktop.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(desktop.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                       QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
        QVERIFY(desktop.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
        QVERIFY(desktop.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));

        rig.start();
        QVERIFY2(rig.program.waitForStarted(10000), qPrintable(rig.program.errorString()));
        QVERIFY2(QTest::qWaitFor([&] { return !watcher.registrants.isEmpty(); }, 30000),
                 rig.program.readAllStandardError().constData());
        const QString owner = watcher.registrants.constFirst();
        // Read on a connection of its own: a blocking call on the stand-ins' one would keep them
        // from answering the program meanwhile.
        const QDBusConnection reader = QDBusConnection::connectToBus(rig.busAddress(), QStringLiteral("reader"));
        const auto disconnectReader = qScopeGuard([] { QDBusConnection::disconnectFromBus(QStringLiteral("reader")); });
        const auto brightness = [&] { return iconBrightness(reader, owner); };
        const auto dark = [&] {
            const int b = brightness();
            return b >= 0 && b < 200;
        };
        // Near-black on the light scheme the portal answered at start, then white and near-black
        // again as the portal signals each change.
        QVERIFY2(QTest::qWaitFor(dark, 30000), qPrintable(QString::number(brightness())));
        portal.emitScheme(1); // prefer dark
        QVERIFY2(QTest::qWaitFor([&] { return brightness() > 600; }, 30000), qPrintable(QString::number(brightness())));
        portal.emitScheme(2);
        QVERIFY2(QTest::qWaitFor(dark, 30000), qPrintable(QString::number(brightness())));

        rig.program.terminate();
        QVERIFY(rig.program.waitForFinished(10000));
        QCOMPARE(rig.program.exitCode(), 0);
    }
};

int main(int argc, char **argv)
{
    return tavrenhold::test::runOnPrivateDisplay<SettingsRunTest>(argc, argv);
}

#include "tst_settingsrun.moc"
