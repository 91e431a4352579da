#include "AudioSystem.h"

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

std::unique_ptr<AudioSystem> AudioSystem::makeNeutral() { return std::make_unique<NeutralAudioSystem>(); }

} // namespace tavrenhold::platform
