#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace tavrenhold::platform {

// The kind of a sink's active port, as far as choosing its icon and transport needs it.
enum class PortType { unknown, speaker, headphones, hdmi, tv, other };

// One sink of the sound server as the server last described it.
struct SinkRecord {
    quint32 index = 0;
    QString name;        // the server's sink name (the key for default and moves)
    QString description; // what people read
    QString deviceClass; // property "device.class": "sound", "abstract", "filter", …
    QString bus;         // property "device.bus": "pci", "usb", "bluetooth", …
    QString formFactor;  // property "device.form_factor": "internal", "tv", "headphones", …
    PortType activePort = PortType::unknown;
    int channels = 0;
    double volume = 0; // the loudest channel ÷ the server's normal volume (may be above 1)
    bool muted = false;

    bool operator==(const SinkRecord &) const = default;
};

// The sound server: its sinks, the default sink, and the volume and mute of the default output.
// Reading gives volume 0 and not muted when there is no default output or it cannot be read;
// writing does nothing without one. Volumes are 0 … 1; a written volume is clamped to that range (a
// value that is not a number is dropped). Reads are answered from what the server last told;
// writes go to the server and come back as changes.
class AudioSystem : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    [[nodiscard]] virtual double volume() const = 0;
    virtual void setVolume(double volume) = 0;
    [[nodiscard]] virtual bool isMuted() const = 0;
    virtual void setMuted(bool muted) = 0;

    // Every sink in the server's order; empty without a server.
    [[nodiscard]] virtual std::vector<SinkRecord> sinks() const { return {}; }
    // The default sink's name; empty when there is none or no server.
    [[nodiscard]] virtual QString defaultSinkName() const { return {}; }
    // Makes the named sink the default output, then moves every stream playing elsewhere onto it
    // (a stream the server refuses to move stays). `done` runs once the server has answered all of
    // it, or at once when there is no server; it always runs later, never inside this call.
    virtual void chooseSink(const QString &name, std::function<void()> done = {});

    // An output with nothing behind it: volume 0, not muted, every write dropped. What runs when
    // there is no sound server to talk to.
    [[nodiscard]] static std::unique_ptr<AudioSystem> makeNeutral();

    // Reaches the sound server, once; later calls do nothing. Only a system made to start later waits
    // for it.
    virtual void start() {}

    // Runs `then` after `delay`; the pulse system waits through it before connecting again.
    using Sleeper = std::function<void(std::chrono::milliseconds delay, std::function<void()> then)>;
    // When the pulse system loads its client library and first reaches the server: at once, or at
    // start() (a program reaches it after its first frame: the library brings many of its own).
    enum class Start { now, later };
    // The PulseAudio (or PipeWire-Pulse) server named by PULSE_SERVER, else the user's default one,
    // never started on demand. While it is away (or not reached yet, or its client library is not
    // installed) the values are neutral and writes are dropped; it is asked again after 1 s, then
    // after twice the wait each time, up to 30 s. `sleeper` waits on a timer when none is given.
    [[nodiscard]] static std::unique_ptr<AudioSystem> makePulse(Sleeper sleeper = {}, Start start = Start::now);

Q_SIGNALS:
    // The default output's volume or mute changed, or another output became the default.
    void changed();
    // The list of sinks or one of them changed, or the default sink did.
    void sinksChanged();
};

// Opens the desktop's sound settings: GNOME's Sound panel, else pavucontrol, when on PATH; nothing
// otherwise. False when neither could be started.
bool openSoundSettings();

} // namespace tavrenhold::platform
