#pragma once

#include "platform/AudioSystem.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace tavrenhold::test {

// A default output the test sets; records writes as "mute:<0|1>" and "volume:<v>". With `refuses`
// set, writes are recorded but change nothing, as a device that refuses them.
class FakeAudioSystem final : public platform::AudioSystem {
public:
    double volume() const override { return m_volume; }
    bool isMuted() const override { return m_muted; }
    void setVolume(double volume) override
    {
        calls.append(QStringLiteral("volume:%1").arg(volume));
        if (refuses || !std::isfinite(volume))
            return;
        m_volume = std::clamp(volume, 0.0, 1.0);
        Q_EMIT changed();
    }
    void setMuted(bool muted) override
    {
        calls.append(QStringLiteral("mute:%1").arg(int(muted)));
        if (refuses)
            return;
        m_muted = muted;
        Q_EMIT changed();
    }

    // The device changing by itself (another program, volume keys).
    void set(double volume, bool muted)
    {
        m_volume = volume;
        m_muted = muted;
        Q_EMIT changed();
    }

    QStringList calls;
    bool refuses = false;

private:
    double m_volume = 0;
    bool m_muted = false;
};

} // namespace tavrenhold::test
