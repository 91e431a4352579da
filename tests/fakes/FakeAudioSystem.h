#pragma once

#include "platform/AudioSystem.h"

#include <QStringList>

#include <functional>
#include <vector>

#include <algorithm>
#include <cmath>

namespace tavrenhold::test {

// A default output the test sets; records writes as "mute:<0|1>", "volume:<v>" and
// "choose:<sink name>". With `refuses` set, writes are recorded but change nothing, as a device that
// refuses them. Sinks and the default sink are what the test puts in with setSinks().
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

    std::vector<platform::SinkRecord> sinks() const override { return m_sinks; }
    QString defaultSinkName() const override { return m_default; }
    void chooseSink(const QString &name, std::function<void()> done) override
    {
        calls.append(QStringLiteral("choose:") + name);
        if (!refuses)
            setSinks(m_sinks, name);
        AudioSystem::chooseSink(name, std::move(done));
    }

    // The server's sinks changing by themselves.
    void setSinks(std::vector<platform::SinkRecord> sinks, const QString &defaultName)
    {
        if (sinks == m_sinks && defaultName == m_default)
            return;
        const bool defaultChanged = defaultName != m_default;
        m_sinks = std::move(sinks);
        m_default = defaultName;
        Q_EMIT sinksChanged();
        if (defaultChanged)
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
    std::vector<platform::SinkRecord> m_sinks;
    QString m_default;
};

} // namespace tavrenhold::test
