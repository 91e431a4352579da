// labels: pulse
// The AudioSystem against a real PulseAudio daemon of the test's own: the sinks and the default as
// the server has them, choosing an output (default first, then the streams), volume and mute, a
// server that dies and one that comes back, and the picker following a sink loaded while it is open.

#include "fakes/ManualClock.h"
#include "music/AirPlayDiscovery.h"
#include "music/AudioOutput.h"
#include "music/MusicPane.h"
#include "music/OutputPickerModel.h"
#include "peers/PulsePeer.h"
#include "platform/AudioSystem.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <limits>
#include <list>

using namespace tavrenhold;
using namespace std::chrono_literals;

namespace {

constexpr int ceiling = 20000;

QStringList names(const std::vector<AudioOutputEndpoint> &list)
{
    QStringList out;
    for (const auto &e : list)
        out << e.name;
    return out;
}

QStringList symbols(const std::vector<AudioOutputEndpoint> &list)
{
    QStringList out;
    for (const auto &e : list)
        out << e.symbol;
    return out;
}

// Whether the sound server's client library is mapped into this process.
bool mapsPulse()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("/libpulse");
}

QCoro::Task<> after(Clock &clock, std::chrono::milliseconds delay, std::function<void()> then)
{
    const bool slept = co_await clock.sleepFor(delay);
    if (slept)
        then();
}

// The reconnect waits run on the test's clock; `waits` holds them, unmoved, until the test ends.
platform::AudioSystem::Sleeper sleeperOn(Clock &clock, std::list<QCoro::Task<>> &waits)
{
    return [&clock, &waits](std::chrono::milliseconds delay, std::function<void()> then) {
        waits.push_back(after(clock, delay, std::move(then)));
    };
}

} // namespace

class TestPulse : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        const QString missing = test::PulsePeer::missingTools();
        if (!missing.isEmpty())
            QFAIL(qPrintable(missing));
    }

    // The client library (and the codecs it brings) is not in the process until the server is first
    // reached: a system made to start later maps none of it, and reaches the server when the Music
    // pane's services start. First of the tests: the library stays once loaded.
    void theClientLibraryComesWithTheFirstReach()
    {
        QVERIFY2(!mapsPulse(), "libpulse is in the process before any server was reached");
        test::PulsePeer peer;
        QVERIFY2(peer.start(), qPrintable(peer.log()));
        const auto audio = platform::AudioSystem::makePulse({}, platform::AudioSystem::Start::later);
        MusicPane pane(nullptr, Clock::system(), nullptr, audio.get());
        QCoreApplication::processEvents();
        QVERIFY(!mapsPulse());
        QVERIFY(audio->sinks().empty());
        pane.startServices();
        QVERIFY(mapsPulse());
        QTRY_COMPARE_WITH_TIMEOUT(audio->sinks().size(), size_t(1), ceiling);
        QCOMPARE(audio->defaultSinkName(), QStringLiteral("speakers"));
    }

    // The usable sinks in the picker's order, with their icons; virtual and duplicate ones left out.
    void listsTheServersSinks()
    {
        test::PulsePeer peer;
        QVERIFY2(peer.start(), qPrintable(peer.log()));
        QVERIFY(peer.loadSink("dac", R"(device.description="Zebra DAC" device.class=sound device.bus=usb)"));
        QVERIFY(peer.loadSink("pods", R"(device.description="AirPods Pro" device.class=sound device.bus=bluetooth)"));
        QVERIFY(peer.loadSink("tv", R"(device.description="Living Room TV" device.class=sound device.form_factor=tv)"));
        QVERIFY(peer.loadSink("raop.kitchen", R"(device.description="Kitchen" device.class=sound)"));
        QVERIFY(peer.loadSink("twin", R"(device.description="Zebra DAC" device.class=sound device.bus=usb)"));
        QVERIFY(peer.loadSink("plain", {})); // a plain null sink: class "abstract"
        QVERIFY(peer.loadSink("eq", R"(device.description="Equalizer" device.class=filter)"));

        const auto audio = platform::AudioSystem::makePulse();
        AudioOutput output(*audio);
        QTRY_COMPARE_WITH_TIMEOUT(audio->sinks().size(), size_t(8), ceiling);
        QCOMPARE(names(output.devices()),
                 (QStringList{"Built-in Speakers", "AirPods Pro", "Kitchen", "Living Room TV", "Zebra DAC"}));
        QCOMPARE(symbols(output.devices()),
                 (QStringList{"laptopcomputer", "headphones", "airplayaudio", "appletv.fill", "hifispeaker.fill"}));
        QCOMPARE(output.devices()[2].transport, AudioOutputEndpoint::Transport::airPlay);
        QCOMPARE(output.defaultEndpointID(), QStringLiteral("ca-%1").arg(*peer.sinkIndex("speakers")));
        // The receiver of the same name is the RAOP sink already.
        QCOMPARE(names(output.endpoints({"kitchen", "Attic"})).mid(5), QStringList{"Attic"});
    }

    void followsTheDefaultSetElsewhere()
    {
        test::PulsePeer peer;
        QVERIFY2(peer.start(), qPrintable(peer.log()));
        QVERIFY(peer.loadSink("dac", R"(device.description="Zebra DAC" device.class=sound device.bus=usb)"));
        const auto audio = platform::AudioSystem::makePulse();
        AudioOutput output(*audio);
        QTRY_COMPARE_WITH_TIMEOUT(audio->sinks().size(), size_t(2), ceiling);
        QSignalSpy changed(audio.get(), &platform::AudioSystem::changed);
        QVERIFY(peer.pactl({"set-default-sink", "dac"}));
        QTRY_COMPARE_WITH_TIMEOUT(output.defaultEndpointID(), QStringLiteral("ca-%1").arg(*peer.sinkIndex("dac")),
                                  ceiling);
        QVERIFY(changed.count() >= 1);
    }

    // A choice sets the default and then moves the streams: the stream that was pinned elsewhere
    // now follows the default, so a later change made elsewhere takes it along.
    void choosingARowMovesTheStreams()
    {
        test::PulsePeer peer;
        QVERIFY2(peer.start(), qPrintable(peer.log()));
        QVERIFY(peer.loadSink("dac", R"(device.description="Zebra DAC" device.class=sound device.bus=usb)"));
        QVERIFY(peer.loadSink("amp", R"(device.description="Amp" device.class=sound device.bus=usb)"));
        peer.play(QStringLiteral("amp")); // pinned to another sink
        peer.play();                      // follows the default
        QTRY_COMPARE_WITH_TIMEOUT(peer.sinkOfStream(0), QStringLiteral("amp"), ceiling);
        QTRY_COMPARE_WITH_TIMEOUT(peer.sinkOfStream(1), QStringLiteral("speakers"), ceiling);

        const auto audio = platform::AudioSystem::makePulse();
        MusicPane pane(nullptr, Clock::system(), nullptr, audio.get());
        AirPlayDiscovery discovery(nullptr, audio.get());
        pane.setAirPlay(&discovery);
        OutputPickerModel picker;
        picker.setPane(&pane);
        QTRY_COMPARE_WITH_TIMEOUT(picker.count(), 3, ceiling);
        picker.toggle();
        QVERIFY(picker.showing());
        int dacRow = -1;
        for (int i = 0; i < picker.count(); ++i) {
            if (picker.endpoints()[size_t(i)].name == QLatin1String("Zebra DAC"))
                dacRow = i;
        }
        QVERIFY(dacRow >= 0);
        picker.choose(dacRow);
        QVERIFY(!picker.showing());
        QCOMPARE(picker.selectedIDText(), QStringLiteral("ca-%1").arg(*peer.sinkIndex("dac")));
        QTRY_COMPARE_WITH_TIMEOUT(peer.defaultSink(), QStringLiteral("dac"), ceiling);
        QTRY_COMPARE_WITH_TIMEOUT(peer.sinkOfStream(0), QStringLiteral("dac"), ceiling);
        QTRY_COMPARE_WITH_TIMEOUT(peer.sinkOfStream(1), QStringLiteral("dac"), ceiling);

        QVERIFY(peer.pactl({"set-default-sink", "speakers"}));
        QTRY_COMPARE_WITH_TIMEOUT(peer.sinkOfStream(0), QStringLiteral("speakers"), ceiling);
        QTRY_COMPARE_WITH_TIMEOUT(peer.sinkOfStream(1), QStringLiteral("speakers"), ceiling);
        // The next opening reads the default again.
        QTRY_COMPARE_WITH_TIMEOUT(AudioOutput(*audio).defaultEndpointID(),
                                  QStringLiteral("ca-%1").arg(*peer.sinkIndex("speakers")), ceiling);
        picker.toggle();
        QCOMPARE(picker.selectedIDText(), QStringLiteral("ca-%1").arg(*peer.sinkIndex("speakers")));
    }

    // The choice is answered once the server has moved everything (what `audio-outputs select`
    // waits for).
    void aChoiceIsAnsweredAfterTheMoves()
    {
        test::PulsePeer peer;
        QVERIFY2(peer.start(), qPrintable(peer.log()));
        QVERIFY(peer.loadSink("dac", R"(device.description="Zebra DAC" device.class=sound device.bus=usb)"));
        peer.play(QStringLiteral("speakers"));
        QTRY_COMPARE_WITH_TIMEOUT(peer.sinkOfStream(0), QStringLiteral("speakers"), ceiling);
        const auto audio = platform::AudioSystem::makePulse();
        QTRY_COMPARE_WITH_TIMEOUT(audio->sinks().size(), size_t(2), ceiling);
        bool done = false;
        audio->chooseSink(QStringLiteral("dac"), [&done] { done = true; });
        QVERIFY(!done);
        QTRY_VERIFY_WITH_TIMEOUT(done, ceiling);
        QCOMPARE(peer.defaultSink(), QStringLiteral("dac"));
        QCOMPARE(peer.sinkOfStream(0), QStringLiteral("dac"));
    }

    void volumeIsClampedAndScaled()
    {
        test::PulsePeer peer;
        QVERIFY2(peer.start(), qPrintable(peer.log()));
        QVERIFY(peer.loadSink("dac", R"(device.description="Zebra DAC" device.class=sound device.bus=usb)"));
        QVERIFY(peer.pactl({"set-default-sink", "dac"}));
        const auto audio = platform::AudioSystem::makePulse();
        QTRY_COMPARE_WITH_TIMEOUT(audio->defaultSinkName(), QStringLiteral("dac"), ceiling);
        auto volumeText = [&] { return peer.pactl({"get-sink-volume", "dac"}).value_or(QString()); };

        audio->setVolume(1.5);
        QTRY_VERIFY_WITH_TIMEOUT(volumeText().contains(QLatin1String("/ 100% /")), ceiling);
        QTRY_COMPARE_WITH_TIMEOUT(audio->volume(), 1.0, ceiling);
        audio->setVolume(-0.2);
        QTRY_COMPARE_WITH_TIMEOUT(audio->volume(), 0.0, ceiling);
        QVERIFY(volumeText().contains(QLatin1String("/   0% /")));

        // Unbalanced channels: the loudest one is the volume, and a write keeps the balance.
        QVERIFY(peer.pactl({"set-sink-volume", "dac", "30%", "60%"}));
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(audio->volume() - 0.6) < 0.001, ceiling);
        audio->setVolume(0.3);
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(audio->volume() - 0.3) < 0.001, ceiling);
        const QString text = volumeText();
        QVERIFY2(text.contains(QLatin1String("/  15% /")) && text.contains(QLatin1String("/  30% /")), qPrintable(text));

        // Above 100 % set elsewhere reads as 1.
        QVERIFY(peer.pactl({"set-sink-volume", "dac", "150%"}));
        QTRY_COMPARE_WITH_TIMEOUT(audio->volume(), 1.0, ceiling);

        // Not a number is dropped: nothing reaches the server.
        QVERIFY(peer.pactl({"set-sink-volume", "dac", "40%"}));
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(audio->volume() - 0.4) < 0.001, ceiling);
        audio->setVolume(std::numeric_limits<double>::quiet_NaN());
        audio->setVolume(std::numeric_limits<double>::infinity());
        audio->setVolume(0.5); // a later write shows the two above were dropped, not queued
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(audio->volume() - 0.5) < 0.001, ceiling);
        QVERIFY(volumeText().contains(QLatin1String("/  50% /")));
    }

    void muteBothWays()
    {
        test::PulsePeer peer;
        QVERIFY2(peer.start(), qPrintable(peer.log()));
        const auto audio = platform::AudioSystem::makePulse();
        QTRY_COMPARE_WITH_TIMEOUT(audio->defaultSinkName(), QStringLiteral("speakers"), ceiling);
        QVERIFY(!audio->isMuted());
        audio->setMuted(true);
        QTRY_COMPARE_WITH_TIMEOUT(peer.pactl({"get-sink-mute", "speakers"}).value_or(QString()),
                                  QStringLiteral("Mute: yes"), ceiling);
        QTRY_VERIFY_WITH_TIMEOUT(audio->isMuted(), ceiling);
        QVERIFY(peer.pactl({"set-sink-mute", "speakers", "0"}));
        QTRY_VERIFY_WITH_TIMEOUT(!audio->isMuted(), ceiling);
    }

    // A server that dies leaves neutral values and drops writes; it is asked again after 1 s, then
    // 2 s, …; a new server brings the list back, with its own indices.
    void reconnectsToANewServer()
    {
        test::PulsePeer peer;
        QVERIFY2(peer.start(), qPrintable(peer.log()));
        QVERIFY(peer.loadSink("dac", R"(device.description="Zebra DAC" device.class=sound device.bus=usb)"));
        QVERIFY(peer.pactl({"set-sink-volume", "speakers", "40%"}));
        test::ManualClock clock;
        std::list<QCoro::Task<>> waits;
        const auto audio = platform::AudioSystem::makePulse(sleeperOn(clock, waits));
        QTRY_COMPARE_WITH_TIMEOUT(audio->sinks().size(), size_t(2), ceiling);
        QTRY_VERIFY_WITH_TIMEOUT(audio->volume() > 0.39, ceiling);

        QSignalSpy sinksChanged(audio.get(), &platform::AudioSystem::sinksChanged);
        peer.kill();
        QTRY_VERIFY_WITH_TIMEOUT(audio->sinks().empty(), ceiling);
        QVERIFY(audio->defaultSinkName().isEmpty());
        QCOMPARE(audio->volume(), 0.0);
        QCOMPARE(audio->isMuted(), false);
        QVERIFY(AudioOutput(*audio).devices().empty());
        QVERIFY(!AudioOutput(*audio).defaultEndpointID());
        audio->setVolume(0.7); // dropped, and no crash
        audio->setMuted(true);
        bool answered = false;
        audio->chooseSink(QStringLiteral("dac"), [&answered] { answered = true; });
        QTRY_VERIFY(answered);

        clock.advance(1s); // the first try finds no server
        QVERIFY(audio->sinks().empty());
        QVERIFY2(peer.start(), qPrintable(peer.log()));
        clock.advance(1s); // the next try is 2 s after the first
        QTest::qWait(200);
        QVERIFY(audio->sinks().empty());
        clock.advance(1s);
        QTRY_COMPARE_WITH_TIMEOUT(audio->sinks().size(), size_t(1), ceiling);
        QCOMPARE(audio->defaultSinkName(), QStringLiteral("speakers"));
        QCOMPARE(AudioOutput(*audio).defaultEndpointID(), QStringLiteral("ca-%1").arg(*peer.sinkIndex("speakers")));
        QVERIFY(sinksChanged.count() >= 2);

        // Writes reach the new server.
        audio->setVolume(0.25);
        QTRY_VERIFY_WITH_TIMEOUT(peer.pactl({"get-sink-volume", "speakers"})
                                     .value_or(QString())
                                     .contains(QLatin1String("/  25% /")),
                                 ceiling);
    }

    void aSinkLoadedWhileThePickerIsOpenAppears()
    {
        test::PulsePeer peer;
        QVERIFY2(peer.start(), qPrintable(peer.log()));
        const auto audio = platform::AudioSystem::makePulse();
        MusicPane pane(nullptr, Clock::system(), nullptr, audio.get());
        AirPlayDiscovery discovery(nullptr, audio.get());
        pane.setAirPlay(&discovery);
        OutputPickerModel picker;
        picker.setPane(&pane);
        QTRY_COMPARE_WITH_TIMEOUT(picker.count(), 1, ceiling);
        picker.toggle();
        QVERIFY(peer.loadSink("attic", R"(device.description="Attic Speaker" device.class=sound device.bus=usb)"));
        QTRY_COMPARE_WITH_TIMEOUT(picker.count(), 2, ceiling);
        QVERIFY(picker.showing());
        QCOMPARE(picker.endpoints()[1].name, QStringLiteral("Attic Speaker"));
    }
};

QTEST_MAIN(TestPulse)
#include "tst_pulse.moc"
