// labels: dbus
// AirPlay receivers found through a stand-in Avahi daemon on a private bus: one entry per receiver
// whatever the service types, interfaces and protocols carrying it, this machine and other Macs left
// out, the daemon leaving and coming back, and no daemon at all.

#include "fakes/FakeAudioSystem.h"
#include "fakes/FakeAvahi.h"
#include "music/AirPlayDiscovery.h"
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

        bool make(const QString &hostName, bool daemon = true)
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
            discovery = AirPlayDiscovery::makeAvahi(&audio);
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
