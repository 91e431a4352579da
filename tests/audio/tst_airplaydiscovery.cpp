// labels: dbus pulse
// AirPlay receivers found through a stand-in Avahi daemon on a private bus: one entry per receiver
// whatever the service types, interfaces and protocols carrying it, this machine and other Macs left
// out (also when a real sound server describes its outputs late), the daemon leaving and coming
// back, no daemon at all, and a flood of announcements.

#include "fakes/FakeAudioSystem.h"
#include "fakes/FakeAvahi.h"
#include "music/AirPlayDiscovery.h"
#include "music/MusicRig.h"
#include "music/OutputPickerModel.h"
#include "peers/PulsePeer.h"
#include "scripthost/PrivateBus.h"

#include <QSysInfo>
#include <QTest>

#include <memory>

using namespace tavrenhold;
using Service = test::FakeAvahi::Service;

namespace {

constexpr int ceiling = 20000;
const QString airplay = QStringLiteral("_airplay._tcp");
const QString raop = QStringLiteral("_raop._tcp");
const QString sentinel = QStringLiteral("zzz sentinel");

platform::SinkRecord builtIn(const QString &description)
{
    platform::SinkRecord sink;
    sink.index = 1;
    sink.name = QStringLiteral("speakers");
    sink.description = description;
    sink.deviceClass = QStringLiteral("sound");
    sink.formFactor = QStringLiteral("internal");
    sink.channels = 2;
    return sink;
}

// "+type|name|interface|protocol" announces, "-…" withdraws; interface and protocol may be left out.
Service parse(const QString &step)
{
    const QStringList fields = step.mid(1).split(QLatin1Char('|'));
    Service s;
    s.type = fields.value(0) == QLatin1String("raop") ? raop : fields.value(0) == QLatin1String("airplay") ? airplay
                                                                                                        : fields.value(0);
    s.name = fields.value(1);
    if (fields.size() > 2)
        s.interface = fields[2].toInt();
    if (fields.size() > 3)
        s.protocol = fields[3].toInt();
    return s;
}

} // namespace

class TestAirPlayDiscovery : public QObject {
    Q_OBJECT

    struct Rig {
        test::PrivateBus bus;
        std::unique_ptr<test::FakeAvahi> avahi;
        test::FakeAudioSystem audio;
        std::unique_ptr<AirPlayDiscovery> discovery;

        // With no `audio`, the fake one with a built-in "MacBook Pro Speakers".
        bool make(const QString &hostName, bool daemon = true, platform::AudioSystem *sound = nullptr)
        {
            static int serial = 0;
            if (!bus.start(QStringLiteral("airplay-test-%1").arg(++serial)))
                return false;
            avahi = std::make_unique<test::FakeAvahi>(bus.connection());
            avahi->hostName = hostName;
            if (daemon && !avahi->start())
                return false;
            audio.setSinks({builtIn(QStringLiteral("MacBook Pro Speakers"))}, QStringLiteral("speakers"));
            qputenv("TAVRENHOLD_AVAHI_BUS", bus.address().toUtf8());
            discovery = AirPlayDiscovery::makeAvahi(sound ? sound : &audio);
            qunsetenv("TAVRENHOLD_AVAHI_BUS");
            return true;
        }
        QStringList names() const
        {
            QStringList names = discovery->names();
            names.removeAll(sentinel);
            return names;
        }
        // Signals from the daemon arrive in order: once a marker sent after them has come (and
        // gone), everything before it has been handled.
        bool settle()
        {
            const Service marker{9, 0, sentinel, airplay};
            avahi->announce(marker);
            if (!QTest::qWaitFor([&] { return discovery->names().contains(sentinel); }, ceiling))
                return false;
            avahi->withdraw(marker);
            return QTest::qWaitFor([&] { return !discovery->names().contains(sentinel); }, ceiling);
        }
    };

private Q_SLOTS:
    void displayName_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("airplay as is") << airplay << "Kitchen@Home" << "Kitchen@Home";
        QTest::newRow("raop after the first @") << raop << "AA11BB22CC33@Kitchen@Home" << "Kitchen@Home";
        QTest::newRow("raop without @") << raop << "Kitchen" << "Kitchen";
    }
    void displayName()
    {
        QFETCH(QString, type);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(AirPlayDiscovery::displayName(type, name), expected);
    }

    // Each step, then the names listed after it ("," between names).
    void announcements_data()
    {
        QTest::addColumn<QString>("hostName");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("both service types: gone when both are")
            << "studio-host"
            << QStringList{"+airplay|Kitchen", "+raop|AA11BB22CC33@Kitchen", "-airplay|Kitchen",
                           "-raop|AA11BB22CC33@Kitchen"}
            << QStringList{"Kitchen", "Kitchen", "Kitchen", ""};
        QTest::newRow("two interfaces and both protocols count once")
            << "studio-host"
            << QStringList{"+airplay|Kitchen|2|0", "+airplay|Kitchen|2|1", "+airplay|Kitchen|3|0",
                           "+raop|AA@Kitchen|3|1", "-airplay|Kitchen|2|0", "-airplay|Kitchen|2|1",
                           "-airplay|Kitchen|3|0", "-raop|AA@Kitchen|3|1"}
            << QStringList{"Kitchen", "Kitchen", "Kitchen", "Kitchen", "Kitchen", "Kitchen", "Kitchen", ""};
        QTest::newRow("blanks trimmed both ways")
            << "studio-host" << QStringList{"+airplay|  Den \t", "-airplay|  Den \t"} << QStringList{"Den", ""};
        QTest::newRow("this machine by host name, any case, either containing the other")
            << "studio-host"
            << QStringList{"+airplay|STUDIO-HOST", "+airplay|Studio-Host Kitchen", "+airplay|studio", "+airplay|Den"}
            << QStringList{"", "", "", "Den"};
        QTest::newRow("a built-in output's name")
            << "studio-host" << QStringList{"+airplay|Speakers", "+airplay|Kitchen Speakers"}
            << QStringList{"", "Kitchen Speakers"};
        QTest::newRow("other Macs")
            << "studio-host"
            << QStringList{"+airplay|Anna's MacBook Air", "+airplay|IMAC", "+raop|AA@Mac Mini", "+airplay|mac studio",
                           "+airplay|Mac Pro (2)", "+airplay|Macintosh HiFi"}
            << QStringList{"", "", "", "", "", "Macintosh HiFi"};
        QTest::newRow("sorted ignoring case")
            << "studio-host" << QStringList{"+airplay|living room", "+airplay|Kitchen", "+raop|AA@bedroom"}
            << QStringList{"living room", "Kitchen,living room", "bedroom,Kitchen,living room"};
        QTest::newRow("removal of a name never accepted, and of one never seen")
            << "studio-host" << QStringList{"+airplay|iMac", "-airplay|iMac", "+airplay|Den", "-airplay|Attic"}
            << QStringList{"", "", "Den", "Den"};
        QTest::newRow("a type not browsed") << "studio-host" << QStringList{"+_http._tcp|Printer"} << QStringList{""};
        // An empty host name would be contained in every name and hide them all.
        QTest::newRow("an empty host name hides nothing")
            << "" << QStringList{"+airplay|Kitchen"} << QStringList{"Kitchen"};
    }
    void announcements()
    {
        QFETCH(QString, hostName);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);
        Rig rig;
        QVERIFY(rig.make(hostName));
        rig.discovery->start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.avahi->browsed.size(), 2, ceiling);
        QVERIFY(rig.settle());
        for (int i = 0; i < steps.size(); ++i) {
            const Service service = parse(steps[i]);
            if (steps[i].startsWith(QLatin1Char('+')))
                rig.avahi->announce(service);
            else
                rig.avahi->withdraw(service);
            QVERIFY(rig.settle());
            QCOMPARE(rig.names(), expected[i].split(QLatin1Char(','), Qt::SkipEmptyParts));
        }
        QVERIFY(!rig.discovery->localNames().contains(QString()));
    }

    void countsAnnouncementsPerType()
    {
        Rig rig;
        QVERIFY(rig.make(QStringLiteral("studio-host")));
        rig.discovery->start();
        rig.avahi->announce({2, 0, QStringLiteral("Kitchen"), airplay});
        rig.avahi->announce({2, 1, QStringLiteral("Kitchen"), airplay});
        rig.avahi->announce({2, 0, QStringLiteral("AA@Kitchen"), raop});
        QVERIFY(rig.settle());
        QCOMPARE(rig.discovery->found().value(QStringLiteral("Kitchen")), 2);
    }

    // Receivers present before the browsers exist are announced right after the reply that names
    // the browser, or even before it.
    void browsesOnceAndHearsEarlySignals_data()
    {
        QTest::addColumn<bool>("signalsFirst");
        QTest::newRow("signals after the reply") << false;
        QTest::newRow("signals before the reply") << true;
    }
    void browsesOnceAndHearsEarlySignals()
    {
        QFETCH(bool, signalsFirst);
        Rig rig;
        QVERIFY(rig.make(QStringLiteral("studio-host")));
        rig.avahi->signalsFirst = signalsFirst;
        rig.avahi->announce({2, 0, QStringLiteral("Den"), airplay});
        rig.avahi->announce({2, 0, QStringLiteral("AA@Kitchen"), raop});
        rig.discovery->start();
        rig.discovery->start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.names(), (QStringList{"Den", "Kitchen"}), ceiling);
        QVERIFY(rig.settle());
        QCOMPARE(rig.avahi->browsed, (QStringList{airplay, raop}));
        QVERIFY(rig.discovery->running());
        const QSet<QString> local = rig.discovery->localNames();
        QVERIFY(local.contains(QStringLiteral("studio-host")));
        QVERIFY(local.contains(QStringLiteral("MacBook Pro Speakers")));
        QVERIFY(QSysInfo::machineHostName().isEmpty() || local.contains(QSysInfo::machineHostName()));
    }

    // A daemon that leaves takes its receivers along without a removal; one that comes back is
    // browsed again.
    void daemonLeavesAndReturns()
    {
        Rig rig;
        QVERIFY(rig.make(QStringLiteral("studio-host")));
        rig.avahi->announce({2, 0, QStringLiteral("Den"), airplay});
        rig.avahi->announce({2, 0, QStringLiteral("Kitchen"), airplay});
        rig.discovery->start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.names(), (QStringList{"Den", "Kitchen"}), ceiling);
        rig.avahi->stop();
        QTRY_COMPARE_WITH_TIMEOUT(rig.names(), QStringList(), ceiling);
        QVERIFY(rig.discovery->found().isEmpty());
        QVERIFY(rig.avahi->start());
        QTRY_COMPARE_WITH_TIMEOUT(rig.names(), (QStringList{"Den", "Kitchen"}), ceiling);
        QCOMPARE(rig.avahi->browsed.size(), 4);
        // Counted afresh, not on top of the old announcements.
        rig.avahi->withdraw({2, 0, QStringLiteral("Den"), airplay});
        QTRY_COMPARE_WITH_TIMEOUT(rig.names(), QStringList{"Kitchen"}, ceiling);
    }

    // A receiver named like one of this machine's outputs is left out however late the sound
    // server describes that output (it may start after the receivers were found), and is listed
    // again when the output goes.
    void outputsDescribedAfterReceivers_data()
    {
        QTest::addColumn<bool>("serverLate");
        QTest::newRow("an output loaded later") << false;
        QTest::newRow("the sound server starts later") << true;
    }
    void outputsDescribedAfterReceivers()
    {
        QFETCH(bool, serverLate);
        const QString missing = test::PulsePeer::missingTools();
        if (!missing.isEmpty())
            QFAIL(qPrintable(missing));
        test::PulsePeer pulse;
        if (serverLate)
            qputenv("PULSE_SERVER", pulse.server().toUtf8());
        else
            QVERIFY2(pulse.start(), qPrintable(pulse.log()));
        const std::unique_ptr<platform::AudioSystem> sound = platform::AudioSystem::makePulse();
        Rig rig;
        QVERIFY(rig.make(QStringLiteral("studio-host"), true, sound.get()));
        rig.discovery->start();
        rig.avahi->announce({2, 0, QStringLiteral("Desk"), airplay});
        rig.avahi->announce({2, 0, QStringLiteral("AA@Desk"), raop});
        rig.avahi->announce({2, 0, QStringLiteral("Kitchen"), airplay});
        QTRY_COMPARE_WITH_TIMEOUT(rig.names(), (QStringList{"Desk", "Kitchen"}), ceiling);

        if (serverLate)
            QVERIFY2(pulse.start(), qPrintable(pulse.log()));
        const auto module = pulse.loadSink(QStringLiteral("desk"), QStringLiteral(
            R"(device.description="Desk Speakers" device.class=sound device.bus=pci device.form_factor=internal)"));
        QVERIFY(module);
        QTRY_COMPARE_WITH_TIMEOUT(rig.names(), QStringList{"Kitchen"}, ceiling);
        QVERIFY(rig.discovery->localNames().contains(QStringLiteral("Desk Speakers")));

        QVERIFY(pulse.pactl({QStringLiteral("unload-module"), *module}));
        QTRY_COMPARE_WITH_TIMEOUT(rig.names(), (QStringList{"Desk", "Kitchen"}), ceiling);
        // Still counted under both announcements: it goes when both have.
        rig.avahi->withdraw({2, 0, QStringLiteral("Desk"), airplay});
        QVERIFY(rig.settle());
        QCOMPARE(rig.names(), (QStringList{"Desk", "Kitchen"}));
        rig.avahi->withdraw({2, 0, QStringLiteral("AA@Desk"), raop});
        QTRY_COMPARE_WITH_TIMEOUT(rig.names(), QStringList{"Kitchen"}, ceiling);
    }

    // 20,000 receivers announced at once through the daemon (it relays what any host on the
    // network announces): a bounded list, told of far fewer times than there are announcements,
    // and an open picker that inserts rows instead of listing everything again. A receiver that
    // goes makes room for one announced later.
    void floodOfAnnouncements()
    {
        Rig rig;
        QVERIFY(rig.make(QStringLiteral("studio-host")));
        rig.discovery->start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.avahi->browsed.size(), 2, ceiling);
        QVERIFY(rig.settle());

        test::MusicRig music;
        music.audio.setSinks({builtIn(QStringLiteral("MacBook Pro Speakers"))}, QStringLiteral("speakers"));
        music.pane.setAirPlay(rig.discovery.get());
        OutputPickerModel picker;
        picker.setPane(&music.pane);
        picker.toggle();
        QCOMPARE(picker.count(), 1);
        int told = 0, resets = 0;
        connect(rig.discovery.get(), &AirPlayDiscovery::namesChanged, &picker, [&] { ++told; });
        connect(&picker, &QAbstractItemModel::modelReset, &picker, [&] { ++resets; });

        const auto name = [](int i) { return QStringLiteral("Receiver %1").arg(i, 5, 10, QLatin1Char('0')); };
        constexpr int flood = 20000;
        for (int i = 0; i < flood; ++i)
            rig.avahi->announce({2, 0, name(i), airplay});
        // Signals arrive in order: once the first receiver has gone and a later one came in its
        // room (and the picker heard of it), the whole flood has been handled.
        rig.avahi->withdraw({2, 0, name(0), airplay});
        rig.avahi->announce({2, 0, sentinel, airplay});
        QTRY_VERIFY_WITH_TIMEOUT(picker.count() > 0 && picker.endpoints().back().name == sentinel, 60000);

        const int kept = AirPlayDiscovery::maxReceivers;
        QCOMPARE(rig.discovery->names().size(), kept);
        QCOMPARE(rig.discovery->found().size(), kept);
        QVERIFY(!rig.discovery->names().contains(name(0)));
        QCOMPARE(rig.discovery->names().at(0), name(1));
        QVERIFY(!rig.discovery->names().contains(name(kept + 1)));
        QCOMPARE(picker.count(), 1 + kept);
        QCOMPARE(picker.endpoints().back().name, sentinel);
        QCOMPARE(resets, 0);
        QVERIFY2(told < kept / 4, qPrintable(QString::number(told)));
        QVERIFY(picker.showing());
    }

    // No daemon: an empty list and no error; a daemon that appears later is browsed.
    void noDaemon()
    {
        Rig rig;
        QVERIFY(rig.make(QStringLiteral("studio-host"), false));
        rig.discovery->start();
        QVERIFY(rig.names().isEmpty());
        rig.avahi->announce({2, 0, QStringLiteral("Den"), airplay});
        QVERIFY(rig.avahi->start());
        QTRY_COMPARE_WITH_TIMEOUT(rig.names(), QStringList{"Den"}, ceiling);
    }
};

QTEST_GUILESS_MAIN(TestAirPlayDiscovery)
#include "tst_airplaydiscovery.moc"
