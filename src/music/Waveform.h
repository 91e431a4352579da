#pragma once

#include <array>
#include <vector>

namespace tavrenhold {

// The five level bars that stand for the music: a pure function of the previous bars and of the
// playback position, so the same position always gives the same pattern and a seek moves the
// pattern with the music. A shared beat, a pulse and smooth noise of each bar's own, a slow
// breathing gain, rare sparks, and fast-rise / slow-fall smoothing. Nothing listens to the audio.
namespace Waveform {

inline constexpr int barCount = 5;

// The resting pattern: five bars of 0.08.
[[nodiscard]] std::vector<float> flat();

// The next five levels, each a whole number of hundredths. `levels` of any length but five is taken
// as `flat`.
[[nodiscard]] std::vector<float> next(const std::vector<float> &levels, double position);

// The ingredients, exposed for tests.
[[nodiscard]] double noise(double v);
[[nodiscard]] double beatEnvelope(double x);
[[nodiscard]] double barEnvelope(double x, int bar);

} // namespace Waveform

} // namespace tavrenhold
