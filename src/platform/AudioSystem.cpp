#include "AudioSystem.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

namespace tavrenhold::platform {

namespace {

class NeutralAudioSystem final : public AudioSystem {
public:
    double volume() const override { return 0; }
    void setVolume(double) override {}
    bool isMuted() const override { return false; }
    void setMuted(bool) override {}
};

} // namespace

void AudioSystem::chooseSink(const QString &, std::function<void()> done)
{
    if (done)
        QTimer::singleShot(0, this, std::move(done));
}

std::unique_ptr<AudioSystem> AudioSystem::makeNeutral() { return std::make_unique<NeutralAudioSystem>(); }

bool openSoundSettings()
{
    const QString gnome = QStandardPaths::findExecutable(QStringLiteral("gnome-control-center"));
    if (!gnome.isEmpty() && QProcess::startDetached(gnome, {QStringLiteral("sound")}))
        return true;
    const QString pavucontrol = QStandardPaths::findExecutable(QStringLiteral("pavucontrol"));
    return !pavucontrol.isEmpty() && QProcess::startDetached(pavucontrol, {});
}

} // namespace tavrenhold::platform
