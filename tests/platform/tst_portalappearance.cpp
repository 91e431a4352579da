// labels: dbus
// The portal's appearance settings on a bus of this test's own: nothing else may own the portal's name
// there, and nothing is started on demand (a machine with the real portal installed would start it on
// a session bus), so the fake portal is the only one and "no portal" is an answer from the bus itself.
#include "platform/PortalAppearance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QPalette>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <memory>

using tavrenhold::platform::PortalAppearance;

namespace {
const QString kService = QString::fromLatin1(PortalAppearance::portalService);
const QString kPath = QString::fromLatin1(PortalAppearance::portalPath);
const QString kInterface = QString::fromLatin1(PortalAppearance::settingsInterface);
const QString kAppearance = QStringLiteral("org.freedesktop.appearance");
const QString kColorScheme = QStringLiteral("color-scheme");
const QString kGnome = QStringLiteral("org.gnome.desktop.interface");
const QString kAnimations = QStringLiteral("enable-animations");

// How long an answer may take on a loaded machine; the readings under test are not about time-outs.
constexpr std::chrono::milliseconds patience{30000};

QVariant flat(const QVariant &value) { return QVariant::fromValue(QDBusVariant(value)); }
QVariant nested(const QVariant &value) { return flat(flat(value)); }

// How the fake answers a Read of one key.
struct Answer {
    enum How { value, notFound, hold } how = notFound;
    QVariant reply; // the reply's one argument, already wrapped as a variant
};
} // namespace

Q_DECLARE_METATYPE(Answer)
Q_DECLARE_METATYPE(tavrenhold::platform::SystemAppearance::ColorScheme)

// The portal's Settings interface on its own bus connection, answering Read from a table.
class FakePortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

public:
    FakePortal(const QString &address, const QString &connectionName)
        : m_bus(QDBusConnection::connectToBus(address, connectionName))
    {
    }
    ~FakePortal() override
    {
        m_bus.unregisterObject(kPath);
        m_bus.unregisterService(kService);
        QDBusConnection::disconnectFromBus(m_bus.name());
    }

    bool start()
    {
        return m_bus.isConnected() && m_bus.registerObject(kPath, this, QDBusConnection::ExportAllSlots)
            && m_bus.registerService(kService);
    }

    void setAnswer(const QString &ns, const QString &key, Answer answer) { m_answers[ns + '/' + key] = answer; }

    void emitChange(const QString &ns, const QString &key, const QVariant &value)
    {
        QDBusMessage signal = QDBusMessage::createSignal(kPath, kInterface, QStringLiteral("SettingChanged"));
        signal << ns << key << QVariant::fromValue(QDBusVariant(value));
        m_bus.send(signal);
    }

    // Answers every held Read now, with a value.
    void release(const QVariant &reply)
    {
        for (const QDBusMessage &call : std::exchange(m_held, {}))
            m_bus.send(call.createReply(reply));
    }

    int reads() const { return m_reads; }

public Q_SLOTS:
    QDBusVariant Read(const QString &ns, const QString &key, const QDBusMessage &call)
    {
        ++m_reads;
        call.setDelayedReply(true);
        const Answer answer = m_answers.value(ns + '/' + key);
        switch (answer.how) {
        case Answer::value: m_bus.send(call.createReply(answer.reply)); break;
        case Answer::notFound:
            m_bus.send(call.createErrorReply(QStringLiteral("org.freedesktop.portal.Error.NotFound"),
                                             QStringLiteral("Requested setting not found")));
            break;
        case Answer::hold: m_held.append(call); break;
        }
        return {};
    }

private:
    QDBusConnection m_bus;
    QHash<QString, Answer> m_answers;
    QList<QDBusMessage> m_held;
    int m_reads = 0;
};

class PortalAppearanceTest : public QObject {
    Q_OBJECT

    // A bus connection of the client's own, so that a round trip on it comes back only after every
    // earlier answer on it has been handled.
    QDBusConnection clientBus()
    {
        const QString name = QStringLiteral("client-%1").arg(++m_connections);
        return QDBusConnection::connectToBus(m_address, name);
    }

    // Waits for a round trip to `service` on `bus`: everything sent to the client before is handled.
    static bool roundTrip(const QDBusConnection &bus, const QString &service, const QString &path,
                          const QString &interface, const QString &method, const QVariantList &args = {})
    {
        QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
        call.setArguments(args);
        QDBusPendingCallWatcher watcher(bus.asyncCall(call, int(patience.count())));
        QSignalSpy finished(&watcher, &QDBusPendingCallWatcher::finished);
        return finished.wait(int(patience.count()));
    }
    static bool portalRoundTrip(const QDBusConnection &bus)
    {
        return roundTrip(bus, kService, kPath, kInterface, QStringLiteral("Read"),
                         {QStringLiteral("test"), QStringLiteral("barrier")});
    }

    static void usePalette(bool dark)
    {
        QGuiApplication::setPalette(dark ? QPalette(QColor(40, 40, 40), QColor(30, 30, 30))
                                         : QPalette(QColor(230, 230, 230), QColor(240, 240, 240)));
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_palette = QGuiApplication::palette();
        // A bus with no service folders: it starts nothing on demand.
        QVERIFY(m_dir.isValid());
        QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                                    " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                                    "<busconfig><type>session</type><listen>unix:dir=%1</listen><auth>EXTERNAL</auth>"
                                    "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                    "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
                         .arg(m_dir.path())
                         .toUtf8());
        config.close();
        m_daemon.setStandardErrorFile(QProcess::nullDevice());
        m_daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config.fileName(),
                                                       QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        QVERIFY2(m_daemon.waitForStarted(int(patience.count())), "dbus-daemon did not start");
        QVERIFY(QTest::qWaitFor([&] { return m_daemon.canReadLine(); }, int(patience.count())));
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        QVERIFY(!m_address.isEmpty());
    }
    void cleanupTestCase()
    {
        for (int i = 1; i <= m_connections; ++i)
            QDBusConnection::disconnectFromBus(QStringLiteral("client-%1").arg(i));
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(3000))
            m_daemon.kill();
        m_daemon.waitForFinished(3000);
    }
    void cleanup() { QGuiApplication::setPalette(m_palette); }

    // The first readings, in every form the portal may answer them.
    void readings_data()
    {
        QTest::addColumn<Answer>("scheme");
        QTest::addColumn<Answer>("animations");
        QTest::addColumn<bool>("paletteDark");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<bool>("reduceMotion");
        const Answer missing{Answer::notFound, {}};
        QTest::newRow("prefer dark, nested") << Answer{Answer::value, nested(1u)} << Answer{Answer::value, nested(true)}
                                             << false << true << false;
        QTest::newRow("prefer dark, flat") << Answer{Answer::value, flat(1u)} << Answer{Answer::value, flat(false)}
                                           << false << true << true;
        QTest::newRow("animations off, nested") << Answer{Answer::value, nested(2u)}
                                                << Answer{Answer::value, nested(false)} << false << false << true;
        QTest::newRow("prefer light over a dark palette") << Answer{Answer::value, nested(2u)} << missing << true
                                                          << false << false;
        QTest::newRow("no preference takes the palette") << Answer{Answer::value, nested(0u)} << missing << true
                                                         << true << false;
        QTest::newRow("settings missing") << missing << missing << true << true << false;
        QTest::newRow("wrong types are ignored") << Answer{Answer::value, nested(QStringLiteral("1"))}
                                                 << Answer{Answer::value, nested(0u)} << false << false << false;
    }
    void readings()
    {
        QFETCH(Answer, scheme);
        QFETCH(Answer, animations);
        QFETCH(bool, paletteDark);
        usePalette(paletteDark);
        FakePortal portal(m_address, QStringLiteral("portal-readings"));
        portal.setAnswer(kAppearance, kColorScheme, scheme);
        portal.setAnswer(kGnome, kAnimations, animations);
        QVERIFY(portal.start());

        QDBusConnection bus = clientBus();
        PortalAppearance appearance(bus, patience);
        QCOMPARE(appearance.isDark(), paletteDark); // until the portal answers
        QSignalSpy darkChanged(&appearance, &PortalAppearance::isDarkChanged);
        QSignalSpy motionChanged(&appearance, &PortalAppearance::reduceMotionChanged);
        QVERIFY(portalRoundTrip(bus));
        QCOMPARE(portal.reads(), 3);

        QTEST(appearance.isDark(), "dark");
        QTEST(appearance.reduceMotion(), "reduceMotion");
        QCOMPARE(darkChanged.count(), appearance.isDark() != paletteDark ? 1 : 0);
        QCOMPARE(motionChanged.count(), appearance.reduceMotion() ? 1 : 0);
    }

    // With no portal on the bus the fallback stands: the palette decides, motion stays on.
    void noPortal_data()
    {
        QTest::addColumn<bool>("paletteDark");
        QTest::newRow("light palette") << false;
        QTest::newRow("dark palette") << true;
    }
    void noPortal()
    {
        QFETCH(bool, paletteDark);
        usePalette(paletteDark);
        QDBusConnection bus = clientBus();
        PortalAppearance appearance(bus, patience);
        QSignalSpy darkChanged(&appearance, &PortalAppearance::isDarkChanged);
        // The bus answers "no such service" itself; a round trip to it comes after those answers.
        QVERIFY(roundTrip(bus, QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                          QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
        QCOMPARE(appearance.isDark(), paletteDark);
        QCOMPARE(appearance.reduceMotion(), false);
        QCOMPARE(darkChanged.count(), 0);

        // No bus at all: the same fallback, at once.
        PortalAppearance offline(QDBusConnection(QStringLiteral("no-such-connection")));
        QCOMPARE(offline.isDark(), paletteDark);
        QCOMPARE(offline.reduceMotion(), false);
    }

    // Changes are followed: each real change notifies once; other keys and wrong types are ignored.
    void followsSettingChanged()
    {
        usePalette(false);
        FakePortal portal(m_address, QStringLiteral("portal-changes"));
        portal.setAnswer(kAppearance, kColorScheme, {Answer::value, nested(2u)});
        portal.setAnswer(kGnome, kAnimations, {Answer::value, nested(true)});
        QVERIFY(portal.start());
        QDBusConnection bus = clientBus();
        PortalAppearance appearance(bus, patience);
        QVERIFY(portalRoundTrip(bus));
        QSignalSpy darkChanged(&appearance, &PortalAppearance::isDarkChanged);
        QSignalSpy motionChanged(&appearance, &PortalAppearance::reduceMotionChanged);

        portal.emitChange(kAppearance, kColorScheme, 1u);
        portal.emitChange(kAppearance, kColorScheme, 1u);
        portal.emitChange(kAppearance, QStringLiteral("accent-color"), 2u);
        portal.emitChange(kGnome, kColorScheme, 2u);
        portal.emitChange(kAppearance, kColorScheme, QStringLiteral("light"));
        QVERIFY(portalRoundTrip(bus));
        QVERIFY(appearance.isDark());
        QCOMPARE(darkChanged.count(), 1);

        portal.emitChange(kGnome, kAnimations, false);
        portal.emitChange(kAppearance, kColorScheme, flat(2u)); // one more variant inside
        QVERIFY(portalRoundTrip(bus));
        QVERIFY(appearance.reduceMotion());
        QCOMPARE(motionChanged.count(), 1);
        QVERIFY(!appearance.isDark());
        QCOMPARE(darkChanged.count(), 2);
    }

    // Start-up never waits on the portal, and a change signalled before the first answer is newer
    // than that answer.
    void changeBeforeFirstAnswerWins()
    {
        usePalette(false);
        FakePortal portal(m_address, QStringLiteral("portal-late"));
        portal.setAnswer(kAppearance, kColorScheme, {Answer::hold, {}});
        portal.setAnswer(kGnome, kAnimations, {Answer::hold, {}});
        QVERIFY(portal.start());
        QDBusConnection bus = clientBus();
        PortalAppearance appearance(bus, patience);
        QTRY_COMPARE_WITH_TIMEOUT(portal.reads(), 2, int(patience.count()));
        QVERIFY(!appearance.isDark());

        portal.emitChange(kAppearance, kColorScheme, 1u);
        portal.release(nested(2u)); // the stale answer to the first Read
        QVERIFY(portalRoundTrip(bus));
        QVERIFY(appearance.isDark());
    }

    // The scheme as the desktop states it, apart from the palette's guess; notified once per change.
    void statedScheme_data()
    {
        QTest::addColumn<Answer>("scheme");
        QTest::addColumn<PortalAppearance::ColorScheme>("stated");
        const Answer missing{Answer::notFound, {}};
        QTest::newRow("prefer dark") << Answer{Answer::value, nested(1u)} << PortalAppearance::ColorScheme::dark;
        QTest::newRow("prefer light") << Answer{Answer::value, flat(2u)} << PortalAppearance::ColorScheme::light;
        QTest::newRow("no preference") << Answer{Answer::value, nested(0u)}
                                       << PortalAppearance::ColorScheme::noPreference;
        QTest::newRow("setting missing") << missing << PortalAppearance::ColorScheme::noPreference;
        QTest::newRow("wrong type") << Answer{Answer::value, nested(QStringLiteral("2"))}
                                    << PortalAppearance::ColorScheme::noPreference;
    }
    void statedScheme()
    {
        QFETCH(Answer, scheme);
        QFETCH(PortalAppearance::ColorScheme, stated);
        usePalette(true);
        FakePortal portal(m_address, QStringLiteral("portal-stated"));
        portal.setAnswer(kAppearance, kColorScheme, scheme);
        QVERIFY(portal.start());
        QDBusConnection bus = clientBus();
        PortalAppearance appearance(bus);
        QCOMPARE(appearance.colorScheme(), PortalAppearance::ColorScheme::noPreference);
        QSignalSpy schemeChanged(&appearance, &PortalAppearance::colorSchemeChanged);
        QVERIFY(portalRoundTrip(bus));
        QCOMPARE(appearance.colorScheme(), stated);
        QCOMPARE(schemeChanged.count(), stated == PortalAppearance::ColorScheme::noPreference ? 0 : 1);

        portal.emitChange(kAppearance, kColorScheme, 2u);
        portal.emitChange(kAppearance, kColorScheme, 0u);
        QVERIFY(portalRoundTrip(bus));
        QCOMPARE(appearance.colorScheme(), PortalAppearance::ColorScheme::noPreference);
        QVERIFY(appearance.isDark()); // the palette's answer again
    }

private:
    QPalette m_palette;
    int m_connections = 0;
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};

QTEST_MAIN(PortalAppearanceTest)
#include "tst_portalappearance.moc"
