#pragma once

#include "platform/AudioSystem.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace tavrenhold {

// One selectable output: a sink of the sound server ("ca-" + its index) or an AirPlay receiver
// known only by its name ("ap-" + the name).
struct AudioOutputEndpoint {
    enum class Transport { builtIn, airPlay, bluetooth, display, usb, headphone, other };

    // Which mechanism selects the endpoint: a sink by its index, or a receiver by its name.
    struct Kind {
        enum class Tag { coreAudio, airPlay };
        Tag tag = Tag::coreAudio;
        quint32 device = 0; // the sink's index; 0 for a receiver

        [[nodiscard]] static Kind coreAudio(quint32 device) { return {Tag::coreAudio, device}; }
        [[nodiscard]] static Kind airPlay() { return {Tag::airPlay, 0}; }
        bool operator==(const Kind &) const = default;
    };

    QString id;
    QString name;
    Kind kind;
    Transport transport = Transport::other;
    QString symbol;

    bool operator==(const AudioOutputEndpoint &) const = default;
};

// The audio-output operations over the sound server's sinks. The pure ones take sink records and
// need no server; the rest read the given AudioSystem's mirror at the moment of the call.
namespace audiooutput {

using Transport = AudioOutputEndpoint::Transport;

// The connection type of a sink, first match: a name starting "raop" → airPlay; bus bluetooth →
// bluetooth; active port HDMI or TV, or form factor "tv" → display; bus usb → usb; form factor
// "internal" or active port Speaker → builtIn; else other.
[[nodiscard]] Transport transport(const platform::SinkRecord &sink);
// The icon of a device from its name, then its transport.
[[nodiscard]] QString symbol(const QString &name, Transport transport);
// The icon of a receiver known only by name.
[[nodiscard]] QString receiverSymbol(const QString &name);
// Whether a sink is a device people choose: not virtual ("abstract" or "filter" class), with
// channels and a description.
[[nodiscard]] bool usable(const platform::SinkRecord &sink);
// The usable devices, built-in first, then by name ignoring case; of several with the same
// description only the first in the server's order.
[[nodiscard]] std::vector<AudioOutputEndpoint> devices(const std::vector<platform::SinkRecord> &sinks);
// The devices followed by the receivers, in the order given, that are not already a device
// (equal names ignoring case).
[[nodiscard]] std::vector<AudioOutputEndpoint> endpoints(const std::vector<platform::SinkRecord> &sinks,
                                                         const QStringList &airPlayNames);
// The id the default sink has as an endpoint: "ap-" + its description for an AirPlay sink, else
// "ca-" + its index; nothing without a default sink or when it has no description.
[[nodiscard]] std::optional<QString> defaultEndpointID(const std::vector<platform::SinkRecord> &sinks,
                                                       const QString &defaultSinkName);
// The first AirPlay sink whose description contains `name` ignoring case; nothing for an empty name.
[[nodiscard]] std::optional<platform::SinkRecord> airPlaySink(const std::vector<platform::SinkRecord> &sinks,
                                                              const QString &name);
// The sink an endpoint id names ("ca-" + index), if it is still there.
[[nodiscard]] std::optional<platform::SinkRecord> sinkFor(const std::vector<platform::SinkRecord> &sinks,
                                                          const QString &id);

} // namespace audiooutput

// The operations over a live sound server.
class AudioOutput {
public:
    explicit AudioOutput(platform::AudioSystem &audio) : m_audio(audio) {}

    [[nodiscard]] std::vector<AudioOutputEndpoint> devices() const;
    [[nodiscard]] std::vector<AudioOutputEndpoint> endpoints(const QStringList &airPlayNames) const;
    [[nodiscard]] std::optional<QString> defaultEndpointID() const;
    // Makes the endpoint's sink the default output and moves the streams to it; false (and nothing
    // asked) when the id names no sink present now. `done` runs once the server has answered.
    bool select(const AudioOutputEndpoint &endpoint, std::function<void()> done = {});
    // The first AirPlay sink whose description contains the name becomes the output; nothing
    // happens without one. The name is only compared, never passed to the server.
    bool selectAirPlay(const QString &name, std::function<void()> done = {});
    static void openSoundSettings();

    [[nodiscard]] double volume() const { return m_audio.volume(); }
    void setVolume(double volume) { m_audio.setVolume(volume); }
    [[nodiscard]] bool isMuted() const { return m_audio.isMuted(); }
    void setMuted(bool muted) { m_audio.setMuted(muted); }

private:
    platform::AudioSystem &m_audio;
};

} // namespace tavrenhold
