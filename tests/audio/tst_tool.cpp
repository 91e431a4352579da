// labels: pulse dbus
// build/bin/audio-outputs over a private PulseAudio daemon and a stand-in Avahi: the picker's rows
// with receivers merged in, a choice, the volume, and the refusals of bad input.

#include "fakes/FakeAvahi.h"
#include "peers/PulsePeer.h"
#include "scripthost/PrivateBus.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTest>

using namespace tavrenhold;

namespace {

constexpr int ceiling = 20000;

struct Run {
    int status = -1;
    QString out;
};

} // namespace

class TestTool : public QObject {
    Q_OBJECT

    test::PulsePeer m_peer;
    test::PrivateBus m_bus;
    std::unique_ptr<test::FakeAvahi> m_avahi;

    static QString tool()
    {
        return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../../bin/audio-outputs"));
    }

    // Runs the tool; the test's loop keeps turning meanwhile, so the stand-in Avahi can answer it.
    Run run(const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PULSE_SERVER"), m_peer.server());
        env.insert(QStringLiteral("TAVRENHOLD_AVAHI_BUS"), m_bus.address());
        process.setProcessEnvironment(env);
        process.start(tool(), arguments);
        if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, ceiling))
            process.kill();
        process.waitForFinished(5000);
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput())};
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString missing = test::PulsePeer::missingTools();
        if (!missing.isEmpty())
            QFAIL(qPrintable(missing));
        QVERIFY2(QFile::exists(tool()), qPrintable(tool()));
        QVERIFY2(m_peer.start(), qPrintable(m_peer.log()));
        QVERIFY(m_peer.loadSink("dac", R"(device.description="Zebra DAC" device.class=sound device.bus=usb)"));
        QVERIFY(m_bus.start(QStringLiteral("tool-test")));
        m_avahi = std::make_unique<test::FakeAvahi>(m_bus.connection());
        QVERIFY(m_avahi->start());
        m_avahi->announce({2, 0, QStringLiteral("Living Room TV"), QStringLiteral("_airplay._tcp")});
        m_avahi->announce({2, 0, QStringLiteral("AA11@Living Room TV"), QStringLiteral("_raop._tcp")});
        m_avahi->announce({2, 1, QStringLiteral("zebra dac"), QStringLiteral("_airplay._tcp")});
        // Named like the built-in output, which the sound server may describe after the receivers
        // came: this machine, never listed.
        m_avahi->announce({2, 0, QStringLiteral("Speakers"), QStringLiteral("_airplay._tcp")});
    }
    void cleanupTestCase() { m_avahi.reset(); }

    void listsRowsAndChooses()
    {
        const QString speakers = QString::number(*m_peer.sinkIndex(QStringLiteral("speakers")));
        const QString dac = QString::number(*m_peer.sinkIndex(QStringLiteral("dac")));
        Run list = run({"list", "--wait", "800"});
        QCOMPARE(list.status, 0);
        QCOMPARE(list.out, QStringLiteral("ca-%1\tBuilt-in Speakers\tlaptopcomputer\t1\n"
                                          "ca-%2\tZebra DAC\thifispeaker.fill\t0\n"
                                          "ap-Living Room TV\tLiving Room TV\tappletv.fill\t0\n")
                               .arg(speakers, dac));

        QCOMPARE(run({"select", "ca-" + dac}).status, 0);
        QCOMPARE(m_peer.defaultSink(), QStringLiteral("dac"));

        const Run volume = run({"volume", "0.25"});
        QCOMPARE(volume.status, 0);
        QCOMPARE(volume.out.trimmed().toDouble(), 0.25);
        QVERIFY(m_peer.pactl({"get-sink-volume", "dac"}).value_or(QString()).contains(QLatin1String("/  25% /")));
    }

    void refusesBadInput_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("no command") << QStringList();
        QTest::newRow("unknown command") << QStringList{"play"};
        QTest::newRow("unknown id") << QStringList{"select", "ca-4242"};
        QTest::newRow("not a number") << QStringList{"volume", "loud"};
        QTest::newRow("not finite") << QStringList{"volume", "inf"};
        QTest::newRow("nan") << QStringList{"volume", "nan"};
        QTest::newRow("bad mute") << QStringList{"mute", "maybe"};
        QTest::newRow("bad wait") << QStringList{"list", "--wait", "soon"};
    }
    void refusesBadInput()
    {
        QFETCH(QStringList, arguments);
        const QString before = m_peer.pactl({"get-sink-volume", "dac"}).value_or(QString());
        const Run r = run(arguments);
        QCOMPARE(r.status, 2);
        QCOMPARE(r.out, QString());
        QCOMPARE(m_peer.pactl({"get-sink-volume", "dac"}).value_or(QString()), before);
    }
};

QTEST_GUILESS_MAIN(TestTool)
#include "tst_tool.moc"
