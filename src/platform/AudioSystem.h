#pragma once

#include <QObject>

#include <memory>

namespace tavrenhold::platform {

// The volume and mute of the default audio output. Reading gives volume 0 and not muted when there
// is no default output or it cannot be read; writing does nothing without one. Volumes are 0 … 1;
// a written volume is clamped to that range (a value that is not a number is dropped).
class AudioSystem : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    [[nodiscard]] virtual double volume() const = 0;
    virtual void setVolume(double volume) = 0;
    [[nodiscard]] virtual bool isMuted() const = 0;
    virtual void setMuted(bool muted) = 0;

    // An output with nothing behind it: volume 0, not muted, every write dropped. What the product
    // uses until it talks to a sound server.
    [[nodiscard]] static std::unique_ptr<AudioSystem> makeNeutral();

Q_SIGNALS:
    // The default output's volume or mute changed, or another output became the default.
    void changed();
};

} // namespace tavrenhold::platform
