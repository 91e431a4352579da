// The audio-output operations over plain sink records: which sinks are devices, their transport
// and icon, the order of the list, the merge with AirPlay receivers, the default endpoint, and what
// a choice asks of the sound server.

#include "fakes/FakeAudioSystem.h"
#include "music/AudioOutput.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace tavrenhold;
using platform::PortType;
using platform::SinkRecord;
using Transport = AudioOutputEndpoint::Transport;

Q_DECLARE_METATYPE(Transport)
Q_DECLARE_METATYPE(SinkRecord)

namespace {

SinkRecord sink(quint32 index, const QString &name, const QString &description, const QString &bus = {},
                const QString &formFactor = {}, PortType port = PortType::unknown)
{
    SinkRecord s;
    s.index = index;
    s.name = name;
    s.description = description;
    s.deviceClass = QStringLiteral("sound");
    s.bus = bus;
    s.formFactor = formFactor;
    s.activePort = port;
    s.channels = 2;
    return s;
}

QStringList names(const std::vector<AudioOutputEndpoint> &list)
{
    QStringList out;
    for (const auto &e : list)
        out << e.name;
    return out;
}

QStringList ids(const std::vector<AudioOutputEndpoint> &list)
{
    QStringList out;
    for (const auto &e : list)
        out << e.id;
    return out;
}

} // namespace

class TestOutputs : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void transportOfASink_data()
    {
        QTest::addColumn<SinkRecord>("record");
        QTest::addColumn<Transport>("expected");
        const QString bt = QStringLiteral("bluetooth");
        const QString usb = QStringLiteral("usb");
        QTest::newRow("PulseAudio RAOP sink") << sink(1, "raop.kitchen.local", "Kitchen", usb) << Transport::airPlay;
        QTest::newRow("PipeWire RAOP sink") << sink(1, "raop_sink.Kitchen.local", "Kitchen", bt) << Transport::airPlay;
        QTest::newRow("name merely containing raop") << sink(1, "alsa.raop", "Odd", usb) << Transport::usb;
        QTest::newRow("bluetooth before display")
            << sink(1, "bluez_sink.a", "TV Speaker", bt, "tv", PortType::hdmi) << Transport::bluetooth;
        QTest::newRow("HDMI port") << sink(1, "alsa_output.hdmi", "HDMI", "pci", {}, PortType::hdmi) << Transport::display;
        QTest::newRow("TV port") << sink(1, "alsa_output.tv", "TV", "pci", {}, PortType::tv) << Transport::display;
        QTest::newRow("TV form factor, display before usb") << sink(1, "x", "Big", usb, "tv") << Transport::display;
        QTest::newRow("usb before internal") << sink(1, "x", "DAC", usb, "internal") << Transport::usb;
        QTest::newRow("internal form factor") << sink(1, "x", "Speakers", "pci", "internal") << Transport::builtIn;
        QTest::newRow("Speaker port") << sink(1, "x", "Speakers", "pci", {}, PortType::speaker) << Transport::builtIn;
        QTest::newRow("headphone port is other") << sink(1, "x", "Jack", "pci", {}, PortType::headphones) << Transport::other;
        QTest::newRow("nothing known") << sink(1, "x", "Thing") << Transport::other;
    }
    void transportOfASink()
    {
        QFETCH(SinkRecord, record);
        QFETCH(Transport, expected);
        QCOMPARE(audiooutput::transport(record), expected);
    }

    void iconOfAnEndpoint_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Transport>("transport");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("receiver");
        QTest::newRow("HomePod any case") << "Kitchen HOMEPOD" << Transport::usb << "homepod.fill" << "homepod.fill";
        QTest::newRow("Apple TV") << "Den Apple TV 4K" << Transport::other << "appletv.fill" << "appletv.fill";
        QTest::newRow("ends in tv") << "Living Room TV" << Transport::airPlay << "appletv.fill" << "appletv.fill";
        QTest::newRow("just tv") << "TV" << Transport::usb << "appletv.fill" << "appletv.fill";
        QTest::newRow("tv inside a word") << "TVs Corner" << Transport::usb << "hifispeaker.fill" << "airplayaudio";
        QTest::newRow("headphones: device only") << "Studio Headphones" << Transport::usb << "headphones" << "airplayaudio";
        QTest::newRow("airpods: device only") << "AirPods Pro" << Transport::bluetooth << "headphones" << "airplayaudio";
        QTest::newRow("built-in") << "Speakers" << Transport::builtIn << "laptopcomputer" << "airplayaudio";
        QTest::newRow("airplay") << "Den" << Transport::airPlay << "airplayaudio" << "airplayaudio";
        QTest::newRow("bluetooth") << "Speaker" << Transport::bluetooth << "headphones" << "airplayaudio";
        QTest::newRow("display") << "Monitor" << Transport::display << "appletv.fill" << "airplayaudio";
        QTest::newRow("usb") << "DAC" << Transport::usb << "hifispeaker.fill" << "airplayaudio";
        QTest::newRow("other") << "Jack" << Transport::other << "hifispeaker.fill" << "airplayaudio";
    }
    void iconOfAnEndpoint()
    {
        QFETCH(QString, name);
        QFETCH(Transport, transport);
        QFETCH(QString, device);
        QFETCH(QString, receiver);
        QCOMPARE(audiooutput::symbol(name, transport), device);
        QCOMPARE(audiooutput::receiverSymbol(name), receiver);
    }

    // Virtual sinks, sinks without channels or a description, and a second sink of the same
    // description are no devices; a description that differs only in case is another device.
    void listsOnlyUsableSinks()
    {
        SinkRecord plainNull = sink(4, "null", "Null Output");
        plainNull.deviceClass = QStringLiteral("abstract");
        SinkRecord filter = sink(5, "eq", "Equalizer");
        filter.deviceClass = QStringLiteral("filter");
        SinkRecord silent = sink(6, "mono", "No Channels", "usb");
        silent.channels = 0;
        const std::vector<SinkRecord> sinks{
            sink(7, "dac", "Zebra DAC", "usb"),
            plainNull,
            filter,
            silent,
            sink(8, "unnamed", {}, "usb"),
            sink(9, "dac2", "Zebra DAC", "usb", {}, PortType::hdmi),
            sink(10, "dac3", "zebra dac", "usb"),
        };
        const auto list = audiooutput::devices(sinks);
        QCOMPARE(ids(list), (QStringList{"ca-7", "ca-10"}));
        QCOMPARE(list[0].kind, AudioOutputEndpoint::Kind::coreAudio(7));
        QCOMPARE(list[0].transport, Transport::usb);
    }

    void builtInLeadsThenNamesIgnoringCase()
    {
        const std::vector<SinkRecord> sinks{
            sink(1, "dac", "Zebra DAC", "usb"),
            sink(2, "bt", "AirPods Pro", "bluetooth"),
            sink(3, "speakers", "Zz Built-in", "pci", "internal"),
            sink(4, "jack", "apple jack"),
        };
        const auto list = audiooutput::devices(sinks);
        QCOMPARE(names(list), (QStringList{"Zz Built-in", "AirPods Pro", "apple jack", "Zebra DAC"}));
        QCOMPARE(list[0].symbol, QStringLiteral("laptopcomputer"));
        QCOMPARE(list[1].symbol, QStringLiteral("headphones"));
        QCOMPARE(list[3].symbol, QStringLiteral("hifispeaker.fill"));
    }

    void mergesReceiversThatAreNoDevice()
    {
        const std::vector<SinkRecord> sinks{sink(3, "speakers", "Built-in Speakers", "pci", "internal"),
                                            sink(5, "raop.den", "Den", {})};
        const auto list = audiooutput::endpoints(
            sinks, {"bedroom", "DEN", "Den Speakers", "Kitchen HomePod", "Living Room TV", "Studio Headphones"});
        QCOMPARE(ids(list), (QStringList{"ca-3", "ca-5", "ap-bedroom", "ap-Den Speakers", "ap-Kitchen HomePod",
                                         "ap-Living Room TV", "ap-Studio Headphones"}));
        const AudioOutputEndpoint tv{"ap-Living Room TV", "Living Room TV", AudioOutputEndpoint::Kind::airPlay(),
                                     Transport::airPlay, "appletv.fill"};
        QCOMPARE(list[5], tv);
        QCOMPARE(list[4].symbol, QStringLiteral("homepod.fill"));
        QCOMPARE(list[6].symbol, QStringLiteral("airplayaudio"));
        QCOMPARE(list[1].transport, Transport::airPlay);
    }

    void defaultEndpoint_data()
    {
        QTest::addColumn<QString>("defaultName");
        QTest::addColumn<QString>("expected"); // "-" for nothing
        QTest::newRow("a device") << "dac" << "ca-7";
        QTest::newRow("an AirPlay sink by its name") << "raop.den" << "ap-Den";
        QTest::newRow("a virtual sink still has an id") << "null" << "ca-4";
        QTest::newRow("no description") << "blank" << "-";
        QTest::newRow("no default sink") << "" << "-";
        QTest::newRow("a default that is not listed") << "gone" << "-";
    }
    void defaultEndpoint()
    {
        QFETCH(QString, defaultName);
        QFETCH(QString, expected);
        SinkRecord plainNull = sink(4, "null", "Null Output");
        plainNull.deviceClass = QStringLiteral("abstract");
        const std::vector<SinkRecord> sinks{sink(7, "dac", "Zebra DAC", "usb"), sink(2, "raop.den", "Den"), plainNull,
                                            sink(9, "blank", {})};
        const auto id = audiooutput::defaultEndpointID(sinks, defaultName);
        QCOMPARE(id.value_or(QStringLiteral("-")), expected);
    }

    // Choosing a row asks the server for the sink by its own name; a row whose sink went or was
    // renumbered (another sink now has the index) asks nothing. A receiver row chooses the first
    // AirPlay sink whose description contains its name, any case; without one nothing happens.
    void choosing_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("chosen");
        QTest::addColumn<QString>("call");
        QTest::newRow("a device") << "ca-7" << "Zebra DAC" << true << "choose:dac";
        QTest::newRow("a sink that went") << "ca-12" << "Gone" << false << "";
        QTest::newRow("an index now worn by another sink") << "ca-7" << "Old DAC" << false << "";
        QTest::newRow("a receiver with a RAOP sink") << "ap-kitchen" << "kitchen" << true << "choose:raop.k2";
        QTest::newRow("a receiver without one") << "ap-Attic" << "Attic" << false << "";
        QTest::newRow("an empty receiver name") << "ap-" << "" << false << "";
    }
    void choosing()
    {
        QFETCH(QString, id);
        QFETCH(QString, name);
        QFETCH(bool, chosen);
        QFETCH(QString, call);
        test::FakeAudioSystem audio;
        // "Kitchen Bar" is not AirPlay; of two RAOP sinks naming Kitchen the first wins.
        audio.setSinks({sink(7, "dac", "Zebra DAC", "usb"), sink(3, "bar", "Kitchen Bar", "usb"),
                        sink(4, "raop.k2", "KITCHEN HomePod"), sink(5, "raop.k1", "Kitchen")},
                       QStringLiteral("dac"));
        const bool airPlay = id.startsWith(QLatin1String("ap-"));
        const AudioOutputEndpoint endpoint{id, name,
                                           airPlay ? AudioOutputEndpoint::Kind::airPlay()
                                                   : AudioOutputEndpoint::Kind::coreAudio(id.mid(3).toUInt()),
                                           airPlay ? Transport::airPlay : Transport::usb, {}};
        bool done = false;
        QCOMPARE(AudioOutput(audio).select(endpoint, [&done] { done = true; }), chosen);
        QCOMPARE(audio.calls, call.isEmpty() ? QStringList() : QStringList{call});
        if (chosen) {
            QVERIFY(!done); // answered later, never inside the call
            QTRY_VERIFY(done);
        }
    }
};

QTEST_GUILESS_MAIN(TestOutputs)
#include "tst_outputs.moc"
