#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace tavrenhold {

// One accent colour taken from artwork: sRGB components, each in 0...1.
struct ArtworkAccent {
    double r = 0;
    double g = 0;
    double b = 0;

    bool operator==(const ArtworkAccent &) const = default;
};

// Picks the colour that washes the expanded surface from the current artwork: the weight-averaged
// colour of the heaviest of twelve hue buckets, where mid-bright saturated pixels weigh most.
// Keeps no state; safe to call from any thread.
namespace ArtworkPalette {

// The side of the square bitmap the artwork is reduced to before it is examined.
inline constexpr int side = 32;

// The accent of the first picture in the encoded bytes; nothing when they do not decode or no
// pixel is opaque enough to count.
[[nodiscard]] std::optional<ArtworkAccent> accent(const QByteArray &data);

// The analysis on its own, over already reduced pixels given as bytes R, G, B, A (colour
// premultiplied by alpha), four per pixel.
[[nodiscard]] std::optional<ArtworkAccent> accentOfPixels(QByteArrayView rgba);

} // namespace ArtworkPalette

} // namespace tavrenhold
