#include "Waveform.h"

#include <cmath>

namespace tavrenhold::Waveform {

namespace {

struct Bar {
    float base;
    float beatWeight;
    float pulseWeight;
    float noiseWeight;
    float gain;
    double noiseRate;
    double pulseStep;
};

constexpr std::array<Bar, barCount> bars{{
    {0.26f, 1.15f, 0.22f, 0.12f, 1.00f, 1.4, 1.55},
    {0.30f, 1.00f, 0.30f, 0.16f, 0.94f, 2.1, 2.1},
    {0.26f, 0.78f, 0.36f, 0.22f, 0.84f, 3.0, 2.7},
    {0.22f, 0.52f, 0.42f, 0.28f, 0.70f, 4.0, 3.3},
    {0.18f, 0.34f, 0.48f, 0.32f, 0.55f, 5.2, 4.0},
}};

double fract(double v) { return v - std::floor(v); }

// A pseudo-random value in 0 … 1 that depends only on v.
double hash(double v) { return fract(std::sin(v * 127.1 + 311.7) * 43758.5453); }

double smoothstep(double t) { return t * t * (3 - 2 * t); }

} // namespace

std::vector<float> flat() { return std::vector<float>(barCount, 0.08f); }

double noise(double v)
{
    const double k = std::floor(v);
    const double s = smoothstep(v - k);
    return (1 - s) * hash(k) + s * hash(k + 1);
}

double beatEnvelope(double x)
{
    const double period = hash(std::floor(x / 12) * 4.6) * 0.22 + 0.42;
    const double phase = x / period;
    const double b = std::floor(phase);
    double amplitude = hash(b * 7.31) * 0.55 + 0.45;
    if (hash(b * 1.77) < 0.2)
        amplitude *= 0.2;
    else if (hash(b * 0.63) < 0.14)
        amplitude *= 1.25;
    const double decay = hash(b * 1.9) * 1.8 + 5.8;
    return std::exp(-(period * (phase - b)) * decay) * amplitude;
}

double barEnvelope(double x, int bar)
{
    const double seed = (bar + 1) * 13.1;
    const double jitter = hash(seed * 8.3);
    const double period = hash(std::floor(x / 9) * 0.35 + seed * 2.7) * 0.32 + 0.28;
    const double phase = (x + jitter * period * 0.55) / (period <= 0.14 ? 0.14 : period);
    const double k = std::floor(phase);
    const double t = phase - k;
    double amplitude = hash(seed + k * bars[size_t(bar)].pulseStep) * 0.7 + 0.3;
    if (hash(seed + k * 3.3) < 0.22)
        amplitude *= 0.2;
    const double decay = hash(seed + k) * 2.5 + 5;
    return std::exp(-(period * t) * decay) * amplitude;
}

std::vector<float> next(const std::vector<float> &levels, double x)
{
    std::vector<float> work = levels.size() == size_t(barCount) ? levels : flat();
    const float beat = float(beatEnvelope(x));
    const float breath = float(noise(x / 6.5) * 0.26 + 0.74);
    for (int i = 0; i < barCount; ++i) {
        const Bar &bar = bars[size_t(i)];
        const double c = i * 17.3;
        const float pulse = float(barEnvelope(x, i));
        const float n = float(noise(x * bar.noiseRate + c));
        float raw = bar.base + bar.beatWeight * beat;
        raw = raw + bar.pulseWeight * pulse;
        raw = raw + bar.noiseWeight * n;
        if (hash(std::floor(x * 9 + c) * 4.13) > 0.93)
            raw = (float(hash(c + 9.1)) * 0.22f + 0.18f) + raw;
        float target = raw * (bar.gain * breath);
        if (target <= 0.1f)
            target = 0.1f;
        else if (target > 1)
            target = 1;
        const float old = work[size_t(i)];
        const float factor = old < target ? 0.88f : 0.2f;
        work[size_t(i)] = old + (target - old) * factor;
    }
    for (float &v : work)
        v = std::round(v * 100.0f) / 100.0f;
    return work;
}

} // namespace tavrenhold::Waveform
