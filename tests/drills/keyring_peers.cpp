// The built program on a private X display and a private session bus (with its own gnome-keyring,
// tests/peers/keyring-session.sh) while the peers it talks to go away and come back: the adapter
// helper killed again and again, the sound server killed and restarted, the keyring locked and
// unlocked, Avahi leaving, an MPRIS player that never answers, a clipboard owner that never answers.
// Each drill holds the program to three things while the peer is gone: it keeps drawing and answering
// the pointer (the notch opens under it; the time is printed, the ceiling is generous for a loaded
// machine), it spends no processor time waiting, and it takes up the peer again when the peer is
// back. Each prints what it tried and what held.
#include "DrillSupport.h"
#include "ProgramRig.h"
#include "peers/FakeSpotify.h"
#include "peers/PulsePeer.h"
#include "peers/SilentClipboardOwner.h"
#include "fakes/FakeAvahi.h"
#include "fakes/FakeHttpServer.h"
#include "../usage/KeyringPeer.h"

#include "platform/Defaults.h"
#include "usage/VendorSessionStore.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QImage>
#include <QJsonArray>
#include <QPainter>
#include <QRasterWindow>
#include <QScopeGuard>
#include <QScreen>

#include <csignal>
#include <memory>
#include <unistd.h>

using namespace tavrenhold;
using tavrenhold::test::ProgramRig;
using tavrenhold::test::XDriver;

namespace {

qint64 parentOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    return close < 0 || fields.size() < 2 ? 0 : fields.at(1).toLongLong();
}

// The children of a process whose command line contains `needle`.
QList<qint64> childrenOf(qint64 parent, const QByteArray &needle)
{
    QList<qint64> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (!ok || parentOf(pid) != parent)
            continue;
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(needle))
            found << pid;
    }
    return found;
}

// What a drill measured while its peer was away.
struct Held {
    qint64 openMs = -1;   // pointer at the top edge until the notch was open
    qint64 ticks = -1;    // processor ticks the program used while waiting
    qint64 waitedMs = 0;  // how long that waiting lasted
    qint64 settledMs = 0; // from the notch closing until the program used no processor for a second
};

} // namespace

class PeerDrillTest : public QObject {
    Q_OBJECT

    XDriver m_driver;
    test::Openbox m_openbox;
    std::unique_ptr<test::drill::Backdrop> m_backdrop;
    QRect m_screen;
    int m_centreX = 0;
    std::unique_ptr<ProgramRig> m_rig;

    // Most a process may use of the processor over the waiting, in clock ticks.
    static constexpr qint64 idleTicks = 2;
    // How long the program is watched while it waits on a gone peer.
    static constexpr int waitingMs = 4000;
    // The ceiling for the notch to open; the drill reports the time it took.
    static constexpr int openCeilingMs = 5000;

    // A program with the open panel drawn dark, in a fresh home; `settings` go in beside.
    bool startProgram(QJsonObject settings = {})
    {
        m_rig = std::make_unique<ProgramRig>();
        if (!m_rig->useSessionBus())
            return false;
        settings.insert(QStringLiteral("style.theme"), QStringLiteral("dark"));
        if (!m_rig->writeDefaults(settings))
            return false;
        m_driver.moveTo(100, m_screen.height() - 100);
        m_rig->start();
        if (!m_rig->program.waitForStarted(10000))
            return false;
        return QTest::qWaitFor([&] { return isCollapsed(darkArea()) || !running(); }, 30000) && running();
    }

    void stopProgram()
    {
        if (!m_rig)
            return;
        m_rig->program.terminate();
        m_rig->program.waitForFinished(15000);
        m_rig.reset();
    }

    [[nodiscard]] bool running() const { return m_rig && m_rig->program.state() == QProcess::Running; }
    [[nodiscard]] qint64 pid() const { return m_rig ? m_rig->program.processId() : 0; }

    // Opens the notch with the pointer and closes it again: the time until it was open, or -1.
    qint64 hoverOpens()
    {
        m_driver.moveTo(m_centreX, m_screen.height() - 100);
        if (!QTest::qWaitFor([&] { return isCollapsed(darkArea()); }, 15000))
            return -1;
        m_driver.moveTo(m_centreX, 300);
        QElapsedTimer since;
        m_driver.moveTo(m_centreX, 0);
        since.start();
        const bool opened = QTest::qWaitFor([&] { return isExpanded(darkArea()); }, openCeilingMs);
        const qint64 took = since.elapsed();
        m_driver.moveTo(m_centreX, m_screen.height() - 100);
        if (!QTest::qWaitFor([&] { return isCollapsed(darkArea()); }, 15000))
            return -1;
        return opened ? took : -1;
    }

    // Waits until the program has used no processor time for a second (the notch's animations are
    // over); false when it never settles within the ceiling.
    [[nodiscard]] bool settles(qint64 of, qint64 *took) const
    {
        QElapsedTimer since;
        since.start();
        qint64 last = test::drill::cpuTicks(of);
        QElapsedTimer still;
        still.start();
        const bool settled = QTest::qWaitFor(
            [&] {
                const qint64 now = test::drill::cpuTicks(of);
                if (now != last) {
                    last = now;
                    still.restart();
                }
                return still.elapsed() >= 1000;
            },
            20000);
        *took = since.elapsed();
        return settled;
    }

    // What the program spends over a stretch of waiting with nothing on the screen moving.
    [[nodiscard]] static qint64 ticksWhileWaiting(qint64 of, qint64 *waited)
    {
        const qint64 before = test::drill::cpuTicks(of);
        QElapsedTimer since;
        since.start();
        // A stretch of time is what is measured here, not a condition waited for.
        QTest::qWait(waitingMs);
        const qint64 after = test::drill::cpuTicks(of);
        *waited = since.elapsed();
        return before < 0 || after < 0 ? -1 : after - before;
    }

    // Pointer first, then (once the animations are over) the processor over a stretch of waiting.
    Held whileAway()
    {
        Held held;
        held.openMs = hoverOpens();
        if (!settles(pid(), &held.settledMs))
            held.settledMs = -1;
        held.ticks = ticksWhileWaiting(pid(), &held.waitedMs);
        return held;
    }

    void expectHeld(const char *drill, const Held &held)
    {
        qInfo("%s: notch open %lld ms after the pointer came; settled %lld ms after it closed; %lld ticks in %lld ms "
              "of waiting",
              drill, held.openMs, held.settledMs, held.ticks, held.waitedMs);
        QVERIFY2(held.openMs >= 0, qPrintable(report()));
        QVERIFY2(held.openMs <= openCeilingMs, qPrintable(report()));
        QVERIFY2(held.settledMs >= 0, "the program never stopped using the processor");
        QVERIFY2(held.ticks >= 0 && held.ticks <= idleTicks, qPrintable(QStringLiteral("%1 ticks").arg(held.ticks)));
        QVERIFY2(running(), qPrintable(report()));
    }

    // Opens the notch with the pointer, waits for the pane's content to show, and clicks the point
    // at (dx, y) from the top centre; false when the notch did not open or showed nothing.
    bool clickInOpenNotch(int dx, int y)
    {
        m_driver.moveTo(m_centreX, 300);
        m_driver.moveTo(m_centreX, 0);
        if (!QTest::qWaitFor([&] { return isExpanded(darkArea()); }, openCeilingMs))
            return false;
        // The pane's header pill, drawn light under the top edge, tells that the content is in.
        const auto headerShown = [&] {
            const QImage shot = screenshot();
            int light = 0;
            for (int y = 58; y <= 78; ++y) {
                for (int x = m_centreX - 20; x <= m_centreX + 20; ++x) {
                    const QRgb p = shot.pixel(x, y);
                    light += qMin(qRed(p), qMin(qGreen(p), qBlue(p))) > 180 ? 1 : 0;
                }
            }
            return light > 200;
        };
        if (!QTest::qWaitFor(headerShown, 10000))
            return false;
        m_driver.click(m_centreX + dx, y);
        return true;
    }

    QImage screenshot() const { return QGuiApplication::primaryScreen()->grabWindow(0).toImage(); }

    // The dark pixels in the upper part of the screen around its centre, where the notch hangs.
    struct DarkArea {
        QRect box;
        int pixels = 0;
    };
    DarkArea darkArea() const
    {
        const QImage shot = screenshot().convertToFormat(QImage::Format_RGB32);
        DarkArea area;
        const int left = qMax(0, m_centreX - 420);
        const int right = qMin(shot.width() - 1, m_centreX + 420);
        const int bottom = qMin(shot.height() - 1, 600);
        int minX = right + 1, maxX = -1, minY = bottom + 1, maxY = -1;
        for (int y = 0; y <= bottom; ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(shot.constScanLine(y));
            for (int x = left; x <= right; ++x) {
                const QRgb p = line[x];
                if (qMax(qRed(p), qMax(qGreen(p), qBlue(p))) >= 80)
                    continue;
                ++area.pixels;
                minX = qMin(minX, x);
                maxX = qMax(maxX, x);
                minY = qMin(minY, y);
                maxY = qMax(maxY, y);
            }
        }
        if (area.pixels > 0)
            area.box = QRect(QPoint(minX, minY), QPoint(maxX, maxY));
        return area;
    }
    static bool isCollapsed(const DarkArea &area)
    {
        return area.pixels > 0 && qAbs(area.box.height() - 44) <= 4 && area.box.width() >= 196 && area.box.width() < 420;
    }
    static bool isExpanded(const DarkArea &area)
    {
        return area.pixels > 0 && qAbs(area.box.width() - 520) <= 8 && area.box.height() > 200;
    }

    QString report()
    {
        const DarkArea area = darkArea();
        QString text = QStringLiteral("dark area %1,%2 %3x%4 (%5 px)")
                           .arg(area.box.x())
                           .arg(area.box.y())
                           .arg(area.box.width())
                           .arg(area.box.height())
                           .arg(area.pixels);
        if (m_rig) {
            text += QStringLiteral("; program %1").arg(running() ? QStringLiteral("running") : QStringLiteral("gone"));
            const QByteArray errors = m_rig->program.readAllStandardError();
            if (!errors.isEmpty())
                text += QStringLiteral("\nprogram: ") + QString::fromLocal8Bit(errors);
        }
        return text;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(test::keyring::inPrivateSession(), "run through tests/peers/keyring-session.sh");
        QVERIFY(test::keyring::unlock());
        m_screen = QGuiApplication::primaryScreen()->geometry();
        m_centreX = m_screen.center().x() + 1; // the middle of an even width
        QVERIFY(m_openbox.start(m_driver.connection()));
        m_backdrop = std::make_unique<test::drill::Backdrop>();
        m_backdrop->setFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
        m_backdrop->setGeometry(m_screen);
        m_backdrop->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_backdrop.get()));
    }

    void cleanup() { stopProgram(); }

    void cleanupTestCase()
    {
        m_backdrop.reset();
        m_openbox.stop();
    }

    // The program with every peer there: what the drills below compare with.
    void quietProgramHolds()
    {
        QVERIFY2(startProgram(), qPrintable(report()));
        expectHeld("no peer gone", whileAway());
        if (QTest::currentTestFailed())
            return;
    }

    // The adapter's streaming helper killed (SIGKILL) again and again: each time after it has run a
    // while, then three times as soon as it comes back (a crash loop, after which the program rests
    // the helper and tries it again later).
    void adapterHelperKilledRepeatedly()
    {
        // Something plays, so a helper that ran a while has reported and ends a row of failures.
        test::FakeSpotify player;
        player.metadata = {{QStringLiteral("xesam:title"), QStringLiteral("Drill Tone")},
                           {QStringLiteral("mpris:trackid"), QStringLiteral("/drill/1")}};
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(player.publish(bus));
        const auto unpublish = qScopeGuard([&] {
            bus.unregisterService(test::FakeSpotify::busName);
            bus.unregisterObject(test::FakeSpotify::objectPath);
        });
        QVERIFY2(startProgram(), qPrintable(report()));
        const QByteArray streaming = QByteArrayLiteral("mediaremote-adapter.pl") + '\0';
        const auto helpers = [&] {
            QList<qint64> found;
            for (qint64 child : childrenOf(pid(), streaming)) {
                QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(child));
                if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(QByteArray("\0stream\0", 8)))
                    found << child;
            }
            return found;
        };
        // Waits with qWaitFor, which stops at the first look that holds: QTRY looks once more after
        // its loop, and a helper forking a child for a moment then counts twice.
        QList<qint64> first;
        QVERIFY2(QTest::qWaitFor([&] { return (first = helpers()).size() == 1; }, 30000), qPrintable(report()));
        qint64 helper = first.constFirst();
        const auto nextHelper = [&](qint64 killed) {
            QElapsedTimer since;
            since.start();
            // A helper being started may be between its execs for a moment: each look is kept whole.
            QList<qint64> seen;
            if (!QTest::qWaitFor([&] { return !(seen = helpers()).isEmpty() && !seen.contains(killed); }, 30000))
                return qint64(-1);
            helper = seen.constFirst();
            return since.elapsed();
        };

        for (int round = 1; round <= 4; ++round) {
            // Only a helper that ran for a while counts as a success that ends a row of failures:
            // this stretch is the program's own measure, not a condition to wait for.
            QTest::qWait(6000);
            QCOMPARE(::kill(pid_t(helper), SIGKILL), 0);
            const qint64 back = nextHelper(helper);
            qInfo("adapter helper killed after a long run (%d): a new helper after %lld ms", round, back);
            QVERIFY2(back >= 0, qPrintable(report()));
            QVERIFY2(helpers().size() <= 1, "two streaming helpers at once");
        }

        // A crash loop: killed as soon as it is there, until the program stops starting it again
        // (restarts come within two seconds; eight without one is the program resting the helper).
        int quickKills = 0;
        QElapsedTimer resting;
        for (;;) {
            QCOMPARE(::kill(pid_t(helper), SIGKILL), 0);
            resting.start();
            ++quickKills;
            QVERIFY2(quickKills <= 5, "the program restarts a helper in a crash loop for ever");
            const qint64 killed = helper;
            QList<qint64> seen;
            if (!QTest::qWaitFor([&] { return !(seen = helpers()).isEmpty() && !seen.contains(killed); }, 8000))
                break;
            helper = seen.constFirst();
        }
        qInfo("adapter helper killed at once: no new helper after kill %d", quickKills);
        QVERIFY(QTest::qWaitFor([&] { return helpers().isEmpty(); }, 10000));
        // The player goes too, so that what is measured is the waiting for the helper alone (not the
        // stand-in source reading a playing player meanwhile).
        bus.unregisterService(test::FakeSpotify::busName);
        const Held held = whileAway();
        qInfo("adapter helper in a crash loop: %lld helpers while the program rests it", qint64(helpers().size()));
        expectHeld("adapter helper in a crash loop", held);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(QTest::qWaitFor([&] { return helpers().size() == 1; }, 150000), qPrintable(report()));
        const qint64 rested = resting.elapsed();
        qInfo("adapter helper in a crash loop: started again %lld ms after the last kill", rested);
        // The rest is 45 s; a first try after it that comes too soon would double it.
        QVERIFY2(rested < 80000, qPrintable(QString::number(rested)));
    }

    // A private PulseAudio killed under the program and started again on the same socket.
    void soundServerKilledAndRestarted()
    {
        if (const QString missing = test::PulsePeer::missingTools(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        test::PulsePeer pulse; // exports PULSE_SERVER, so the program reaches this daemon only
        QVERIFY2(pulse.start(), qPrintable(pulse.log()));
        QVERIFY2(startProgram(), qPrintable(report()));
        const QString mark = QStringLiteral("application.process.id = \"%1\"").arg(pid());
        const auto connected = [&] {
            const auto clients = pulse.pactl({QStringLiteral("list"), QStringLiteral("clients")});
            return clients && clients->contains(mark);
        };
        QTRY_VERIFY2_WITH_TIMEOUT(connected(), qPrintable(report()), 30000);

        pulse.kill();
        expectHeld("sound server killed", whileAway());
        if (QTest::currentTestFailed())
            return;

        QElapsedTimer since;
        QVERIFY2(pulse.start(), qPrintable(pulse.log()));
        since.start();
        QTRY_VERIFY2_WITH_TIMEOUT(connected(), qPrintable(report()), 90000);
        qInfo("sound server killed: the program was its client again %lld ms after it came back", since.elapsed());
    }

    // The keyring locked while the program starts with a connected vendor: the connection stays
    // (in the settings and in the keyring) and no request goes out without its session; unlocked,
    // the refresh button fetches the usage with the session again.
    void keyringLockedAndUnlocked()
    {
        test::FakeHttpServer vendor;
        QVERIFY(vendor.listen());
        vendor.on("/api/organizations", test::FakeHttpServer::Answer::json(R"([{"uuid":"org-1"}])"));
        vendor.on("/api/organizations/org-1/usage",
                  test::FakeHttpServer::Answer::json(R"({"seven_day":{"utilization":22}})"));
        QTemporaryDir files;
        QVERIFY(files.isValid());
        QJsonObject hosts;
        for (const char *key : {"openai.web", "openai.api", "anthropic.web", "google.web", "google.accounts", "xai.proxy",
                                "xai.auth", "xai.accounts", "cursor.web", "cursor.api", "cursor.authenticator",
                                "copilot.web", "copilot.api"})
            hosts.insert(QLatin1String(key), vendor.origin());
        QFile endpoints(files.filePath(QStringLiteral("endpoints.json")));
        QVERIFY(endpoints.open(QIODevice::WriteOnly));
        endpoints.write(QJsonDocument(hosts).toJson());
        endpoints.close();
        qputenv("TAVRENHOLD_USAGE_ENDPOINTS", endpoints.fileName().toUtf8());
        const auto unset = qScopeGuard([] { qunsetenv("TAVRENHOLD_USAGE_ENDPOINTS"); });

        const QString service = VendorSessionStore::service(UsageVendor::anthropic);
        const QByteArray session = VendorSessionStore::encode({{QStringLiteral("sessionKey"), QStringLiteral("sk-drill")}});
        QVERIFY(test::keyring::store(service, VendorSessionStore::account, session));
        const QJsonArray connections{QJsonObject{{QStringLiteral("vendor"), QStringLiteral("anthropic")},
                                                 {QStringLiteral("state"), QStringLiteral("connected")}}};
        const QByteArray connectionsData = QJsonDocument(connections).toJson(QJsonDocument::Compact);
        QJsonObject settings{
            {QStringLiteral("shell.hiddenPanes"), QJsonArray{QStringLiteral("music"), QStringLiteral("clipboard"),
                                                             QStringLiteral("notes"), QStringLiteral("drop"),
                                                             QStringLiteral("focus")}},
            {QStringLiteral("usage.connections"),
             QJsonObject{{QStringLiteral("data"), QString::fromLatin1(connectionsData.toBase64())}}}};

        QVERIFY(test::keyring::lock());
        QVERIFY2(startProgram(settings), qPrintable(report()));
        const auto withSession = [&] {
            int count = 0;
            for (const auto &request : vendor.requests())
                count += request.header("Cookie") == "sessionKey=sk-drill" ? 1 : 0;
            return count;
        };
        const Held held = whileAway();
        expectHeld("keyring locked", held);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(withSession(), 0);
        // The connection stays: in the settings file and in the keyring.
        platform::Defaults kept(m_rig->defaultsPath());
        QCOMPARE(kept.data(QStringLiteral("usage.connections")).value_or(QByteArray()), connectionsData);
        QVERIFY(test::keyring::unlock());
        QCOMPARE(test::keyring::lookup(service, VendorSessionStore::account).value_or(QByteArray()), session);
        qInfo("keyring locked: the connection stayed; %lld requests, none with the session",
              qint64(vendor.requests().size()));

        // Unlocked: the refresh button of the open pane fetches again, with the session.
        QElapsedTimer since;
        since.start();
        // The refresh capsule at the right of the pane's first row.
        QVERIFY2(clickInOpenNotch(191, 101), qPrintable(report()));
        QTRY_VERIFY2_WITH_TIMEOUT(withSession() >= 2, qPrintable(report()), 30000);
        qInfo("keyring unlocked: the refresh reached the vendor with the session %lld ms after the click",
              since.elapsed());
    }

    // Avahi (a stand-in on a bus of its own, named by TAVRENHOLD_AVAHI_BUS) leaves while the program
    // browses for receivers, and comes back.
    void avahiLeavesAndComesBack()
    {
        QProcess daemon;
        test::dieWithParent(daemon);
        daemon.setStandardErrorFile(QProcess::nullDevice());
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        QVERIFY(daemon.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(daemon.canReadLine(), 10000);
        const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
        const auto ending = qScopeGuard([&] {
            QDBusConnection::disconnectFromBus(QStringLiteral("drill-avahi"));
            daemon.kill();
            daemon.waitForFinished(3000);
            qunsetenv("TAVRENHOLD_AVAHI_BUS");
        });
        QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("drill-avahi"));
        QVERIFY(bus.isConnected());
        test::FakeAvahi avahi(bus);
        avahi.announce({2, 0, QStringLiteral("Kitchen Speaker"), QStringLiteral("_airplay._tcp")});
        QVERIFY(avahi.start());
        qputenv("TAVRENHOLD_AVAHI_BUS", address.toUtf8());

        // Only the music pane, whose output picker starts the browsing.
        QJsonArray others;
        for (const char *pane : {"usage", "clipboard", "notes", "drop", "focus"})
            others.append(QLatin1String(pane));
        QVERIFY2(startProgram({{QStringLiteral("shell.hiddenPanes"), others}}), qPrintable(report()));
        // The output button at the right of the track's row.
        QVERIFY2(clickInOpenNotch(210, 111), qPrintable(report()));
        QTRY_VERIFY2_WITH_TIMEOUT(!avahi.browsed.isEmpty(), qPrintable(report()), 20000);
        const qsizetype browsed = avahi.browsed.size();

        avahi.stop();
        const Held held = whileAway();
        expectHeld("Avahi left", held);
        if (QTest::currentTestFailed())
            return;

        QElapsedTimer since;
        since.start();
        QVERIFY(avahi.start());
        QTRY_VERIFY2_WITH_TIMEOUT(avahi.browsed.size() > browsed, qPrintable(report()), 30000);
        qInfo("Avahi left: browsing again %lld ms after it came back (%lld browsers asked for in all)",
              since.elapsed(), qint64(avahi.browsed.size()));
    }

    // An MPRIS player on the session bus that takes every call and never answers; then it leaves
    // the bus and comes back answering.
    void mprisPlayerHangs()
    {
        test::FakeSpotify player;
        player.mode = test::FakeSpotify::Mode::hang;
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(player.publish(bus));
        QVERIFY2(startProgram(), qPrintable(report()));
        // The program's helper asks it, and waits.
        QTRY_VERIFY2_WITH_TIMEOUT(player.received > 0, qPrintable(report()), 30000);
        const int asked = player.received;
        const Held held = whileAway();
        qInfo("MPRIS player hangs: %d calls it never answered", player.received);
        expectHeld("MPRIS player hangs", held);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(player.received - asked < 20, qPrintable(QString::number(player.received)));

        QVERIFY(bus.unregisterService(test::FakeSpotify::busName));
        player.mode = test::FakeSpotify::Mode::answer;
        player.metadata = {{QStringLiteral("xesam:title"), QStringLiteral("Back Again")}};
        player.received = 0;
        QElapsedTimer since;
        since.start();
        QVERIFY(bus.registerService(test::FakeSpotify::busName));
        QTRY_VERIFY2_WITH_TIMEOUT(player.received > 0, qPrintable(report()), 30000);
        qInfo("MPRIS player hangs: asked again %lld ms after it came back answering", since.elapsed());
        bus.unregisterService(test::FakeSpotify::busName);
        bus.unregisterObject(test::FakeSpotify::objectPath);
    }

    // An X client takes the clipboard and never answers a request for it; later a real owner.
    void clipboardOwnerNeverAnswers()
    {
        QVERIFY2(startProgram(), qPrintable(report()));
        const xcb_atom_t clipboard = m_driver.connection().atom("CLIPBOARD");
        const auto owner = [&] {
            platform::x11::Reply<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(
                m_driver.c(), xcb_get_selection_owner(m_driver.c(), clipboard), nullptr));
            return reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
        };
        test::SilentClipboardOwner silent;
        QVERIFY(silent.start());
        QTRY_VERIFY_WITH_TIMEOUT(owner() != XCB_WINDOW_NONE, 10000);
        expectHeld("clipboard owner never answers", whileAway());
        if (QTest::currentTestFailed())
            return;

        silent.stop();
        QProcess xclip;
        test::dieWithParent(xclip);
        xclip.start(QStringLiteral("xclip"), {QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
        QVERIFY(xclip.waitForStarted(5000));
        xclip.write("after the silent owner");
        xclip.closeWriteChannel();
        QElapsedTimer since;
        since.start();
        const QString history = m_rig->home.filePath(QStringLiteral("data/app.tavrenhold/clipboard-history.json"));
        const auto kept = [&] {
            QFile file(history);
            return file.open(QIODevice::ReadOnly) && file.readAll().contains("after the silent owner");
        };
        QTRY_VERIFY2_WITH_TIMEOUT(kept(), qPrintable(report()), 30000);
        qInfo("clipboard owner never answers: the next copy was in the history %lld ms later", since.elapsed());
        xclip.kill();
        xclip.waitForFinished(3000);
    }
};

int main(int argc, char **argv)
{
    return tavrenhold::test::runOnPrivateDisplay<PeerDrillTest>(argc, argv);
}

#include "keyring_peers.moc"
